#ifndef LINUX_RUNNER_INPUT_UINPUT_DEVICE_H_
#define LINUX_RUNNER_INPUT_UINPUT_DEVICE_H_

// What every virtual device of the backend does the same way: opening the
// uinput node, declaring an identity and creating the device, writing one
// batch of events, and tearing the device down.

#include <linux/uinput.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "input/kernel_calls.h"

namespace korvane_bridge {

inline constexpr char kUinputPath[] = "/dev/uinput";

// The kernel reads whole structures, padding and unused union members
// included, so they start out as zero bytes rather than value-initialised.
template <typename Record>
Record Zeroed() {
  Record record;
  memset(&record, 0, sizeof(record));
  return record;
}

struct DeviceIdentity {
  uint16_t vendor;
  uint16_t product;
  uint16_t version;
};

input_event MakeEvent(uint16_t type, uint16_t code, int32_t value);
input_event SynReport();

// Declares capabilities one code at a time. The kernel keeps whatever it
// accepted, so results are not checked: only setup and creation decide.
template <size_t kCount>
void EnableCodes(KernelCalls& kernel,
                 int fd,
                 unsigned long request,
                 const uint16_t (&codes)[kCount]) {
  for (uint16_t code : codes) {
    kernel.IoctlValue(fd, request, code);
  }
}

// Declares a USB identity and a name (cut to what the kernel's field holds)
// and creates the device. On failure the descriptor is closed and false is
// returned.
bool CreateDevice(KernelCalls& kernel,
                  int fd,
                  const DeviceIdentity& identity,
                  const std::string& name,
                  uint32_t ff_effects_max);

// Destroys the device behind `fd` and closes it; `fd` becomes -1. A negative
// `fd` is left alone.
void DestroyDevice(KernelCalls& kernel, int& fd);

// One write call; true only when the kernel took every byte, because the
// device applies whatever part of a batch it received.
bool WriteBatch(KernelCalls& kernel,
                int fd,
                const input_event* events,
                size_t count);

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_INPUT_UINPUT_DEVICE_H_
