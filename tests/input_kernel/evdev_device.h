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
#include <vector>

namespace input_kernel_testing {

// Milliseconds since an arbitrary start, for the figures the tests print.
inline double NowMs() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

class EvdevDevice {
 public:
  // Opens the event node of the input device called `name`, waiting up to
  // `timeout` for it to appear; nullopt when it does not.
  static std::optional<EvdevDevice> Open(
      const std::string& name,
      int flags,
      std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
      if (const auto path = FindNode(name)) {
        const int fd = open(path->c_str(), flags | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
          return EvdevDevice(fd);
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (std::chrono::steady_clock::now() < deadline);
    return std::nullopt;
  }

  EvdevDevice(EvdevDevice&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  EvdevDevice& operator=(EvdevDevice&&) = delete;
  ~EvdevDevice() {
    if (fd_ >= 0) {
      close(fd_);
    }
  }

  int fd() const { return fd_; }

  // The events up to and including the next SYN_REPORT, or nothing when
  // none arrives within `timeout`.
  std::vector<input_event> ReadReport(
      std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
    std::vector<input_event> report;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
      input_event event{};
      if (read(fd_, &event, sizeof(event)) == sizeof(event)) {
        report.push_back(event);
        if (event.type == EV_SYN && event.code == SYN_REPORT) {
          return report;
        }
        continue;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        return {};
      }
      pollfd poll_fd{fd_, POLLIN, 0};
      poll(&poll_fd, 1, static_cast<int>(left.count()));
    }
  }

  // True when no event is waiting.
  bool Idle(std::chrono::milliseconds wait = std::chrono::milliseconds(50)) {
    pollfd poll_fd{fd_, POLLIN, 0};
    return poll(&poll_fd, 1, static_cast<int>(wait.count())) == 0;
  }

 private:
  explicit EvdevDevice(int fd) : fd_(fd) {}

  // The /dev/input/eventN path of the device called `name`, if there is one.
  static std::optional<std::string> FindNode(const std::string& name) {
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator("/sys/class/input", error)) {
      const std::string node = entry.path().filename();
      std::ifstream name_file(entry.path() / "device/name");
      std::string device_name;
      if (node.rfind("event", 0) == 0 && std::getline(name_file, device_name) &&
          device_name == name) {
        return "/dev/input/" + node;
      }
    }
    return std::nullopt;
  }

  int fd_;
};

}  // namespace input_kernel_testing

#endif  // TESTS_INPUT_KERNEL_EVDEV_DEVICE_H_
