#ifndef LINUX_RUNNER_INPUT_MACRO_KEYBOARD_H_
#define LINUX_RUNNER_INPUT_MACRO_KEYBOARD_H_

// The virtual macro keyboard and mouse: deck actions type shortcuts on it and
// stylus injection clicks its buttons. Created on first use and kept until
// it goes; every operation runs under its own lock, so that two chords never
// interleave and gamepad frames never wait for one.

#include <stdint.h>

#include <mutex>
#include <vector>

#include "input/kernel_calls.h"

namespace korvane_bridge {

class MacroKeyboard {
 public:
  // `kernel` must outlive the keyboard.
  explicit MacroKeyboard(KernelCalls& kernel);
  ~MacroKeyboard();
  MacroKeyboard(const MacroKeyboard&) = delete;
  MacroKeyboard& operator=(const MacroKeyboard&) = delete;

  // Presses the modifiers in order and the key, then releases in reverse
  // order; zero modifiers are skipped. True when both batches were written.
  bool SendKeyChord(const std::vector<uint16_t>& modifiers, uint16_t key);
  bool SendMouseButton(uint16_t button, bool pressed);

 private:
  bool EnsureDeviceLocked();

  KernelCalls& kernel_;
  // A chord holds its keys down for a while; it holds this lock meanwhile.
  std::mutex mutex_;
  int fd_ = -1;
};

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_INPUT_MACRO_KEYBOARD_H_
