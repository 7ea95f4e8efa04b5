// The arithmetic edges of the frame mapping. Which control of each persona
// a game reads for each control of a frame is checked through a real game
// library (GameLibraryTest); that motion, touch and time stamp change
// nothing, on random frames through the real kernel
// (KernelGamepadTest.StreamOfFramesReachesTheGameUnaltered).
#include "input/frame_translation.h"

#include <gtest/gtest.h>

#include <limits>
#include <ostream>
#include <vector>

#include "input_test_support.h"

namespace {

using input_testing::RestingControls;
using korvane_bridge::FrameControls;
using korvane_bridge::GamepadReport;
using korvane_bridge::LayoutForPersona;
using korvane_bridge::ScaleStick;
using korvane_bridge::TranslateControls;

constexpr int kSony = 0;
constexpr int kXbox = 1;
constexpr int kNintendo = 2;

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
  for (size_t i = 0; i < report.count; ++i) {
    const input_event& event = report.events[i];
    EXPECT_EQ(event.input_event_sec, 0);
    EXPECT_EQ(event.input_event_usec, 0);
    events.push_back({event.type, event.code, event.value});
  }
  return events;
}

// The Sony persona's report of a frame with nothing pressed and the sticks
// centred, in the order the gamepad expects; the cases below compare whole
// reports, time stamps (zero) included.
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
    int32_t expected_symmetric;  // on the Nintendo driver's -32767..32767
  } cases[] = {
      // clang-format off
      {128, 0, 0}, {255, 32767, 32767}, {0, -32768, -32767},
      {129, 258, 258}, {127, -256, -255}, {300, 32767, 32767},
      {-5, -32768, -32767}, {1, -32512, -32511}, {254, 32508, 32508},
      {std::numeric_limits<int64_t>::max(), 32767, 32767},
      {std::numeric_limits<int64_t>::min(), -32768, -32767},
      // clang-format on
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ScaleStick(c.input, -32768, 32767), c.expected) << c.input;
    EXPECT_EQ(ScaleStick(c.input, -32767, 32767), c.expected_symmetric)
        << c.input;
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
      // A trigger pressed only as a bit is pulled all the way.
      {"bits alone", 0, 0b11, 0, 0, {{EV_KEY, BTN_TL2, 1}, {EV_KEY, BTN_TR2, 1},
                                     {EV_ABS, ABS_Z, 255}, {EV_ABS, ABS_RZ, 255}}},
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
    EXPECT_EQ(Events(TranslateControls(controls, LayoutForPersona(kSony))),
              expected)
        << c.what;
  }
}

// The value of one control in a persona's report.
int32_t Reported(const FrameControls& controls,
                 int persona,
                 uint16_t type,
                 uint16_t code) {
  for (const Event& event :
       Events(TranslateControls(controls, LayoutForPersona(persona)))) {
    if (event.type == type && event.code == code) {
      return event.value;
    }
  }
  ADD_FAILURE() << "persona " << persona << " reports no " << code;
  return -1;
}

// Triggers where a persona has them only as axes (Xbox) or only as buttons
// (Nintendo): the bit pulls all the way, travel presses past the threshold.
TEST(FrameTranslationTest, TriggersOfOneKindOnly) {
  FrameControls controls = RestingControls(1);
  controls.button_mask2 = 0b01;
  controls.r2_analog = 30;
  EXPECT_EQ(Reported(controls, kXbox, EV_ABS, ABS_Z), 255);
  EXPECT_EQ(Reported(controls, kXbox, EV_ABS, ABS_RZ), 30);
  EXPECT_EQ(Reported(controls, kNintendo, EV_KEY, BTN_TL2), 1);
  EXPECT_EQ(Reported(controls, kNintendo, EV_KEY, BTN_TR2), 0);
  controls.r2_analog = 31;
  EXPECT_EQ(Reported(controls, kNintendo, EV_KEY, BTN_TR2), 1);
}

}  // namespace
