#include "input/uinput_device.h"

#include <stdio.h>
#include <sys/types.h>

namespace korvane_bridge {

input_event MakeEvent(uint16_t type, uint16_t code, int32_t value) {
  input_event event = Zeroed<input_event>();
  event.type = type;
  event.code = code;
  event.value = value;
  return event;
}

input_event SynReport() {
  return MakeEvent(EV_SYN, SYN_REPORT, 0);
}

bool CreateDevice(KernelCalls& kernel,
                  int fd,
                  const DeviceIdentity& identity,
                  const std::string& name,
                  uint32_t ff_effects_max) {
  uinput_setup setup = Zeroed<uinput_setup>();
  setup.id.bustype = BUS_USB;
  setup.id.vendor = identity.vendor;
  setup.id.product = identity.product;
  setup.id.version = identity.version;
  snprintf(setup.name, sizeof(setup.name), "%s", name.c_str());
  setup.ff_effects_max = ff_effects_max;
  if (kernel.IoctlPointer(fd, UI_DEV_SETUP, &setup) < 0 ||
      kernel.IoctlValue(fd, UI_DEV_CREATE, 0) < 0) {
    kernel.Close(fd);
    return false;
  }
  return true;
}

void DestroyDevice(KernelCalls& kernel, int& fd) {
  if (fd < 0) {
    return;
  }
  kernel.IoctlValue(fd, UI_DEV_DESTROY, 0);
  kernel.Close(fd);
  fd = -1;
}

bool WriteBatch(KernelCalls& kernel,
                int fd,
                const input_event* events,
                size_t count) {
  const size_t size = count * sizeof(input_event);
  return kernel.Write(fd, events, size) == static_cast<ssize_t>(size);
}

}  // namespace korvane_bridge
