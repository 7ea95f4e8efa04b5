#ifndef TESTS_INPUT_KERNEL_RUMBLE_LOG_H_
#define TESTS_INPUT_KERNEL_RUMBLE_LOG_H_

// What a backend's rumble callback saw, from its force-feedback threads.

#include <stdint.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <tuple>
#include <utility>

#include "evdev_device.h"
#include "input/mounted_slot.h"

namespace input_kernel_testing {

// (player, strong motor, weak motor)
using Rumble = std::tuple<int64_t, int64_t, int64_t>;

class RumbleLog {
 public:
  korvane_bridge::RumbleCallback Callback() {
    return [this](int64_t player, int64_t left, int64_t right) {
      std::lock_guard<std::mutex> lock(mutex_);
      calls_.push_back({Rumble{player, left, right}, NowMs()});
      changed_.notify_all();
    };
  }

  // The next call, with the time it was made; nullopt after `timeout_ms`.
  std::optional<std::pair<Rumble, double>> Next(int timeout_ms = 2000) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [this] { return !calls_.empty(); })) {
      return std::nullopt;
    }
    auto call = calls_.front();
    calls_.pop_front();
    return call;
  }

  size_t Pending() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_.size();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::pair<Rumble, double>> calls_;
};

}  // namespace input_kernel_testing

#endif  // TESTS_INPUT_KERNEL_RUMBLE_LOG_H_
