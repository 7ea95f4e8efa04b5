#ifndef LINUX_RUNNER_INPUT_UINPUT_PAD_BACKEND_H_
#define LINUX_RUNNER_INPUT_UINPUT_PAD_BACKEND_H_

// The owner of every virtual input device of the host: up to eight gamepads,
// one per player 1..8, and the macro keyboard and mouse.
// The host bridge calls it from the main thread (the driver repair excepted);
// each gamepad's force-feedback worker runs on its own thread.

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "input/driver_readiness.h"
#include "input/kernel_calls.h"
#include "input/macro_keyboard.h"
#include "input/mounted_slot.h"
#include "pigeon/korvane_bridge_records.h"

namespace korvane_bridge {

class UinputPadBackend {
 public:
  // `kernel` must outlive the backend.
  explicit UinputPadBackend(RumbleCallback rumble_callback,
                            KernelCalls& kernel = SystemKernel());
  ~UinputPadBackend();
  UinputPadBackend(const UinputPadBackend&) = delete;
  UinputPadBackend& operator=(const UinputPadBackend&) = delete;

  // True when a gamepad for the player exists on return with the requested
  // persona. Mounting again with the same persona keeps the device as it is
  // (also its name); another persona value re-creates it.
  bool MountController(int64_t player_number,
                       KorvaneBridgeNativeGamepadPersona persona,
                       const std::string& display_name);
  // Always true: a player that is not mounted is already as asked.
  bool UnmountController(int64_t player_number);
  void UnmountAll();
  size_t MountedCount();

  // True when the frame's whole report reached its player's gamepad.
  bool SubmitFrame(KorvaneBridgeVirtualControllerFrame* frame);

  // See macro_keyboard.h.
  bool SendKeyChord(const std::vector<uint16_t>& modifiers, uint16_t key) {
    return keyboard_.SendKeyChord(modifiers, key);
  }
  bool SendMouseButton(uint16_t button, bool pressed) {
    return keyboard_.SendMouseButton(button, pressed);
  }

  // See driver_readiness.h; neither touches the devices or the lock.
  KorvaneBridgeNativeDriverReadiness CheckReadiness() const {
    return CheckUinputReadiness(kernel_);
  }
  bool SetupOrRepairDriverInteractive() {
    return SetupOrRepairUinputInteractive(kernel_);
  }

 private:
  // Stops a slot that is no longer in the table: worker joined, then the
  // device destroyed. A null slot is ignored.
  void StopSlotInternal(MountedSlot* slot);
  // False when no thread could be started; the slot is then left unstarted.
  bool StartForceFeedbackWorker(MountedSlot* slot);

  // Guards the gamepad table.
  std::mutex mutex_;
  std::map<int64_t, std::unique_ptr<MountedSlot>> slots_;
  const RumbleCallback rumble_callback_;
  KernelCalls& kernel_;
  // Goes after the destructor has unmounted every gamepad.
  MacroKeyboard keyboard_;
};

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_INPUT_UINPUT_PAD_BACKEND_H_
