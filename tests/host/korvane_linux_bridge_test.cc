#include "host/korvane_linux_bridge.h"

#include <gtest/gtest.h>
#include <linux/input.h>

#include <chrono>
#include <memory>
#include <thread>

#include "host_bridge_harness.h"
#include "log_capture.h"

namespace {

using flutter_testing::InProcessDart;
using host_testing::Bytes;
using host_testing::Element;
using host_testing::Method;
using host_testing::NoArguments;
using input_testing::NodeState;

constexpr auto kReady = KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY;

gpointer RecordOf(FlValue* value) {
  return fl_value_get_custom_value_object(value);
}

class KorvaneLinuxBridgeTest : public ::testing::Test,
                               protected host_testing::HostBridgeHarness {};

// The status texts and every reply of the permission methods are
// ProgramE2eTest's, in the state of the machine it runs on.
TEST_F(KorvaneLinuxBridgeTest, DriverHealthInEachReadiness) {
  const struct {
    NodeState node;
    KorvaneBridgeNativeDriverReadiness readiness;
  } cases[] = {
      {NodeState::kAbsent,
       KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_MODULE_NOT_LOADED},
      {NodeState::kNoPermission,
       KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_PERMISSION_REQUIRED},
      {NodeState::kReady, kReady},
  };
  ASSERT_TRUE(
      CallBool(Method("mountVirtualController"), host_testing::MountPad(2)));
  for (const auto& c : cases) {
    kernel_.SetNode(c.node);
    g_autoptr(FlValue) value = Call(Method("getDriverHealth"));
    auto* health = KORVANE_BRIDGE_NATIVE_DRIVER_HEALTH(RecordOf(value));
    EXPECT_EQ(korvane_bridge_native_driver_health_get_readiness(health),
              c.readiness);
    EXPECT_EQ(korvane_bridge_native_driver_health_get_mounted_controller_count(
                  health),
              1);
    EXPECT_EQ(
        korvane_bridge_native_driver_health_get_can_inject_mouse_and_keyboard(
            health),
        c.readiness == kReady);
    EXPECT_EQ(CallBool(Method("hasDesktopInputPermission")),
              c.readiness == kReady);
  }
}

// The health after the repair goes out once as an event and as the reply,
// so that listeners and the caller agree.
TEST_F(KorvaneLinuxBridgeTest, RepairAnnouncesTheNewHealthOnceAndReplies) {
  kernel_.SetNode(NodeState::kNoPermission);
  kernel_.SetNodeAfterShellCommand(NodeState::kReady);
  const auto reply = dart_.Send(Method("setupOrRepairDriver"), NoArguments());
  ASSERT_TRUE(InProcessDart::RunUntil([&] { return reply->answered; }));
  InProcessDart::Drain();
  ASSERT_EQ(dart_.received().size(), 1u);
  g_autoptr(FlValue) announced = Element(dart_.received()[0].message);
  g_autoptr(FlValue) replied = Element(reply->bytes);
  auto* health = KORVANE_BRIDGE_NATIVE_DRIVER_HEALTH(RecordOf(replied));
  EXPECT_TRUE(korvane_bridge_native_driver_health_equals(
      KORVANE_BRIDGE_NATIVE_DRIVER_HEALTH(RecordOf(announced)), health));
  EXPECT_EQ(korvane_bridge_native_driver_health_get_readiness(health), kReady);
}

// The user answers the administrator prompts only after the bridge went.
TEST(KorvaneLinuxBridgeShutdownTest,
     RequestsAnsweredAfterDestructionSendNothing) {
  struct PromptingKernel : input_testing::FakeKernel {
    int RunShellCommand(const char* command_line) override {
      prompt.Pass();
      return FakeKernel::RunShellCommand(command_line);
    }
    host_testing::Gate prompt;
  } kernel;
  kernel.SetNode(NodeState::kNoPermission);
  InProcessDart dart;
  auto bridge = std::make_unique<korvane_bridge::KorvaneLinuxBridge>(
      dart.messenger(), kernel);
  auto repair = dart.Send(Method("setupOrRepairDriver"), NoArguments());
  auto permission =
      dart.Send(Method("requestDesktopInputPermission"), NoArguments());
  ASSERT_TRUE(
      InProcessDart::RunUntil([&] { return kernel.prompt.Arrivals() == 2; }));

  bridge.reset();
  kernel.prompt.Open();
  // The embedding complains about every request dropped without a reply.
  flutter_testing::LogCapture log;
  ASSERT_TRUE(InProcessDart::RunUntil(
      [&] { return repair->released && permission->released; }));
  EXPECT_FALSE(repair->answered);
  EXPECT_FALSE(permission->answered);
  EXPECT_TRUE(dart.received().empty());
  EXPECT_EQ(log.Messages(G_LOG_LEVEL_CRITICAL).size(), 2u);
}

// The player and strengths through a real kernel and the whole program are
// ProgramInGuestTest's.
TEST_F(KorvaneLinuxBridgeTest,
       RumbleFromAForceFeedbackThreadArrivesOnceOnTheMainThread) {
  ASSERT_TRUE(
      CallBool(Method("mountVirtualController"), host_testing::MountPad(4)));
  const int fd = input_testing::OpenedDescriptors(kernel_.Calls()).front();
  ff_effect effect{};
  effect.type = FF_RUMBLE;
  effect.id = 3;
  effect.u.rumble.strong_magnitude = 0xFFFF;
  kernel_.QueueUpload(fd, 41, effect);
  kernel_.QueueEvent(fd, EV_FF, 3, 1);

  GThread* main_thread = g_thread_self();
  GThread* delivered_on = nullptr;
  dart_.SetHandler(host_testing::Event("onControllerRumble"),
                   [&](const Bytes&) -> std::optional<Bytes> {
                     delivered_on = g_thread_self();
                     return NoArguments();
                   });
  ASSERT_TRUE(
      InProcessDart::RunUntil([&] { return !dart_.received().empty(); }));
  InProcessDart::Drain();
  ASSERT_EQ(dart_.received().size(), 1u);
  EXPECT_EQ(delivered_on, main_thread);
  g_autoptr(FlValue) value = Element(dart_.received()[0].message);
  g_autoptr(KorvaneBridgeNativeRumbleEvent) expected =
      korvane_bridge_native_rumble_event_new(4, 255, 0);
  EXPECT_TRUE(korvane_bridge_native_rumble_event_equals(
      KORVANE_BRIDGE_NATIVE_RUMBLE_EVENT(RecordOf(value)), expected));
}

TEST_F(KorvaneLinuxBridgeTest,
       DestructionStopsTheTelemetryThreadWithinAWaitStep) {
  // Not a speed figure: waiting out a whole sampling period takes far longer
  // than one 100 ms step.
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  const auto start = std::chrono::steady_clock::now();
  bridge_.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start,
            std::chrono::milliseconds(1000));
}

}  // namespace
