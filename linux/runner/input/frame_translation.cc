#include "frame_translation.h"

#include <algorithm>

#include "uinput_device.h"

namespace korvane_bridge {

namespace {

constexpr int64_t kAnalogMax = 255;
constexpr int32_t kStickCentre = 128;
// Analog travel beyond this counts as a pressed trigger button, so games
// that read only the digital trigger still see a deliberate pull.
constexpr int64_t kTriggerPressThreshold = 30;

int32_t Bit(int64_t mask, int bit) {
  return static_cast<int32_t>((mask >> bit) & 1);
}

int32_t ClampAnalog(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, 0, kAnalogMax));
}

int32_t PressedIf(bool pressed) {
  return pressed ? 1 : 0;
}

}  // namespace

FrameControls ReadFrameControls(KorvaneBridgeVirtualControllerFrame* frame) {
  FrameControls controls;
  controls.player_number =
      korvane_bridge_virtual_controller_frame_get_player_number(frame);
  controls.button_mask1 =
      korvane_bridge_virtual_controller_frame_get_button_mask1(frame);
  controls.button_mask2 =
      korvane_bridge_virtual_controller_frame_get_button_mask2(frame);
  controls.home_button =
      korvane_bridge_virtual_controller_frame_get_home_button(frame);
  controls.touch_click_button =
      korvane_bridge_virtual_controller_frame_get_touch_click_button(frame);
  controls.left_stick_x =
      korvane_bridge_virtual_controller_frame_get_left_stick_x(frame);
  controls.left_stick_y =
      korvane_bridge_virtual_controller_frame_get_left_stick_y(frame);
  controls.right_stick_x =
      korvane_bridge_virtual_controller_frame_get_right_stick_x(frame);
  controls.right_stick_y =
      korvane_bridge_virtual_controller_frame_get_right_stick_y(frame);
  controls.l2_analog =
      korvane_bridge_virtual_controller_frame_get_l2_analog(frame);
  controls.r2_analog =
      korvane_bridge_virtual_controller_frame_get_r2_analog(frame);
  return controls;
}

int32_t ScaleStick(int64_t value) {
  const int32_t offset = ClampAnalog(value) - kStickCentre;
  // The two halves differ in length (128 below the centre, 127 above), so
  // each is scaled on its own to land on the axis limits.
  if (offset > 0) {
    return offset * 32767 / 127;
  }
  return offset * 256;
}

GamepadReport TranslateControls(const FrameControls& c) {
  const int64_t mask1 = c.button_mask1;
  const int64_t mask2 = c.button_mask2;
  return {{
      MakeEvent(EV_KEY, BTN_SOUTH, Bit(mask2, 6)),
      MakeEvent(EV_KEY, BTN_EAST, Bit(mask2, 5)),
      MakeEvent(EV_KEY, BTN_WEST, Bit(mask2, 7)),
      MakeEvent(EV_KEY, BTN_NORTH, Bit(mask2, 4)),
      MakeEvent(EV_KEY, BTN_TL, Bit(mask2, 2)),
      MakeEvent(EV_KEY, BTN_TR, Bit(mask2, 3)),
      MakeEvent(
          EV_KEY, BTN_TL2,
          PressedIf(Bit(mask2, 0) || c.l2_analog > kTriggerPressThreshold)),
      MakeEvent(
          EV_KEY, BTN_TR2,
          PressedIf(Bit(mask2, 1) || c.r2_analog > kTriggerPressThreshold)),
      MakeEvent(EV_KEY, BTN_SELECT,
                PressedIf(Bit(mask1, 0) || c.touch_click_button)),
      MakeEvent(EV_KEY, BTN_START, Bit(mask1, 3)),
      MakeEvent(EV_KEY, BTN_MODE, PressedIf(c.home_button)),
      MakeEvent(EV_KEY, BTN_THUMBL, Bit(mask1, 1)),
      MakeEvent(EV_KEY, BTN_THUMBR, Bit(mask1, 2)),
      MakeEvent(EV_ABS, ABS_X, ScaleStick(c.left_stick_x)),
      MakeEvent(EV_ABS, ABS_Y, ScaleStick(c.left_stick_y)),
      MakeEvent(EV_ABS, ABS_RX, ScaleStick(c.right_stick_x)),
      MakeEvent(EV_ABS, ABS_RY, ScaleStick(c.right_stick_y)),
      MakeEvent(EV_ABS, ABS_Z, ClampAnalog(c.l2_analog)),
      MakeEvent(EV_ABS, ABS_RZ, ClampAnalog(c.r2_analog)),
      // D-pad: bits 4..7 of the first mask are up, right, down, left.
      MakeEvent(EV_ABS, ABS_HAT0X, Bit(mask1, 5) - Bit(mask1, 7)),
      MakeEvent(EV_ABS, ABS_HAT0Y, Bit(mask1, 6) - Bit(mask1, 4)),
      SynReport(),
  }};
}

}  // namespace korvane_bridge
