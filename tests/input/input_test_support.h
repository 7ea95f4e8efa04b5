#ifndef TESTS_INPUT_INPUT_TEST_SUPPORT_H_
#define TESTS_INPUT_INPUT_TEST_SUPPORT_H_

#include <glib-object.h>
#include <linux/input.h>
#include <stdint.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <vector>

#include "frame_translation.h"
#include "korvane_bridge_records.h"
#include "mounted_slot.h"

namespace input_testing {

// An event without its time stamp, comparable and printable in assertions.
struct Event {
  uint16_t type;
  uint16_t code;
  int32_t value;
  bool operator==(const Event& other) const {
    return type == other.type && code == other.code && value == other.value;
  }
};
std::ostream& operator<<(std::ostream& out, const Event& event);

std::vector<Event> Events(const input_event* events, size_t count);
std::vector<Event> Events(const std::vector<input_event>& events);
// True when every time stamp of the batch is zero.
bool TimeStampsZero(const std::vector<input_event>& events);

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
using FramePtr =
    std::unique_ptr<KorvaneBridgeVirtualControllerFrame, GObjectUnref>;

// Sticks centred, nothing pressed.
korvane_bridge::FrameControls RestingControls(int64_t player_number);

// The fields that the gamepad has no use for.
struct UnusedFrameFields {
  double motion = 0.0;
  int64_t timestamp_us = 0;
  bool touch_active = false;
  int64_t touch_position = 0;
};

FramePtr NewFrame(const korvane_bridge::FrameControls& controls,
                  const UnusedFrameFields& unused = {});

// Root passes every permission test and ignores process limits, so some
// failures can only be seen by a process that is not root. Runs `check` in a
// child that ran `prepare` (while still root) and then became the user
// nobody. Returns kPassed, kFailed, or kCannotDropPrivileges when this
// machine does not allow the switch.
enum class ChildResult { kPassed, kFailed, kCannotDropPrivileges };
ChildResult RunAsNobody(const std::function<bool()>& check,
                        const std::function<bool()>& prepare = nullptr);

// Polls `condition` until it holds; false after `timeout`.
bool Eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = std::chrono::seconds(5));

// Collects rumble callbacks from any thread.
class RumbleLog {
 public:
  struct Rumble {
    int64_t player;
    int64_t strong;
    int64_t weak;
    bool operator==(const Rumble& other) const {
      return player == other.player && strong == other.strong &&
             weak == other.weak;
    }
  };

  korvane_bridge::RumbleCallback Callback();
  // Waits until at least `count` callbacks arrived; false after `timeout`.
  bool WaitFor(size_t count,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));
  std::vector<Rumble> Rumbles() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Rumble> rumbles_;
};
std::ostream& operator<<(std::ostream& out, const RumbleLog::Rumble& rumble);

}  // namespace input_testing

#endif  // TESTS_INPUT_INPUT_TEST_SUPPORT_H_
