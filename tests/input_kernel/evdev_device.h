#ifndef TESTS_INPUT_KERNEL_EVDEV_DEVICE_H_
#define TESTS_INPUT_KERNEL_EVDEV_DEVICE_H_

// What a game sees: the evdev node of one input device, found by its name.

#include <fcntl.h>
#include <linux/input.h>
#include <sys/ioctl.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace input_kernel_testing {

class EvdevDevice {
 public:
  // Opens the event node of the input device called `name`, waiting up to
  // `timeout` for it to appear; nullopt when it does not.
  static std::optional<EvdevDevice> Open(
      const std::string& name,
      int flags,
      std::chrono::milliseconds timeout = std::chrono::seconds(2));

  EvdevDevice(EvdevDevice&& other) noexcept;
  EvdevDevice& operator=(EvdevDevice&&) = delete;
  ~EvdevDevice();

  int fd() const { return fd_; }

  // The events up to and including the next SYN_REPORT, or nothing when
  // none arrives within `timeout`.
  std::vector<input_event> ReadReport(
      std::chrono::milliseconds timeout = std::chrono::seconds(2));

  // True when no event is waiting.
  bool Idle(std::chrono::milliseconds wait = std::chrono::milliseconds(50));

 private:
  explicit EvdevDevice(int fd) : fd_(fd) {}

  int fd_;
};

// Milliseconds since an arbitrary start, for the figures the tests print.
double NowMs();

}  // namespace input_kernel_testing

#endif  // TESTS_INPUT_KERNEL_EVDEV_DEVICE_H_
