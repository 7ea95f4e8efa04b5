#include "frame_translation.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "input_test_support.h"

namespace {

using input_testing::Event;
using input_testing::Events;
using input_testing::NewFrame;
using input_testing::RestingControls;
using korvane_bridge::FrameControls;
using korvane_bridge::GamepadReport;
using korvane_bridge::ScaleStick;
using korvane_bridge::TranslateControls;

// The report of a frame with nothing pressed and the sticks centred, in the
// order the gamepad expects.
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

std::vector<Event> Translate(const FrameControls& controls) {
  const GamepadReport report = TranslateControls(controls);
  return Events(report.data(), report.size());
}

// The resting report with the given values changed.
std::vector<Event> RestingWith(const std::vector<Event>& changes) {
  std::vector<Event> report = kRestingReport;
  for (const Event& change : changes) {
    for (Event& event : report) {
      if (event.type == change.type && event.code == change.code) {
        event.value = change.value;
      }
    }
  }
  return report;
}

TEST(FrameTranslationTest, RestingFrameGivesAllValuesInOrder) {
  const GamepadReport report = TranslateControls(RestingControls(1));
  EXPECT_EQ(Events(report.data(), report.size()), kRestingReport);
  EXPECT_TRUE(input_testing::TimeStampsZero({report.begin(), report.end()}));
}

TEST(FrameTranslationTest, StickScaling) {
  const struct {
    int64_t input;
    int32_t expected;
  } cases[] = {
      {128, 0},
      {255, 32767},
      {0, -32768},
      {129, 258},
      {127, -256},
      {300, 32767},
      {-5, -32768},
      {1, -32512},
      {254, 32508},
      {std::numeric_limits<int64_t>::max(), 32767},
      {std::numeric_limits<int64_t>::min(), -32768},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ScaleStick(c.input), c.expected) << "input " << c.input;
  }
}

TEST(FrameTranslationTest, EachStickFeedsItsOwnAxis) {
  FrameControls controls = RestingControls(1);
  controls.left_stick_x = 255;
  controls.left_stick_y = 0;
  controls.right_stick_x = 129;
  controls.right_stick_y = 127;
  EXPECT_EQ(Translate(controls), RestingWith({{EV_ABS, ABS_X, 32767},
                                              {EV_ABS, ABS_Y, -32768},
                                              {EV_ABS, ABS_RX, 258},
                                              {EV_ABS, ABS_RY, -256}}));
}

TEST(FrameTranslationTest, ButtonBits) {
  const struct {
    int64_t mask1;
    int64_t mask2;
    bool home;
    bool touch_click;
    std::vector<Event> changes;
  } cases[] = {
      {1 << 0, 0, false, false, {{EV_KEY, BTN_SELECT, 1}}},
      {1 << 1, 0, false, false, {{EV_KEY, BTN_THUMBL, 1}}},
      {1 << 2, 0, false, false, {{EV_KEY, BTN_THUMBR, 1}}},
      {1 << 3, 0, false, false, {{EV_KEY, BTN_START, 1}}},
      {1 << 4, 0, false, false, {{EV_ABS, ABS_HAT0Y, -1}}},
      {1 << 5, 0, false, false, {{EV_ABS, ABS_HAT0X, 1}}},
      {1 << 6, 0, false, false, {{EV_ABS, ABS_HAT0Y, 1}}},
      {1 << 7, 0, false, false, {{EV_ABS, ABS_HAT0X, -1}}},
      {0, 1 << 0, false, false, {{EV_KEY, BTN_TL2, 1}}},
      {0, 1 << 1, false, false, {{EV_KEY, BTN_TR2, 1}}},
      {0, 1 << 2, false, false, {{EV_KEY, BTN_TL, 1}}},
      {0, 1 << 3, false, false, {{EV_KEY, BTN_TR, 1}}},
      {0, 1 << 4, false, false, {{EV_KEY, BTN_NORTH, 1}}},
      {0, 1 << 5, false, false, {{EV_KEY, BTN_EAST, 1}}},
      {0, 1 << 6, false, false, {{EV_KEY, BTN_SOUTH, 1}}},
      {0, 1 << 7, false, false, {{EV_KEY, BTN_WEST, 1}}},
      {0, 0, true, false, {{EV_KEY, BTN_MODE, 1}}},
      {0, 0, false, true, {{EV_KEY, BTN_SELECT, 1}}},
      {1 << 0, 0, false, true, {{EV_KEY, BTN_SELECT, 1}}},
      // Up and down together, or left and right, cancel out.
      {(1 << 4) | (1 << 6), 0, false, false, {}},
      {(1 << 5) | (1 << 7), 0, false, false, {}},
      {(1 << 4) | (1 << 5),
       0,
       false,
       false,
       {{EV_ABS, ABS_HAT0X, 1}, {EV_ABS, ABS_HAT0Y, -1}}},
      // Only the low eight bits of each mask carry buttons.
      {~int64_t{0xFF}, ~int64_t{0xFF}, false, false, {}},
  };
  for (const auto& c : cases) {
    FrameControls controls = RestingControls(1);
    controls.button_mask1 = c.mask1;
    controls.button_mask2 = c.mask2;
    controls.home_button = c.home;
    controls.touch_click_button = c.touch_click;
    EXPECT_EQ(Translate(controls), RestingWith(c.changes))
        << "masks " << c.mask1 << ", " << c.mask2 << " home " << c.home
        << " touch click " << c.touch_click;
  }
}

TEST(FrameTranslationTest, TriggersPressTheirButtonPastThreshold) {
  const struct {
    int64_t analog;
    bool bit;
    int32_t button;
    int32_t axis;
  } cases[] = {
      {31, false, 1, 31}, {30, false, 0, 30}, {400, false, 1, 255},
      {-10, false, 0, 0}, {0, true, 1, 0},    {255, true, 1, 255},
  };
  const struct {
    int64_t FrameControls::*analog;
    int bit;
    uint16_t button;
    uint16_t axis;
  } triggers[] = {{&FrameControls::l2_analog, 0, BTN_TL2, ABS_Z},
                  {&FrameControls::r2_analog, 1, BTN_TR2, ABS_RZ}};
  for (const auto& trigger : triggers) {
    for (const auto& c : cases) {
      FrameControls controls = RestingControls(1);
      controls.*trigger.analog = c.analog;
      controls.button_mask2 = c.bit ? int64_t{1} << trigger.bit : 0;
      EXPECT_EQ(Translate(controls),
                RestingWith({{EV_KEY, trigger.button, c.button},
                             {EV_ABS, trigger.axis, c.axis}}))
          << "trigger " << trigger.button << " analog " << c.analog << " bit "
          << c.bit;
    }
  }
}

TEST(FrameTranslationTest, ReadsEveryUsedFieldOfTheRecord) {
  const FrameControls sent = {3,  0x15, 0x2A, true, false, 11,
                              22, 33,   44,   55,   66};
  const auto frame = NewFrame(sent);
  const FrameControls read = korvane_bridge::ReadFrameControls(frame.get());
  EXPECT_EQ(read.player_number, 3);
  EXPECT_EQ(read.button_mask1, 0x15);
  EXPECT_EQ(read.button_mask2, 0x2A);
  EXPECT_TRUE(read.home_button);
  EXPECT_FALSE(read.touch_click_button);
  EXPECT_EQ(read.left_stick_x, 11);
  EXPECT_EQ(read.left_stick_y, 22);
  EXPECT_EQ(read.right_stick_x, 33);
  EXPECT_EQ(read.right_stick_y, 44);
  EXPECT_EQ(read.l2_analog, 55);
  EXPECT_EQ(read.r2_analog, 66);
}

TEST(FrameTranslationTest, MotionTouchAndTimeStampDoNotChangeTheReport) {
  FrameControls controls = RestingControls(2);
  controls.button_mask1 = 0x0F;
  controls.left_stick_x = 200;
  const auto plain = NewFrame(controls);
  const auto busy = NewFrame(controls, {12.5, 987654321, true, 300});
  EXPECT_EQ(Translate(korvane_bridge::ReadFrameControls(plain.get())),
            Translate(korvane_bridge::ReadFrameControls(busy.get())));
}

}  // namespace
