#include "input/gamepad_layout.h"

#include <linux/input.h>

namespace korvane_bridge {

namespace {

constexpr int32_t kSonyPersona = 0;
constexpr int32_t kNintendoPersona = 2;

constexpr AxisBinding Stick(uint16_t code, PadAxis axis) {
  return {code, axis, -32768, 32767, 16, 128};
}
constexpr AxisBinding Trigger(uint16_t code, PadAxis axis) {
  return {code, axis, 0, 255, 0, 0};
}
constexpr AxisBinding Dpad(uint16_t code, PadAxis axis) {
  return {code, axis, -1, 1, 0, 0};
}
// The Nintendo driver's calibrated sticks: symmetric, and filtered harder.
constexpr AxisBinding NintendoStick(uint16_t code, PadAxis axis) {
  return {code, axis, -32767, 32767, 250, 500};
}

// A DualShock 4 as its driver presents it: every button, the triggers both
// as buttons and as axes.
constexpr KeyBinding kSonyKeys[] = {
    {BTN_SOUTH, PadButton::kSouth},       {BTN_EAST, PadButton::kEast},
    {BTN_WEST, PadButton::kWest},         {BTN_NORTH, PadButton::kNorth},
    {BTN_TL, PadButton::kLeftShoulder},   {BTN_TR, PadButton::kRightShoulder},
    {BTN_TL2, PadButton::kLeftTrigger},   {BTN_TR2, PadButton::kRightTrigger},
    {BTN_SELECT, PadButton::kSelect},     {BTN_START, PadButton::kStart},
    {BTN_MODE, PadButton::kHome},         {BTN_THUMBL, PadButton::kLeftStick},
    {BTN_THUMBR, PadButton::kRightStick},
};
constexpr AxisBinding kSonyAxes[] = {
    Stick(ABS_X, PadAxis::kLeftX),
    Stick(ABS_Y, PadAxis::kLeftY),
    Stick(ABS_RX, PadAxis::kRightX),
    Stick(ABS_RY, PadAxis::kRightY),
    Trigger(ABS_Z, PadAxis::kLeftTrigger),
    Trigger(ABS_RZ, PadAxis::kRightTrigger),
    Dpad(ABS_HAT0X, PadAxis::kDpadX),
    Dpad(ABS_HAT0Y, PadAxis::kDpadY),
};

// The wired Xbox 360 pad as xpad presents it: triggers only as axes, and
// its X and Y buttons under the codes named after them, which puts X (on
// the west) at BTN_X, the code that other drivers use for the north button.
constexpr KeyBinding kXboxKeys[] = {
    {BTN_A, PadButton::kSouth},          {BTN_B, PadButton::kEast},
    {BTN_X, PadButton::kWest},           {BTN_Y, PadButton::kNorth},
    {BTN_START, PadButton::kStart},      {BTN_SELECT, PadButton::kSelect},
    {BTN_THUMBL, PadButton::kLeftStick}, {BTN_THUMBR, PadButton::kRightStick},
    {BTN_TL, PadButton::kLeftShoulder},  {BTN_TR, PadButton::kRightShoulder},
    {BTN_MODE, PadButton::kHome},
};
constexpr AxisBinding kXboxAxes[] = {
    Stick(ABS_X, PadAxis::kLeftX),
    Stick(ABS_Y, PadAxis::kLeftY),
    Stick(ABS_RX, PadAxis::kRightX),
    Stick(ABS_RY, PadAxis::kRightY),
    Dpad(ABS_HAT0X, PadAxis::kDpadX),
    Dpad(ABS_HAT0Y, PadAxis::kDpadY),
    Trigger(ABS_Z, PadAxis::kLeftTrigger),
    Trigger(ABS_RZ, PadAxis::kRightTrigger),
};

// The Pro Controller as hid-nintendo presents it: digital ZL and ZR, a
// Capture button the handheld lacks, and no trigger axes.
constexpr KeyBinding kNintendoKeys[] = {
    {BTN_SELECT, PadButton::kSelect},    {BTN_Z, PadButton::kNone},
    {BTN_THUMBL, PadButton::kLeftStick}, {BTN_TL, PadButton::kLeftShoulder},
    {BTN_TL2, PadButton::kLeftTrigger},  {BTN_START, PadButton::kStart},
    {BTN_MODE, PadButton::kHome},        {BTN_THUMBR, PadButton::kRightStick},
    {BTN_SOUTH, PadButton::kSouth},      {BTN_EAST, PadButton::kEast},
    {BTN_NORTH, PadButton::kNorth},      {BTN_WEST, PadButton::kWest},
    {BTN_TR, PadButton::kRightShoulder}, {BTN_TR2, PadButton::kRightTrigger},
};
constexpr AxisBinding kNintendoAxes[] = {
    NintendoStick(ABS_X, PadAxis::kLeftX),
    NintendoStick(ABS_Y, PadAxis::kLeftY),
    Dpad(ABS_HAT0X, PadAxis::kDpadX),
    Dpad(ABS_HAT0Y, PadAxis::kDpadY),
    NintendoStick(ABS_RX, PadAxis::kRightX),
    NintendoStick(ABS_RY, PadAxis::kRightY),
};

template <size_t kKeys, size_t kAxes>
constexpr GamepadLayout Layout(DeviceIdentity identity,
                               const char* default_name,
                               const KeyBinding (&keys)[kKeys],
                               const AxisBinding (&axes)[kAxes]) {
  static_assert(kKeys <= kMaxLayoutKeys && kAxes <= kMaxLayoutAxes);
  return {identity, default_name, keys, kKeys, axes, kAxes};
}

constexpr GamepadLayout kSonyLayout =
    Layout({0x054C, 0x09CC, 0x8111},
           "Sony Interactive Entertainment Wireless Controller",
           kSonyKeys,
           kSonyAxes);
constexpr GamepadLayout kXboxLayout = Layout({0x045E, 0x028E, 0x0114},
                                             "Microsoft X-Box 360 pad",
                                             kXboxKeys,
                                             kXboxAxes);
constexpr GamepadLayout kNintendoLayout =
    Layout({0x057E, 0x2009, 0x0210},
           "Nintendo Co., Ltd. Pro Controller",
           kNintendoKeys,
           kNintendoAxes);

}  // namespace

const GamepadLayout& LayoutForPersona(int32_t persona) {
  switch (persona) {
    case kSonyPersona:
      return kSonyLayout;
    case kNintendoPersona:
      return kNintendoLayout;
    default:
      return kXboxLayout;
  }
}

}  // namespace korvane_bridge
