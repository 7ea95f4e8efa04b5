#include "evdev_device.h"

#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace input_kernel_testing {

namespace {

// The /dev/input/eventN path of the device called `name`, if there is one.
std::optional<std::string> FindNode(const std::string& name) {
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

}  // namespace

double NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

std::optional<EvdevDevice> EvdevDevice::Open(
    const std::string& name,
    int flags,
    std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  do {
    if (auto path = FindNode(name)) {
      int fd = open(path->c_str(), flags | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) {
        return EvdevDevice(fd);
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  } while (std::chrono::steady_clock::now() < deadline);
  return std::nullopt;
}

EvdevDevice::EvdevDevice(EvdevDevice&& other) noexcept : fd_(other.fd_) {
  other.fd_ = -1;
}

EvdevDevice::~EvdevDevice() {
  if (fd_ >= 0) {
    close(fd_);
  }
}

std::vector<input_event> EvdevDevice::ReadReport(
    std::chrono::milliseconds timeout) {
  std::vector<input_event> report;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    input_event event{};
    ssize_t n = read(fd_, &event, sizeof(event));
    if (n == static_cast<ssize_t>(sizeof(event))) {
      report.push_back(event);
      if (event.type == EV_SYN && event.code == SYN_REPORT) {
        return report;
      }
      continue;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return {};
    }
    pollfd poll_fd{fd_, POLLIN, 0};
    poll(&poll_fd, 1, static_cast<int>(left.count()));
  }
}

bool EvdevDevice::Idle(std::chrono::milliseconds wait) {
  pollfd poll_fd{fd_, POLLIN, 0};
  return poll(&poll_fd, 1, static_cast<int>(wait.count())) == 0;
}

}  // namespace input_kernel_testing
