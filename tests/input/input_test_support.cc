#include "input_test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <thread>

namespace input_testing {

std::ostream& operator<<(std::ostream& out, const Event& event) {
  return out << "{type " << event.type << ", code " << event.code << ", value "
             << event.value << "}";
}

std::ostream& operator<<(std::ostream& out, const RumbleLog::Rumble& rumble) {
  return out << "(player " << rumble.player << ", " << rumble.strong << ", "
             << rumble.weak << ")";
}

std::vector<Event> Events(const input_event* events, size_t count) {
  std::vector<Event> result;
  for (size_t i = 0; i < count; ++i) {
    result.push_back({events[i].type, events[i].code, events[i].value});
  }
  return result;
}

std::vector<Event> Events(const std::vector<input_event>& events) {
  return Events(events.data(), events.size());
}

bool TimeStampsZero(const std::vector<input_event>& events) {
  for (const input_event& event : events) {
    if (event.input_event_sec != 0 || event.input_event_usec != 0) {
      return false;
    }
  }
  return true;
}

korvane_bridge::FrameControls RestingControls(int64_t player_number) {
  korvane_bridge::FrameControls controls{};
  controls.player_number = player_number;
  controls.left_stick_x = controls.left_stick_y = 128;
  controls.right_stick_x = controls.right_stick_y = 128;
  return controls;
}

FramePtr NewFrame(const korvane_bridge::FrameControls& c,
                  const UnusedFrameFields& unused) {
  return FramePtr(korvane_bridge_virtual_controller_frame_new(
      c.player_number, c.button_mask1, c.button_mask2, c.home_button,
      c.touch_click_button, c.left_stick_x, c.left_stick_y, c.right_stick_x,
      c.right_stick_y, c.l2_analog, c.r2_analog, unused.motion, unused.motion,
      unused.motion, unused.motion, unused.motion, unused.motion,
      unused.timestamp_us, unused.touch_active, unused.touch_position,
      unused.touch_position, unused.touch_position, unused.touch_active,
      unused.touch_position, unused.touch_position, unused.touch_position));
}

ChildResult RunAsNobody(const std::function<bool()>& check,
                        const std::function<bool()>& prepare) {
  constexpr uid_t kNobody = 65534;
  constexpr int kCannotDrop = 2;
  const pid_t child = fork();
  if (child == 0) {
    if ((prepare && !prepare()) || setgid(kNobody) != 0 ||
        setuid(kNobody) != 0) {
      _exit(kCannotDrop);
    }
    _exit(check() ? 0 : 1);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
    return ChildResult::kFailed;
  }
  switch (WEXITSTATUS(status)) {
    case 0:
      return ChildResult::kPassed;
    case kCannotDrop:
      return ChildResult::kCannotDropPrivileges;
    default:
      return ChildResult::kFailed;
  }
}

bool Eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

korvane_bridge::RumbleCallback RumbleLog::Callback() {
  return [this](int64_t player, int64_t strong, int64_t weak) {
    std::lock_guard<std::mutex> lock(mutex_);
    rumbles_.push_back({player, strong, weak});
    arrived_.notify_all();
  };
}

bool RumbleLog::WaitFor(size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return arrived_.wait_for(lock, timeout,
                           [&] { return rumbles_.size() >= count; });
}

std::vector<RumbleLog::Rumble> RumbleLog::Rumbles() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return rumbles_;
}

}  // namespace input_testing
