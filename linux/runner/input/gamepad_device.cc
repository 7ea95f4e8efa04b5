#include "gamepad_device.h"

#include <fcntl.h>

namespace korvane_bridge {

namespace {

constexpr int32_t kSonyPersona = 0;
constexpr int32_t kNintendoPersona = 2;
constexpr uint32_t kMaxRumbleEffects = 16;

constexpr PersonaIdentity kSonyIdentity = {
    {0x054C, 0x09CC, 0x8111},
    "Sony Interactive Entertainment Wireless Controller"};
constexpr PersonaIdentity kNintendoIdentity = {
    {0x057E, 0x2009, 0x0210},
    "Nintendo Co., Ltd. Pro Controller"};
constexpr PersonaIdentity kXboxIdentity = {{0x045E, 0x028E, 0x0114},
                                           "Microsoft X-Box 360 pad"};

constexpr uint16_t kEventTypes[] = {EV_KEY, EV_ABS, EV_SYN, EV_FF};

constexpr uint16_t kButtons[] = {
    BTN_SOUTH, BTN_EAST,   BTN_NORTH, BTN_WEST, BTN_TL,     BTN_TR,    BTN_TL2,
    BTN_TR2,   BTN_SELECT, BTN_START, BTN_MODE, BTN_THUMBL, BTN_THUMBR};

struct AxisRange {
  uint16_t code;
  int32_t minimum;
  int32_t maximum;
  int32_t fuzz;
  int32_t flat;
};

constexpr AxisRange kAxes[] = {
    {ABS_X, -32768, 32767, 16, 128},
    {ABS_Y, -32768, 32767, 16, 128},
    {ABS_RX, -32768, 32767, 16, 128},
    {ABS_RY, -32768, 32767, 16, 128},
    {ABS_Z, 0, 255, 0, 0},
    {ABS_RZ, 0, 255, 0, 0},
    {ABS_HAT0X, -1, 1, 0, 0},
    {ABS_HAT0Y, -1, 1, 0, 0},
};

void DeclareCapabilities(KernelCalls& kernel, int fd) {
  EnableCodes(kernel, fd, UI_SET_EVBIT, kEventTypes);
  EnableCodes(kernel, fd, UI_SET_KEYBIT, kButtons);
  for (const AxisRange& axis : kAxes) {
    kernel.IoctlValue(fd, UI_SET_ABSBIT, axis.code);
    uinput_abs_setup setup = Zeroed<uinput_abs_setup>();
    setup.code = axis.code;
    setup.absinfo.minimum = axis.minimum;
    setup.absinfo.maximum = axis.maximum;
    setup.absinfo.fuzz = axis.fuzz;
    setup.absinfo.flat = axis.flat;
    kernel.IoctlPointer(fd, UI_ABS_SETUP, &setup);
  }
  kernel.IoctlValue(fd, UI_SET_FFBIT, FF_RUMBLE);
}

}  // namespace

PersonaIdentity IdentityForPersona(int32_t persona) {
  switch (persona) {
    case kSonyPersona:
      return kSonyIdentity;
    case kNintendoPersona:
      return kNintendoIdentity;
    default:
      return kXboxIdentity;
  }
}

int CreateGamepadDevice(KernelCalls& kernel,
                        int32_t persona,
                        const std::string& display_name) {
  // Read-write because the force-feedback worker reads the kernel's requests
  // from the same descriptor; O_CLOEXEC keeps the device out of the shell
  // commands that the host runs.
  const int fd = kernel.Open(kUinputPath, O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return -1;
  }
  DeclareCapabilities(kernel, fd);
  const PersonaIdentity identity = IdentityForPersona(persona);
  const std::string name =
      display_name.empty() ? identity.default_name : display_name;
  if (!CreateDevice(kernel, fd, identity.device, name, kMaxRumbleEffects)) {
    return -1;
  }
  return fd;
}

}  // namespace korvane_bridge
