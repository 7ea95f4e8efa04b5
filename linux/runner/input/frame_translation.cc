#include "input/frame_translation.h"

#include <algorithm>

#include "input/uinput_device.h"

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

int32_t TriggerPressed(int32_t bit, int64_t analog) {
  return PressedIf(bit != 0 || analog > kTriggerPressThreshold);
}

// A trigger that the handheld reports only as pressed is pulled all the way:
// the game would otherwise read a pressed trigger as released.
int32_t TriggerTravel(int32_t bit, int64_t analog, int32_t maximum) {
  return bit != 0 ? maximum : ClampAnalog(analog) * maximum / kAnalogMax;
}

// Buttons: bits 0..7 of the first mask are select, left stick, right stick,
// start and the d-pad; of the second, the triggers, shoulders and the face
// buttons north, east, south, west.
int32_t ButtonState(const FrameControls& c, PadButton button) {
  switch (button) {
    case PadButton::kSouth:
      return Bit(c.button_mask2, 6);
    case PadButton::kEast:
      return Bit(c.button_mask2, 5);
    case PadButton::kWest:
      return Bit(c.button_mask2, 7);
    case PadButton::kNorth:
      return Bit(c.button_mask2, 4);
    case PadButton::kLeftShoulder:
      return Bit(c.button_mask2, 2);
    case PadButton::kRightShoulder:
      return Bit(c.button_mask2, 3);
    case PadButton::kLeftTrigger:
      return TriggerPressed(Bit(c.button_mask2, 0), c.l2_analog);
    case PadButton::kRightTrigger:
      return TriggerPressed(Bit(c.button_mask2, 1), c.r2_analog);
    case PadButton::kSelect:
      return PressedIf(Bit(c.button_mask1, 0) || c.touch_click_button);
    case PadButton::kStart:
      return Bit(c.button_mask1, 3);
    case PadButton::kHome:
      return PressedIf(c.home_button);
    case PadButton::kLeftStick:
      return Bit(c.button_mask1, 1);
    case PadButton::kRightStick:
      return Bit(c.button_mask1, 2);
    case PadButton::kNone:
      break;
  }
  return 0;
}

int32_t AxisValue(const FrameControls& c, const AxisBinding& axis) {
  switch (axis.axis) {
    case PadAxis::kLeftX:
      return ScaleStick(c.left_stick_x, axis.minimum, axis.maximum);
    case PadAxis::kLeftY:
      return ScaleStick(c.left_stick_y, axis.minimum, axis.maximum);
    case PadAxis::kRightX:
      return ScaleStick(c.right_stick_x, axis.minimum, axis.maximum);
    case PadAxis::kRightY:
      return ScaleStick(c.right_stick_y, axis.minimum, axis.maximum);
    case PadAxis::kLeftTrigger:
      return TriggerTravel(Bit(c.button_mask2, 0), c.l2_analog, axis.maximum);
    case PadAxis::kRightTrigger:
      return TriggerTravel(Bit(c.button_mask2, 1), c.r2_analog, axis.maximum);
    // Right and down are positive; both directions at once cancel out.
    case PadAxis::kDpadX:
      return Bit(c.button_mask1, 5) - Bit(c.button_mask1, 7);
    case PadAxis::kDpadY:
      return Bit(c.button_mask1, 6) - Bit(c.button_mask1, 4);
  }
  return 0;
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

int32_t ScaleStick(int64_t value, int32_t minimum, int32_t maximum) {
  const int64_t offset = ClampAnalog(value) - kStickCentre;
  // The two halves differ in length (128 below the centre, 127 above), so
  // each is scaled on its own to land on the axis limits.
  if (offset > 0) {
    return static_cast<int32_t>(offset * maximum / (kAnalogMax - kStickCentre));
  }
  return static_cast<int32_t>(offset * -int64_t{minimum} / kStickCentre);
}

GamepadReport TranslateControls(const FrameControls& controls,
                                const GamepadLayout& layout) {
  GamepadReport report;
  size_t count = 0;
  for (size_t i = 0; i < layout.key_count; ++i) {
    report.events[count++] =
        MakeEvent(EV_KEY, layout.keys[i].code,
                  ButtonState(controls, layout.keys[i].button));
  }
  for (size_t i = 0; i < layout.axis_count; ++i) {
    report.events[count++] = MakeEvent(EV_ABS, layout.axes[i].code,
                                       AxisValue(controls, layout.axes[i]));
  }
  report.events[count++] = SynReport();
  report.count = count;
  return report;
}

}  // namespace korvane_bridge
