#ifndef LINUX_RUNNER_INPUT_GAMEPAD_DEVICE_H_
#define LINUX_RUNNER_INPUT_GAMEPAD_DEVICE_H_

// A virtual gamepad posing as one of three well-known controllers, with the
// identity, keys, axes and rumble of its layout.

#include <string>

#include "input/gamepad_layout.h"
#include "input/kernel_calls.h"

namespace korvane_bridge {

// Opens, declares and creates a gamepad; returns its descriptor, or -1 when
// the node cannot be opened or the kernel refuses the device. An empty
// display name gives the layout's default name.
int CreateGamepadDevice(KernelCalls& kernel,
                        const GamepadLayout& layout,
                        const std::string& display_name);

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_INPUT_GAMEPAD_DEVICE_H_
