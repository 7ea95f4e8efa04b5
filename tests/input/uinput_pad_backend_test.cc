#include "uinput_pad_backend.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "fake_kernel.h"
#include "input_test_support.h"

namespace {

using input_testing::Batches;
using input_testing::CallsOn;
using input_testing::Event;
using input_testing::Events;
using input_testing::FakeKernel;
using input_testing::KernelCall;
using input_testing::NewFrame;
using input_testing::OpenedDescriptors;
using input_testing::RestingControls;
using korvane_bridge::UinputPadBackend;

constexpr auto kSony =
    KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_SONY_WIRELESS_CONTROLLER;
constexpr auto kXbox = KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_XBOX_360_PAD;
constexpr auto kNintendo =
    KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_NINTENDO_PRO_CONTROLLER;

KorvaneBridgeNativeGamepadPersona Persona(int value) {
  return static_cast<KorvaneBridgeNativeGamepadPersona>(value);
}

// Index of the first call matching `match` at or after `from`; calls.size()
// when there is none.
template <typename Match>
size_t Find(const std::vector<KernelCall>& calls,
            Match match,
            size_t from = 0) {
  for (size_t i = from; i < calls.size(); ++i) {
    if (match(calls[i])) {
      return i;
    }
  }
  return calls.size();
}

auto IsRequest(int fd, unsigned long request) {
  return [=](const KernelCall& c) {
    return c.kind == KernelCall::Kind::kIoctl && c.fd == fd &&
           c.request == request;
  };
}

auto IsClose(int fd) {
  return [=](const KernelCall& c) {
    return c.kind == KernelCall::Kind::kClose && c.fd == fd;
  };
}

auto IsOpen() {
  return [](const KernelCall& c) { return c.kind == KernelCall::Kind::kOpen; };
}

class UinputPadBackendTest : public ::testing::Test {
 protected:
  FakeKernel kernel_;
  UinputPadBackend backend_{nullptr, kernel_};
};

TEST_F(UinputPadBackendTest, MountingAgainWithTheSamePersonaKeepsTheDevice) {
  EXPECT_TRUE(backend_.MountController(3, kSony, "First"));
  EXPECT_TRUE(backend_.MountController(3, kSony, "Second"));
  const auto calls = kernel_.Calls();
  ASSERT_EQ(OpenedDescriptors(calls).size(), 1u);
  const int fd = OpenedDescriptors(calls).front();
  EXPECT_EQ(backend_.MountedCount(), 1u);
  EXPECT_TRUE(CallsOn(calls, KernelCall::Kind::kClose, fd).empty());
  for (const KernelCall& call : calls) {
    if (call.setup) {
      EXPECT_STREQ(call.setup->name, "First");
    }
  }
}

TEST_F(UinputPadBackendTest, AnotherPersonaDestroysTheOldDeviceFirst) {
  const struct {
    KorvaneBridgeNativeGamepadPersona first;
    KorvaneBridgeNativeGamepadPersona second;
  } cases[] = {{kSony, kNintendo}, {kXbox, Persona(7)}, {Persona(7), kXbox}};
  for (const auto& c : cases) {
    FakeKernel kernel;
    UinputPadBackend backend(nullptr, kernel);
    ASSERT_TRUE(backend.MountController(3, c.first, ""));
    ASSERT_TRUE(backend.MountController(3, c.second, ""));
    EXPECT_EQ(backend.MountedCount(), 1u);
    const auto calls = kernel.Calls();
    const auto opened = OpenedDescriptors(calls);
    ASSERT_EQ(opened.size(), 2u);
    const size_t destroy = Find(calls, IsRequest(opened[0], UI_DEV_DESTROY));
    const size_t close = Find(calls, IsClose(opened[0]));
    const size_t second_open = Find(calls, IsOpen(), 1);
    EXPECT_LT(destroy, close);
    EXPECT_LT(close, second_open);
    EXPECT_EQ(kernel.OpenDescriptors(), std::set<int>{opened[1]});
  }
}

TEST_F(UinputPadBackendTest, PlayersOutsideOneToEightAreRefused) {
  for (int64_t player : {0, 9, -1, 1000}) {
    EXPECT_FALSE(backend_.MountController(player, kXbox, "")) << player;
  }
  EXPECT_TRUE(kernel_.Calls().empty());
  EXPECT_TRUE(backend_.MountController(1, kXbox, ""));
  EXPECT_TRUE(backend_.MountController(8, kXbox, ""));
  EXPECT_EQ(backend_.MountedCount(), 2u);
}

TEST_F(UinputPadBackendTest, RefusedCreationLeavesThePlayerUnmounted) {
  for (auto step : input_testing::kCreationSteps) {
    FakeKernel kernel;
    UinputPadBackend backend(nullptr, kernel);
    // Also a re-mount: the old device is gone even though the new one fails.
    ASSERT_TRUE(backend.MountController(4, kSony, ""));
    FailNextCreationAt(kernel, step);
    EXPECT_FALSE(backend.MountController(4, kNintendo, "")) << Name(step);
    EXPECT_EQ(backend.MountedCount(), 0u) << Name(step);
    EXPECT_TRUE(kernel.OpenDescriptors().empty()) << Name(step);
    EXPECT_FALSE(backend.SubmitFrame(NewFrame(RestingControls(4)).get()));
  }
}

TEST_F(UinputPadBackendTest, UnmountingIsAlwaysASuccess) {
  EXPECT_TRUE(backend_.UnmountController(5));
  ASSERT_TRUE(backend_.MountController(5, kXbox, ""));
  const int fd = OpenedDescriptors(kernel_.Calls()).front();
  EXPECT_TRUE(backend_.UnmountController(5));
  EXPECT_TRUE(backend_.UnmountController(5));
  EXPECT_EQ(backend_.MountedCount(), 0u);
  const auto calls = kernel_.Calls();
  EXPECT_LT(Find(calls, IsRequest(fd, UI_DEV_DESTROY)),
            Find(calls, IsClose(fd)));
  EXPECT_TRUE(kernel_.OpenDescriptors().empty());
}

TEST_F(UinputPadBackendTest, UnmountAllStopsEveryPlayerInOrder) {
  for (int64_t player : {6, 2, 4}) {
    ASSERT_TRUE(backend_.MountController(player, kSony, ""));
  }
  const auto opened = OpenedDescriptors(kernel_.Calls());
  backend_.UnmountAll();
  EXPECT_EQ(backend_.MountedCount(), 0u);
  EXPECT_TRUE(kernel_.OpenDescriptors().empty());
  // Players 2, 4, 6 were opened second, third and first.
  const auto calls = kernel_.Calls();
  EXPECT_LT(Find(calls, IsClose(opened[1])), Find(calls, IsClose(opened[2])));
  EXPECT_LT(Find(calls, IsClose(opened[2])), Find(calls, IsClose(opened[0])));
}

TEST(UinputPadBackendLifetimeTest, DestructionJoinsWorkersBeforeClosing) {
  FakeKernel kernel;
  // Workers wait in poll for the full period, so a close that did not wait
  // for them would meet one inside a poll.
  kernel.SetPollWaitLimit(std::chrono::milliseconds(100));
  {
    UinputPadBackend backend(nullptr, kernel);
    for (int64_t player = 1; player <= 4; ++player) {
      ASSERT_TRUE(backend.MountController(player, Persona(player % 3), ""));
    }
  }
  EXPECT_TRUE(kernel.OpenDescriptors().empty());
  EXPECT_EQ(kernel.Misuses(), 0);
  for (int fd : OpenedDescriptors(kernel.Calls())) {
    EXPECT_EQ(CallsOn(kernel.Calls(), KernelCall::Kind::kClose, fd).size(), 1u);
  }
}

TEST_F(UinputPadBackendTest, AFrameIsOneWholeReportToItsPlayer) {
  ASSERT_TRUE(backend_.MountController(1, kXbox, ""));
  ASSERT_TRUE(backend_.MountController(2, kXbox, ""));
  const int player2_fd = OpenedDescriptors(kernel_.Calls())[1];
  auto controls = RestingControls(2);
  controls.button_mask2 = 1 << 6;
  controls.left_stick_x = 255;
  const auto frame = NewFrame(controls);
  EXPECT_TRUE(backend_.SubmitFrame(frame.get()));
  EXPECT_TRUE(backend_.SubmitFrame(frame.get()));

  const auto writes =
      CallsOn(kernel_.Calls(), KernelCall::Kind::kWrite, player2_fd);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].events.size() * sizeof(input_event), 528u);
  EXPECT_EQ(Events(writes[0].events), Events(writes[1].events));
  const auto events = Events(writes[0].events);
  EXPECT_EQ(events[0], (Event{EV_KEY, BTN_SOUTH, 1}));
  EXPECT_EQ(events[13], (Event{EV_ABS, ABS_X, 32767}));
  EXPECT_EQ(events.back(), (Event{EV_SYN, SYN_REPORT, 0}));
  EXPECT_TRUE(input_testing::TimeStampsZero(writes[0].events));
  EXPECT_EQ(CallsOn(kernel_.Calls(), KernelCall::Kind::kWrite,
                    OpenedDescriptors(kernel_.Calls())[0])
                .size(),
            0u);
}

TEST_F(UinputPadBackendTest, FramesWithoutADeviceWriteNothing) {
  EXPECT_FALSE(backend_.SubmitFrame(nullptr));
  ASSERT_TRUE(backend_.MountController(1, kXbox, ""));
  EXPECT_FALSE(backend_.SubmitFrame(NewFrame(RestingControls(2)).get()));
  EXPECT_FALSE(backend_.SubmitFrame(NewFrame(RestingControls(0)).get()));
  backend_.UnmountController(1);
  EXPECT_FALSE(backend_.SubmitFrame(NewFrame(RestingControls(1)).get()));
  for (const KernelCall& call : kernel_.Calls()) {
    EXPECT_NE(call.kind, KernelCall::Kind::kWrite);
  }
}

TEST_F(UinputPadBackendTest, AShortOrFailedWriteDropsOnlyThatFrame) {
  ASSERT_TRUE(backend_.MountController(1, kXbox, ""));
  const auto frame = NewFrame(RestingControls(1));
  kernel_.ScriptWrite(504);
  kernel_.ScriptWrite(-1);
  EXPECT_FALSE(backend_.SubmitFrame(frame.get()));
  EXPECT_FALSE(backend_.SubmitFrame(frame.get()));
  EXPECT_TRUE(backend_.SubmitFrame(frame.get()));
  EXPECT_EQ(
      Batches(kernel_.Calls(), OpenedDescriptors(kernel_.Calls())[0]).size(),
      3u);
}

}  // namespace
