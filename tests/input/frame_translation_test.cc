// The arithmetic edges of the frame mapping. Which control of each persona
// a game reads for each control of a frame is GameLibraryTest's; random
// frames reaching the game unaltered, motion, touch and time stamp
// changing nothing, KernelGamepadTest's.
#include "input/frame_translation.h"

#include <gtest/gtest.h>

#include <limits>

#include "input_test_support.h"

namespace {

using korvane_bridge::FrameControls;
using korvane_bridge::LayoutForPersona;
using korvane_bridge::ScaleStick;

constexpr int kSony = 0;
constexpr int kXbox = 1;
constexpr int kNintendo = 2;

TEST(FrameTranslationTest, StickScaling) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  const struct {
    int64_t input;
    int32_t expected;
    int32_t expected_symmetric;  // on the Nintendo driver's -32767..32767
  } cases[] = {
      {128, 0, 0},          {255, 32767, 32767},    {0, -32768, -32767},
      {129, 258, 258},      {127, -256, -255},      {300, 32767, 32767},
      {-5, -32768, -32767}, {1, -32512, -32511},    {254, 32508, 32508},
      {kMax, 32767, 32767}, {kMin, -32768, -32767},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ScaleStick(c.input, -32768, 32767), c.expected) << c.input;
    EXPECT_EQ(ScaleStick(c.input, -32767, 32767), c.expected_symmetric)
        << c.input;
  }
}

// Travel presses a trigger button past 30 where a persona has buttons, and
// opposite d-pad directions cancel out. A trigger pressed only as a bit
// reading as fully pulled on every persona is GameLibraryTest's.
TEST(FrameTranslationTest, TriggerThresholdsAndDpad) {
  const struct {
    int persona;
    int64_t mask1, mask2, l2, r2;
    uint16_t type, code;
    int32_t expected;
  } cases[] = {
      {kSony, 0, 0, 30, 0, EV_KEY, BTN_TL2, 0},
      {kSony, 0, 0, 31, 0, EV_KEY, BTN_TL2, 1},
      {kSony, 0, 0, 0, 31, EV_KEY, BTN_TR2, 1},
      {kSony, 0, 0, -10, 0, EV_ABS, ABS_Z, 0},
      {kSony, 0, 0, 0, 400, EV_ABS, ABS_RZ, 255},
      {kXbox, 0, 0, 0, 30, EV_ABS, ABS_RZ, 30},
      {kNintendo, 0, 0, 0, 30, EV_KEY, BTN_TR2, 0},
      {kNintendo, 0, 0, 0, 31, EV_KEY, BTN_TR2, 1},
      {kSony, 0b1010'0000, 0, 0, 0, EV_ABS, ABS_HAT0X, 0},
      {kSony, 0b0101'0000, 0, 0, 0, EV_ABS, ABS_HAT0Y, 0},
      // Only the low eight bits of each mask carry buttons.
      {kSony, 0, ~int64_t{0xFF}, 0, 0, EV_KEY, BTN_SOUTH, 0},
  };
  for (const auto& c : cases) {
    FrameControls controls = input_testing::RestingControls(1);
    controls.button_mask1 = c.mask1;
    controls.button_mask2 = c.mask2;
    controls.l2_analog = c.l2;
    controls.r2_analog = c.r2;
    const auto report = korvane_bridge::TranslateControls(
        controls, LayoutForPersona(c.persona));
    int found = 0;
    for (size_t i = 0; i < report.count; ++i) {
      const input_event& event = report.events[i];
      if (event.type == c.type && event.code == c.code) {
        ++found;
        EXPECT_EQ(event.value, c.expected)
            << "persona " << c.persona << ", code " << c.code << ", l2 " << c.l2
            << ", r2 " << c.r2;
      }
    }
    EXPECT_EQ(found, 1) << "persona " << c.persona << ", code " << c.code;
  }
}

}  // namespace
