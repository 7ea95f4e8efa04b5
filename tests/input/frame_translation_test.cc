// The arithmetic edges of the frame mapping. The mapping of every button,
// stick and trigger on ordinary values, and that motion, touch and time stamp
// change nothing, are checked on random frames through the real kernel
// (KernelGamepadTest.StreamOfFramesReachesTheGameUnaltered).
#include "frame_translation.h"

#include <gtest/gtest.h>

#include <limits>
#include <ostream>
#include <vector>

#include "input_test_support.h"

namespace {

using input_testing::RestingControls;
using korvane_bridge::FrameControls;
using korvane_bridge::GamepadReport;
using korvane_bridge::ScaleStick;
using korvane_bridge::TranslateControls;

// An event without its time stamp, comparable and printable in assertions.
struct Event {
  uint16_t type;
  uint16_t code;
  int32_t value;
  bool operator==(const Event& other) const {
    return type == other.type && code == other.code && value == other.value;
  }
};

std::ostream& operator<<(std::ostream& out, const Event& event) {
  return out << "{type " << event.type << ", code " << event.code << ", value "
             << event.value << "}";
}

std::vector<Event> Events(const GamepadReport& report) {
  std::vector<Event> events;
  for (const input_event& event : report) {
    EXPECT_EQ(event.input_event_sec, 0);
    EXPECT_EQ(event.input_event_usec, 0);
    events.push_back({event.type, event.code, event.value});
  }
  return events;
}

// The report of a frame with nothing pressed and the sticks centred, in the
// order the gamepad expects; every case below compares whole reports, time
// stamps (zero) included.
const std::vector<Event> kRestingReport = {
    {EV_KEY, BTN_SOUTH, 0},  {EV_KEY, BTN_EAST, 0},  {EV_KEY, BTN_WEST, 0},
    {EV_KEY, BTN_NORTH, 0},  {EV_KEY, BTN_TL, 0},    {EV_KEY, BTN_TR, 0},
    {EV_KEY, BTN_TL2, 0},    {EV_KEY, BTN_TR2, 0},   {EV_KEY, BTN_SELECT, 0},
    {EV_KEY, BTN_START, 0},  {EV_KEY, BTN_MODE, 0},  {EV_KEY, BTN_THUMBL, 0},
    {EV_KEY, BTN_THUMBR, 0}, {EV_ABS, ABS_X, 0},     {EV_ABS, ABS_Y, 0},
    {EV_ABS, ABS_RX, 0},     {EV_ABS, ABS_RY, 0},    {EV_ABS, ABS_Z, 0},
    {EV_ABS, ABS_RZ, 0},     {EV_ABS, ABS_HAT0X, 0}, {EV_ABS, ABS_HAT0Y, 0},
    {EV_SYN, SYN_REPORT, 0},
};

TEST(FrameTranslationTest, StickScaling) {
  const struct {
    int64_t input;
    int32_t expected;
  } cases[] = {
      // clang-format off
      {128, 0}, {255, 32767}, {0, -32768}, {129, 258}, {127, -256},
      {300, 32767}, {-5, -32768}, {1, -32512}, {254, 32508},
      {std::numeric_limits<int64_t>::max(), 32767},
      {std::numeric_limits<int64_t>::min(), -32768},
      // clang-format on
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ScaleStick(c.input), c.expected) << "input " << c.input;
  }
}

TEST(FrameTranslationTest, TriggerAndMaskEdges) {
  const struct {
    const char* what;
    int64_t mask1, mask2, l2, r2;
    std::vector<Event> changes;
  } cases[] = {
      // clang-format off
      {"l2 at the threshold", 0, 0, 30, 0, {{EV_ABS, ABS_Z, 30}}},
      {"l2 past it", 0, 0, 31, 0, {{EV_KEY, BTN_TL2, 1}, {EV_ABS, ABS_Z, 31}}},
      {"r2 past it", 0, 0, 0, 31, {{EV_KEY, BTN_TR2, 1}, {EV_ABS, ABS_RZ, 31}}},
      {"clamped", 0, 0, -10, 400, {{EV_KEY, BTN_TR2, 1}, {EV_ABS, ABS_RZ, 255}}},
      {"bits alone", 0, 0b11, 0, 0, {{EV_KEY, BTN_TL2, 1}, {EV_KEY, BTN_TR2, 1}}},
      // Only the low eight bits of each mask carry buttons.
      {"high bits", ~int64_t{0xFF}, ~int64_t{0xFF}, 0, 0, {}},
      // clang-format on
  };
  for (const auto& c : cases) {
    FrameControls controls = RestingControls(1);
    controls.button_mask1 = c.mask1;
    controls.button_mask2 = c.mask2;
    controls.l2_analog = c.l2;
    controls.r2_analog = c.r2;
    std::vector<Event> expected = kRestingReport;
    for (const Event& change : c.changes) {
      for (Event& event : expected) {
        if (event.type == change.type && event.code == change.code) {
          event.value = change.value;
        }
      }
    }
    EXPECT_EQ(Events(TranslateControls(controls)), expected) << c.what;
  }
}

}  // namespace
