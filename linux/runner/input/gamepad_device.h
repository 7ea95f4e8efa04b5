#ifndef LINUX_RUNNER_INPUT_GAMEPAD_DEVICE_H_
#define LINUX_RUNNER_INPUT_GAMEPAD_DEVICE_H_

// A virtual gamepad posing as one of three well-known controllers. Every
// persona has the same buttons, axes and rumble; only the identity differs,
// so games pick their usual mapping for the model they believe they see.

#include <stdint.h>

#include <string>

#include "kernel_calls.h"
#include "uinput_device.h"

namespace korvane_bridge {

struct PersonaIdentity {
  DeviceIdentity device;
  const char* default_name;
};

// Persona values other than the Sony and Nintendo ones pose as the Xbox pad,
// the model that games support most widely.
PersonaIdentity IdentityForPersona(int32_t persona);

// Opens, declares and creates a gamepad; returns its descriptor, or -1 when
// the node cannot be opened or the kernel refuses the device. An empty
// display name gives the persona's default name.
int CreateGamepadDevice(KernelCalls& kernel,
                        int32_t persona,
                        const std::string& display_name);

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_INPUT_GAMEPAD_DEVICE_H_
