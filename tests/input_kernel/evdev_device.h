#ifndef TESTS_INPUT_KERNEL_EVDEV_DEVICE_H_
#define TESTS_INPUT_KERNEL_EVDEV_DEVICE_H_

// What a game sees: the evdev node of one input device, found by its name.

#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace input_kernel_testing {

using Clock = std::chrono::steady_clock;

// Milliseconds since an arbitrary start, for the figures the tests print.
inline double NowMs() {
  return std::chrono::duration<double, std::milli>(
             Clock::now().time_since_epoch())
      .count();
}

class EvdevDevice {
 public:
  // The event node of the device called `name`, waiting 2 s for it.
  static std::optional<EvdevDevice> Open(const std::string& name, int flags) {
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    for (; Clock::now() < deadline;
         std::this_thread::sleep_for(std::chrono::milliseconds(2))) {
      std::error_code error;
      for (const auto& entry :
           std::filesystem::directory_iterator("/sys/class/input", error)) {
        const std::string node = entry.path().filename();
        std::string found;
        if (node.rfind("event", 0) == 0 &&
            std::getline(std::ifstream(entry.path() / "device/name"), found) &&
            found == name) {
          const int fd = open(("/dev/input/" + node).c_str(),
                              flags | O_NONBLOCK | O_CLOEXEC);
          if (fd >= 0) {
            return EvdevDevice(fd);
          }
        }
      }
    }
    return std::nullopt;
  }

  EvdevDevice(EvdevDevice&& other) noexcept
      : fd_(std::exchange(other.fd_, -1)) {}
  EvdevDevice& operator=(EvdevDevice&&) = delete;
  ~EvdevDevice() {
    if (fd_ >= 0) {
      close(fd_);
    }
  }

  int fd() const { return fd_; }

  // The events up to the next SYN_REPORT; none after 2 s.
  std::vector<input_event> ReadReport() {
    std::vector<input_event> report;
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    input_event event{};
    while (report.empty() || report.back().type != EV_SYN ||
           report.back().code != SYN_REPORT) {
      if (read(fd_, &event, sizeof(event)) == sizeof(event)) {
        report.push_back(event);
      } else if (Idle(10) && Clock::now() > deadline) {
        return {};
      }
    }
    return report;
  }

  // True when no event arrives within `wait_ms`.
  bool Idle(int wait_ms = 50) {
    pollfd poll_fd{fd_, POLLIN, 0};
    return poll(&poll_fd, 1, wait_ms) == 0;
  }

 private:
  explicit EvdevDevice(int fd) : fd_(fd) {}

  int fd_;
};

}  // namespace input_kernel_testing

#endif  // TESTS_INPUT_KERNEL_EVDEV_DEVICE_H_
