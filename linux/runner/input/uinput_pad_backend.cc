#include "input/uinput_pad_backend.h"

#include <system_error>
#include <utility>

#include "input/force_feedback_worker.h"
#include "input/frame_translation.h"
#include "input/gamepad_device.h"
#include "input/uinput_device.h"

namespace korvane_bridge {

namespace {

constexpr int64_t kFirstPlayer = 1;
constexpr int64_t kLastPlayer = 8;

}  // namespace

UinputPadBackend::UinputPadBackend(RumbleCallback rumble_callback,
                                   KernelCalls& kernel)
    : rumble_callback_(std::move(rumble_callback)),
      kernel_(kernel),
      keyboard_(kernel) {}

UinputPadBackend::~UinputPadBackend() {
  UnmountAll();
}

bool UinputPadBackend::MountController(
    int64_t player_number,
    KorvaneBridgeNativeGamepadPersona persona,
    const std::string& display_name) {
  if (player_number < kFirstPlayer || player_number > kLastPlayer) {
    return false;
  }
  const int32_t persona_value = static_cast<int32_t>(persona);
  std::unique_ptr<MountedSlot> replaced;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = slots_.find(player_number);
    if (found != slots_.end()) {
      if (found->second->persona == persona_value && found->second->fd >= 0) {
        return true;
      }
      replaced = std::move(found->second);
      slots_.erase(found);
    }
  }
  // The old device goes before the new one is created, so a game never sees
  // two pads for one player; if the creation fails the player stays unmounted.
  StopSlotInternal(replaced.get());
  replaced.reset();

  const GamepadLayout& layout = LayoutForPersona(persona_value);
  const int fd = CreateGamepadDevice(kernel_, layout, display_name);
  if (fd < 0) {
    return false;
  }
  auto slot =
      std::make_unique<MountedSlot>(player_number, fd, persona_value, layout);
  // Started before the slot is published: once in the table it may be taken
  // out and stopped by another caller at any moment.
  if (!StartForceFeedbackWorker(slot.get())) {
    StopSlotInternal(slot.get());
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::swap(slots_[player_number], slot);
  }
  // Only a concurrent mount of the same player can have left a slot here;
  // the newest one wins and the other is stopped like any replaced slot.
  StopSlotInternal(slot.get());
  return true;
}

bool UinputPadBackend::UnmountController(int64_t player_number) {
  std::unique_ptr<MountedSlot> slot;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = slots_.find(player_number);
    if (found == slots_.end()) {
      return true;
    }
    slot = std::move(found->second);
    slots_.erase(found);
  }
  StopSlotInternal(slot.get());
  return true;
}

void UinputPadBackend::UnmountAll() {
  std::map<int64_t, std::unique_ptr<MountedSlot>> stopping;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping.swap(slots_);
  }
  for (auto& entry : stopping) {
    StopSlotInternal(entry.second.get());
  }
}

size_t UinputPadBackend::MountedCount() {
  std::lock_guard<std::mutex> lock(mutex_);
  return slots_.size();
}

bool UinputPadBackend::SubmitFrame(KorvaneBridgeVirtualControllerFrame* frame) {
  if (!KORVANE_BRIDGE_IS_VIRTUAL_CONTROLLER_FRAME(frame)) {
    return false;
  }
  const FrameControls controls = ReadFrameControls(frame);
  // Held through the write so that an unmount cannot close the descriptor
  // in the middle of a report.
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = slots_.find(controls.player_number);
  if (found == slots_.end() || found->second->fd < 0) {
    return false;
  }
  const MountedSlot& slot = *found->second;
  const GamepadReport report = TranslateControls(controls, slot.layout);
  return WriteBatch(kernel_, slot.fd, report.events.data(), report.count);
}

void UinputPadBackend::StopSlotInternal(MountedSlot* slot) {
  if (slot == nullptr) {
    return;
  }
  slot->stop_requested.store(true, std::memory_order_release);
  // The worker reads from the descriptor, so it must be gone before the
  // descriptor is closed and its number can be reused.
  if (slot->ff_thread.joinable()) {
    slot->ff_thread.join();
  }
  DestroyDevice(kernel_, slot->fd);
}

bool UinputPadBackend::StartForceFeedbackWorker(MountedSlot* slot) {
  if (slot == nullptr || slot->fd < 0) {
    return false;
  }
  slot->stop_requested.store(false, std::memory_order_release);
  // std::thread reports a refused thread (process or memory limits) only by
  // throwing; it is turned into a failed mount here.
  try {
    slot->ff_thread = std::thread([this, slot] {
      RunForceFeedbackWorker(kernel_, *slot, rumble_callback_);
    });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

}  // namespace korvane_bridge
