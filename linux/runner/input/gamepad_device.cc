#include "input/gamepad_device.h"

#include <fcntl.h>

#include "input/uinput_device.h"

namespace korvane_bridge {

namespace {

constexpr uint32_t kMaxRumbleEffects = 16;

constexpr uint16_t kEventTypes[] = {EV_KEY, EV_ABS, EV_SYN, EV_FF};

void DeclareCapabilities(KernelCalls& kernel,
                         int fd,
                         const GamepadLayout& layout) {
  EnableCodes(kernel, fd, UI_SET_EVBIT, kEventTypes);
  for (size_t i = 0; i < layout.key_count; ++i) {
    kernel.IoctlValue(fd, UI_SET_KEYBIT, layout.keys[i].code);
  }
  for (size_t i = 0; i < layout.axis_count; ++i) {
    const AxisBinding& axis = layout.axes[i];
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

int CreateGamepadDevice(KernelCalls& kernel,
                        const GamepadLayout& layout,
                        const std::string& display_name) {
  // Read-write because the force-feedback worker reads the kernel's requests
  // from the same descriptor; O_CLOEXEC keeps the device out of the shell
  // commands that the host runs.
  const int fd = kernel.Open(kUinputPath, O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return -1;
  }
  DeclareCapabilities(kernel, fd, layout);
  const std::string name =
      display_name.empty() ? layout.default_name : display_name;
  if (!CreateDevice(kernel, fd, layout.identity, name, kMaxRumbleEffects)) {
    return -1;
  }
  return fd;
}

}  // namespace korvane_bridge
