#ifndef LINUX_RUNNER_INPUT_MOUNTED_SLOT_H_
#define LINUX_RUNNER_INPUT_MOUNTED_SLOT_H_

#include <stdint.h>

#include <atomic>
#include <functional>
#include <map>
#include <thread>

#include "input/gamepad_layout.h"

namespace korvane_bridge {

// (player number, strong motor 0..255, weak motor 0..255); called on a
// force-feedback worker thread.
using RumbleCallback = std::function<void(int64_t, int64_t, int64_t)>;

// One rumble effect that a game uploaded.
struct FfEffectSlot {
  uint16_t strong_magnitude;
  uint16_t weak_magnitude;
  // From the play to the start, and from the start to the end; a length of
  // 0 plays until the game stops the effect.
  uint16_t delay_ms;
  uint16_t length_ms;
};

// One mounted gamepad. The slot owns its descriptor and its worker; it is
// taken out of the backend's table before it is stopped, so the worker never
// outlives it.
struct MountedSlot {
  MountedSlot(int64_t player,
              int descriptor,
              int32_t persona_value,
              const GamepadLayout& persona_layout)
      : player_number(player),
        fd(descriptor),
        persona(persona_value),
        layout(persona_layout) {}

  int64_t player_number;
  int fd;
  // As requested, not normalised: a re-mount with another value re-creates
  // the device even when both values pose as the same model.
  int32_t persona;
  const GamepadLayout& layout;
  // Set with release order by the stopping thread, read with acquire order
  // by the worker.
  std::atomic<bool> stop_requested{false};
  std::thread ff_thread;
  // Keyed by the kernel's effect id; touched only by the worker.
  std::map<int32_t, FfEffectSlot> effects;
};

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_INPUT_MOUNTED_SLOT_H_
