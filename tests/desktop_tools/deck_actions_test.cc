#include "host/desktop_tools/deck_actions.h"

#include <gtest/gtest.h>
#include <linux/input.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include "host_bridge_harness.h"
#include "input_test_support.h"

namespace {

using bridge_testing::List;
using bridge_testing::RecordValue;
using host_testing::Arguments;
using host_testing::Bytes;
using host_testing::Controller;
using host_testing::DeckPress;
using host_testing::System;
using korvane_bridge::MapCustomKeyStringToLinuxKey;

// Key codes with their values, in the order written, per batch.
std::vector<std::vector<std::pair<uint16_t, int32_t>>> KeyBatches(
    const input_testing::FakeKernel& kernel) {
  std::vector<std::vector<std::pair<uint16_t, int32_t>>> keys;
  const auto calls = kernel.Calls();
  for (int fd : input_testing::OpenedDescriptors(calls)) {
    for (const auto& batch : input_testing::Batches(calls, fd)) {
      std::vector<std::pair<uint16_t, int32_t>> pressed;
      for (const input_event& event : batch) {
        if (event.type == EV_KEY) {
          pressed.emplace_back(event.code, event.value);
        }
      }
      if (!pressed.empty()) {
        keys.push_back(pressed);
      }
    }
  }
  return keys;
}

class DeckActionsTest : public ::testing::Test,
                        protected host_testing::HostBridgeHarness {};

TEST_F(DeckActionsTest, ChordsPressInOrderAndReleaseInReverse) {
  ASSERT_TRUE(CallBool(System("triggerDeckAction"),
                       DeckPress(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CUSTOM_CHORD,
                                 "a", true, true, true, true)));
  using Keys = std::vector<std::pair<uint16_t, int32_t>>;
  EXPECT_EQ(KeyBatches(kernel_),
            (std::vector<Keys>{
                {{KEY_LEFTCTRL, 1}, {KEY_LEFTALT, 1}, {KEY_LEFTSHIFT, 1},
                 {KEY_LEFTMETA, 1}, {KEY_A, 1}},
                {{KEY_A, 0}, {KEY_LEFTMETA, 0}, {KEY_LEFTSHIFT, 0},
                 {KEY_LEFTALT, 0}, {KEY_LEFTCTRL, 0}}}));

  // The first and the last fixed chord: a table out of step with the
  // action values shows at either end.
  const struct {
    int action;
    Keys press;
  } fixed[] = {
      {KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CHORD_CTRL_SHIFT_M,
       {{KEY_LEFTCTRL, 1}, {KEY_LEFTSHIFT, 1}, {KEY_M, 1}}},
      {KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CHORD_F9, {{KEY_F9, 1}}},
  };
  for (const auto& chord : fixed) {
    EXPECT_TRUE(CallBool(System("triggerDeckAction"), DeckPress(chord.action)));
    const auto batches = KeyBatches(kernel_);
    ASSERT_GE(batches.size(), 2u);
    EXPECT_EQ(batches[batches.size() - 2], chord.press) << chord.action;
  }
}

TEST_F(DeckActionsTest, UnmappedKeysAndUnknownActionsTypeNothing) {
  for (const char* key : {"", " a", "a ", "-", "HOME", "PAGEUP", "F13", "F0"}) {
    EXPECT_FALSE(CallBool(
        System("triggerDeckAction"),
        DeckPress(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CUSTOM_CHORD, key,
                  true)))
        << "'" << key << "'";
  }
  EXPECT_FALSE(CallBool(
      System("triggerDeckAction"),
      DeckPress(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CUSTOM_CHORD)));
  for (int action : {16, -1, 1000}) {
    EXPECT_FALSE(CallBool(System("triggerDeckAction"), DeckPress(action)))
        << action;
  }
  EXPECT_TRUE(kernel_.Calls().empty());
}

TEST(DeckKeyNamesTest, NamesInAnyCase) {
  const struct {
    const char* name;
    uint16_t code;
  } cases[] = {
      {"esc", KEY_ESC},      {"Escape", KEY_ESC},     {"ESC", KEY_ESC},
      {"f11", KEY_F11},      {"Return", KEY_ENTER},   {"enter", KEY_ENTER},
      {"q", KEY_Q},          {"Q", KEY_Q},            {"z", KEY_Z},
      {"1", KEY_1},          {"0", KEY_0},            {"F1", KEY_F1},
      {"f5", KEY_F5},        {"F6", KEY_F6},          {"space", KEY_SPACE},
      {"BackSpace", KEY_BACKSPACE}, {"right", KEY_RIGHT},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MapCustomKeyStringToLinuxKey(c.name), c.code) << c.name;
  }
}

// A kernel whose keyboard holds the F12 press until the test lets it go, as
// a chord holds its keys down.
class HeldChordKernel : public input_testing::FakeKernel {
 public:
  ssize_t Write(int fd, const void* data, size_t size) override {
    const auto* events = static_cast<const input_event*>(data);
    for (size_t i = 0; i < size / sizeof(input_event); ++i) {
      if (events[i].type == EV_KEY && events[i].code == KEY_F12 &&
          events[i].value == 1) {
        std::unique_lock<std::mutex> lock(mutex_);
        holding_ = true;
        g_main_context_wakeup(nullptr);
        released_.wait(lock, [this] { return let_go_; });
      }
    }
    return FakeKernel::Write(fd, data, size);
  }

  bool Holding() {
    std::lock_guard<std::mutex> lock(mutex_);
    return holding_;
  }

  void LetGo() {
    std::lock_guard<std::mutex> lock(mutex_);
    let_go_ = true;
    released_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool holding_ = false;
  bool let_go_ = false;
};

// Controller frames keep flowing while a chord holds the keyboard: neither
// the main thread nor the gamepads wait for it.
TEST(DeckActionsThreadsTest, FramesNeverWaitForAChord) {
  HeldChordKernel kernel;
  flutter_testing::InProcessDart dart;
  korvane_bridge::KorvaneLinuxBridge bridge(dart.messenger(), kernel);
  // Also when an assertion ends the test early: the bridge waits for the
  // chord when it goes.
  struct LetGoAtEnd {
    HeldChordKernel& kernel;
    ~LetGoAtEnd() { kernel.LetGo(); }
  } let_go_at_end{kernel};
  g_autoptr(KorvaneBridgeVirtualControllerMountRequest) mount =
      korvane_bridge_virtual_controller_mount_request_new(
          1, KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_XBOX_360_PAD, "pad", "P1",
          FALSE, FALSE);
  ASSERT_TRUE(dart.Call(Controller("mountVirtualController"),
                        Arguments(List({RecordValue(
                            korvane_bridge_virtual_controller_mount_request_type_id,
                            mount)}))));
  const int pad = input_testing::OpenedDescriptors(kernel.Calls()).front();

  auto chord = dart.Send(System("triggerDeckAction"),
                         DeckPress(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CHORD_F12));
  ASSERT_TRUE(flutter_testing::InProcessDart::RunUntil(
      [&] { return kernel.Holding(); }));

  constexpr int kFrames = 50;
  input_testing::FramePtr frame =
      input_testing::NewFrame(input_testing::RestingControls(1));
  for (int i = 0; i < kFrames; ++i) {
    ASSERT_TRUE(dart.Call(Controller("pushControllerFrame"),
                          Arguments(List({RecordValue(
                              korvane_bridge_virtual_controller_frame_type_id,
                              frame.get())}))));
  }
  EXPECT_EQ(input_testing::Batches(kernel.Calls(), pad).size(),
            static_cast<size_t>(kFrames));
  EXPECT_FALSE(chord->answered);

  kernel.LetGo();
  ASSERT_TRUE(
      flutter_testing::InProcessDart::RunUntil([&] { return chord->answered; }));
  g_autoptr(FlValue) done = host_testing::Element(chord->bytes);
  EXPECT_TRUE(fl_value_get_bool(done));
}

}  // namespace
