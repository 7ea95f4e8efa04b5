#ifndef LINUX_RUNNER_INPUT_GAMEPAD_LAYOUT_H_
#define LINUX_RUNNER_INPUT_GAMEPAD_LAYOUT_H_

// What each persona looks like to a game. Games and the libraries under
// them look a pad's layout up by its identity and expect the keys and axes
// that the real controller's own kernel driver presents, so every persona
// declares exactly those, and binds each of them to the handheld's control
// in the same position on the controller.

#include <stddef.h>
#include <stdint.h>

#include "input/uinput_device.h"

namespace korvane_bridge {

// The handheld's buttons, named by position. kNone stands for a button the
// posed controller has and the handheld lacks: declared, never pressed.
enum class PadButton : uint8_t {
  kSouth,
  kEast,
  kWest,
  kNorth,
  kLeftShoulder,
  kRightShoulder,
  // Pressed by its bit or by analog travel past the press threshold.
  kLeftTrigger,
  kRightTrigger,
  kSelect,
  kStart,
  kHome,
  kLeftStick,
  kRightStick,
  kNone,
};

enum class PadAxis : uint8_t {
  kLeftX,
  kLeftY,
  kRightX,
  kRightY,
  // Analog travel; the trigger's bit alone reads as a full pull.
  kLeftTrigger,
  kRightTrigger,
  kDpadX,
  kDpadY,
};

struct KeyBinding {
  uint16_t code;
  PadButton button;
};

struct AxisBinding {
  uint16_t code;
  PadAxis axis;
  int32_t minimum;
  int32_t maximum;
  int32_t fuzz;
  int32_t flat;
};

// The most keys and axes any persona declares.
inline constexpr size_t kMaxLayoutKeys = 14;
inline constexpr size_t kMaxLayoutAxes = 8;

struct GamepadLayout {
  DeviceIdentity identity;
  const char* default_name;
  // In the order the controller's driver declares and reports them.
  const KeyBinding* keys;
  size_t key_count;
  const AxisBinding* axes;
  size_t axis_count;
};

// Persona values other than the Sony and Nintendo ones pose as the Xbox pad,
// the model that games support most widely.
const GamepadLayout& LayoutForPersona(int32_t persona);

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_INPUT_GAMEPAD_LAYOUT_H_
