#include "host/korvane_linux_bridge.h"

#include <gtest/gtest.h>
#include <linux/input.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "host_bridge_harness.h"
#include "input_test_support.h"
#include "log_capture.h"

namespace {

using bridge_testing::List;
using bridge_testing::RecordValue;
using flutter_testing::InProcessDart;
using host_testing::Arguments;
using host_testing::Bytes;
using host_testing::Callback;
using host_testing::Controller;
using host_testing::Element;
using host_testing::NoArguments;
using host_testing::System;
using input_testing::FakeKernel;
using input_testing::NodeState;
using korvane_bridge::KorvaneLinuxBridge;

constexpr auto kReady = KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY;
constexpr auto kXbox = KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_XBOX_360_PAD;
const std::string kHealthEvent = Callback("onDriverHealthChanged");
const std::string kRumbleEvent = Callback("onControllerRumble");

KorvaneBridgeNativeDriverHealth* HealthOf(FlValue* value) {
  return KORVANE_BRIDGE_NATIVE_DRIVER_HEALTH(
      fl_value_get_custom_value_object(value));
}

class KorvaneLinuxBridgeTest : public ::testing::Test,
                               protected host_testing::HostBridgeHarness {
 protected:
  bool Mount(int64_t player, const gchar* display_name) {
    g_autoptr(KorvaneBridgeVirtualControllerMountRequest) request =
        korvane_bridge_virtual_controller_mount_request_new(
            player, kXbox, "pad", display_name, TRUE, TRUE);
    return CallBool(Controller("mountVirtualController"),
                    Arguments(List({RecordValue(
                        korvane_bridge_virtual_controller_mount_request_type_id,
                        request)})));
  }
};

// The status texts are ProgramE2eTest's, for the state of the machine.
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
  ASSERT_TRUE(Mount(2, nullptr));
  for (const auto& c : cases) {
    kernel_.SetNode(c.node);
    g_autoptr(FlValue) value = Call(Controller("getDriverHealth"));
    KorvaneBridgeNativeDriverHealth* health = HealthOf(value);
    EXPECT_EQ(korvane_bridge_native_driver_health_get_readiness(health),
              c.readiness);
    EXPECT_EQ(korvane_bridge_native_driver_health_get_mounted_controller_count(
                  health),
              1);
    EXPECT_EQ(
        korvane_bridge_native_driver_health_get_can_inject_mouse_and_keyboard(
            health),
        c.readiness == kReady);
    EXPECT_EQ(CallBool(System("hasDesktopInputPermission")),
              c.readiness == kReady);
  }
}

// Replies to calls for players without a pad are ProgramE2eTest's; which
// players and frames are refused is UinputPadBackendTest's.
TEST_F(KorvaneLinuxBridgeTest, UnmountAllClosesEveryDevice) {
  ASSERT_TRUE(Mount(1, nullptr));
  ASSERT_TRUE(Mount(3, "Player 3"));
  EXPECT_FALSE(Mount(9, "out of range"));
  EXPECT_EQ(kernel_.OpenDescriptors().size(), 2u);
  g_autoptr(FlValue) all = Call(Controller("unmountAllControllers"));
  EXPECT_EQ(fl_value_get_type(all), FL_VALUE_TYPE_NULL);
  EXPECT_TRUE(kernel_.OpenDescriptors().empty());
  EXPECT_TRUE(CallBool(System("requestScreenRecordingPermission")));
  EXPECT_TRUE(kernel_.ShellCommands().empty())
      << "nothing is asked of the user";
}

TEST_F(KorvaneLinuxBridgeTest, RepairAnnouncesTheNewHealthOnceAndThenReplies) {
  kernel_.SetNode(NodeState::kNoPermission);
  kernel_.SetNodeAfterShellCommand(NodeState::kReady);
  std::shared_ptr<const InProcessDart::Reply> reply =
      dart_.Send(Controller("setupOrRepairDriver"), NoArguments());
  bool replied_before_event = false;
  dart_.SetHandler(kHealthEvent, [&](const Bytes&) -> std::optional<Bytes> {
    replied_before_event = reply->answered;
    return NoArguments();
  });
  ASSERT_TRUE(InProcessDart::RunUntil([&] { return reply->answered; }));
  InProcessDart::Drain();

  ASSERT_EQ(dart_.received().size(), 1u);
  EXPECT_EQ(dart_.received()[0].channel, kHealthEvent);
  EXPECT_FALSE(replied_before_event);
  g_autoptr(FlValue) announced = Element(dart_.received()[0].message);
  g_autoptr(FlValue) replied = Element(reply->bytes);
  EXPECT_TRUE(korvane_bridge_native_driver_health_equals(HealthOf(announced),
                                                         HealthOf(replied)));
  EXPECT_EQ(
      korvane_bridge_native_driver_health_get_readiness(HealthOf(replied)),
      kReady);
  EXPECT_EQ(kernel_.ShellCommands().size(), 1u);

  // Usable now: the permission is granted without asking again.
  EXPECT_TRUE(CallBool(System("requestDesktopInputPermission")));
  EXPECT_EQ(kernel_.ShellCommands().size(), 1u);
}

// A kernel whose privileged command waits until the test lets it finish, as
// one does while the user reads the administrator prompt.
class PromptingKernel : public FakeKernel {
 public:
  int RunShellCommand(const char* command_line) override {
    std::unique_lock<std::mutex> lock(mutex_);
    waiting_++;
    // The test waits in the main loop, which nothing else would wake.
    g_main_context_wakeup(nullptr);
    changed_.wait(lock, [this] { return answered_; });
    lock.unlock();
    return FakeKernel::RunShellCommand(command_line);
  }

  int Prompts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return waiting_;
  }

  void Answer() {
    std::lock_guard<std::mutex> lock(mutex_);
    answered_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int waiting_ = 0;
  bool answered_ = false;
};

TEST(KorvaneLinuxBridgeShutdownTest,
     RequestsAnsweredAfterDestructionSendNothing) {
  PromptingKernel kernel;
  kernel.SetNode(NodeState::kNoPermission);
  InProcessDart dart;
  auto bridge = std::make_unique<KorvaneLinuxBridge>(dart.messenger(), kernel);
  auto repair = dart.Send(Controller("setupOrRepairDriver"), NoArguments());
  auto permission =
      dart.Send(System("requestDesktopInputPermission"), NoArguments());
  ASSERT_TRUE(InProcessDart::RunUntil([&] { return kernel.Prompts() == 2; }));

  bridge.reset();
  kernel.Answer();
  // The embedding complains about every request dropped without a reply.
  flutter_testing::LogCapture log;
  ASSERT_TRUE(InProcessDart::RunUntil(
      [&] { return repair->released && permission->released; }));
  EXPECT_FALSE(repair->answered);
  EXPECT_FALSE(permission->answered);
  EXPECT_TRUE(dart.received().empty());
}

TEST_F(KorvaneLinuxBridgeTest,
       RumbleFromAForceFeedbackThreadArrivesOnceOnTheMainThread) {
  ASSERT_TRUE(Mount(4, "Player 4"));
  const int fd = input_testing::OpenedDescriptors(kernel_.Calls()).front();
  ff_effect effect{};
  effect.type = FF_RUMBLE;
  effect.id = 3;
  effect.u.rumble.strong_magnitude = 0xFFFF;
  effect.u.rumble.weak_magnitude = 0x8000;
  kernel_.QueueUpload(fd, 41, effect);
  kernel_.QueueEvent(fd, EV_FF, 3, 1);

  GThread* main_thread = g_thread_self();
  GThread* delivered_on = nullptr;
  dart_.SetHandler(kRumbleEvent, [&](const Bytes&) -> std::optional<Bytes> {
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
      korvane_bridge_native_rumble_event_new(4, 255, 127);
  EXPECT_TRUE(korvane_bridge_native_rumble_event_equals(
      KORVANE_BRIDGE_NATIVE_RUMBLE_EVENT(
          fl_value_get_custom_value_object(value)),
      expected));
}

TEST_F(KorvaneLinuxBridgeTest,
       DestructionStopsTheTelemetryThreadWithinAWaitStep) {
  // Not a speed figure: a thread that waited out a whole sampling period, or
  // never noticed the stop, would take far longer than one 100 ms step.
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  const auto start = std::chrono::steady_clock::now();
  bridge_.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start,
            std::chrono::milliseconds(1000));
}

}  // namespace
