#include "force_feedback_worker.h"

#include <linux/uinput.h>

#include "uinput_device.h"

namespace korvane_bridge {

namespace {

// Magnitudes are 0..65535; the Dart side wants 0..255.
constexpr int64_t kMagnitudePerIntensity = 257;

bool StopRequested(const MountedSlot& slot) {
  return slot.stop_requested.load(std::memory_order_acquire);
}

void Report(const RumbleCallback& rumble,
            const MountedSlot& slot,
            int64_t strong,
            int64_t weak) {
  if (rumble) {
    rumble(slot.player_number, strong, weak);
  }
}

// Every upload is accepted, also of effects other than rumble, so that games
// which probe with other effect types do not give up on the device; only
// rumble strengths are kept.
void AnswerUpload(KernelCalls& kernel, MountedSlot& slot, int32_t request_id) {
  uinput_ff_upload upload = Zeroed<uinput_ff_upload>();
  upload.request_id = static_cast<uint32_t>(request_id);
  if (kernel.IoctlPointer(slot.fd, UI_BEGIN_FF_UPLOAD, &upload) < 0) {
    return;
  }
  if (upload.effect.type == FF_RUMBLE) {
    slot.effects[upload.effect.id] = {upload.effect.u.rumble.strong_magnitude,
                                      upload.effect.u.rumble.weak_magnitude};
  }
  upload.retval = 0;
  kernel.IoctlPointer(slot.fd, UI_END_FF_UPLOAD, &upload);
}

void AnswerErase(KernelCalls& kernel, MountedSlot& slot, int32_t request_id) {
  uinput_ff_erase erase = Zeroed<uinput_ff_erase>();
  erase.request_id = static_cast<uint32_t>(request_id);
  if (kernel.IoctlPointer(slot.fd, UI_BEGIN_FF_ERASE, &erase) < 0) {
    return;
  }
  slot.effects.erase(static_cast<int32_t>(erase.effect_id));
  erase.retval = 0;
  kernel.IoctlPointer(slot.fd, UI_END_FF_ERASE, &erase);
}

// A play reports the effect's own strengths and a stop reports zero, even
// while another effect still plays: the handheld has one pair of motors and
// follows the latest command.
void ReportPlayback(const MountedSlot& slot,
                    const RumbleCallback& rumble,
                    uint16_t effect_id,
                    int32_t value) {
  const auto effect = slot.effects.find(effect_id);
  if (value < 1 || effect == slot.effects.end()) {
    Report(rumble, slot, 0, 0);
    return;
  }
  Report(rumble, slot, effect->second.strong_magnitude / kMagnitudePerIntensity,
         effect->second.weak_magnitude / kMagnitudePerIntensity);
}

void HandleEvent(KernelCalls& kernel,
                 MountedSlot& slot,
                 const RumbleCallback& rumble,
                 const input_event& event) {
  if (event.type == EV_UINPUT && event.code == UI_FF_UPLOAD) {
    AnswerUpload(kernel, slot, event.value);
  } else if (event.type == EV_UINPUT && event.code == UI_FF_ERASE) {
    AnswerErase(kernel, slot, event.value);
  } else if (event.type == EV_FF && event.code < FF_GAIN) {
    ReportPlayback(slot, rumble, event.code, event.value);
  }
  // Gain and auto-centre requests and anything else have no effect.
}

}  // namespace

void RunForceFeedbackWorker(KernelCalls& kernel,
                            MountedSlot& slot,
                            const RumbleCallback& rumble) {
  pollfd watch = {slot.fd, POLLIN, 0};
  while (!StopRequested(slot)) {
    watch.revents = 0;
    if (kernel.Poll(&watch, 1, kForceFeedbackPollMs) < 1 ||
        (watch.revents & POLLIN) == 0) {
      continue;
    }
    // The stop flag is checked between events too: a game that never stops
    // sending must not be able to keep the gamepad from being unmounted.
    input_event event;
    while (!StopRequested(slot) &&
           kernel.Read(slot.fd, &event, sizeof(event)) ==
               static_cast<ssize_t>(sizeof(event))) {
      HandleEvent(kernel, slot, rumble, event);
    }
  }
}

}  // namespace korvane_bridge
