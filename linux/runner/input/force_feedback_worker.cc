#include "input/force_feedback_worker.h"

#include <linux/uinput.h>

#include <algorithm>
#include <chrono>
#include <optional>

#include "input/uinput_device.h"

namespace korvane_bridge {

namespace {

using Clock = std::chrono::steady_clock;

// Magnitudes are 0..65535; the Dart side wants 0..255.
constexpr int64_t kMagnitudePerIntensity = 257;

bool StopRequested(const MountedSlot& slot) {
  return slot.stop_requested.load(std::memory_order_acquire);
}

// What the handheld is told. It has one pair of motors, so it follows the
// latest play of any effect, and a stop of any effect silences it. The play
// keeps its own copy of the strengths and of its start and end: a later play,
// a stop, or the erase of its effect supersedes it, so its timer can never
// silence a newer play. An upload changes only what the next play of that
// effect reports; were it to drop the pending end, an effect updated while it
// plays would rumble for ever.
class PadRumble {
 public:
  PadRumble(const MountedSlot& slot, const RumbleCallback& rumble)
      : slot_(slot), rumble_(rumble) {}

  // Every play and every stop is reported (a delayed play once its delay
  // has passed), also when the values equal the previous ones.
  void Command(int32_t effect_id, int32_t value, Clock::time_point now) {
    const auto effect = slot_.effects.find(effect_id);
    if (value < 1 || effect == slot_.effects.end()) {
      play_.reset();
      Report(0, 0);
      return;
    }
    const FfEffectSlot& stored = effect->second;
    const Clock::time_point start =
        now + std::chrono::milliseconds(stored.delay_ms);
    play_ = Play{effect_id, stored.strong_magnitude / kMagnitudePerIntensity,
                 stored.weak_magnitude / kMagnitudePerIntensity, std::nullopt,
                 std::nullopt};
    if (stored.length_ms > 0) {
      play_->end = start + std::chrono::milliseconds(stored.length_ms);
    }
    if (stored.delay_ms > 0) {
      play_->start = start;
      // Until then the previous play is superseded and nothing plays.
      Silence();
    } else {
      Report(play_->strong, play_->weak);
    }
  }

  // The kernel stops an effect before it erases it, so this matters only
  // if that stop was lost.
  void Erased(int32_t effect_id) {
    if (play_ && play_->effect_id == effect_id) {
      play_.reset();
      Silence();
    }
  }

  void ReportDue(Clock::time_point now) {
    if (play_ && play_->start && *play_->start <= now) {
      play_->start.reset();
      Report(play_->strong, play_->weak);
    }
    if (play_ && play_->end && *play_->end <= now) {
      play_.reset();
      Silence();
    }
  }

  // How long the worker may wait for the kernel before a report falls due.
  int WaitMs(Clock::time_point now) const {
    std::optional<Clock::time_point> next;
    if (play_) {
      next = play_->start ? play_->start : play_->end;
    }
    if (!next) {
      return kForceFeedbackPollMs;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*next - now);
    return static_cast<int>(
        std::clamp<int64_t>(left.count(), 0, kForceFeedbackPollMs));
  }

  // Zero only for a pad that rumbles: without it the handheld would rumble
  // on past an end or after its pad went away; a silent one needs no word.
  void Silence() {
    if (rumbling_) {
      Report(0, 0);
    }
  }

 private:
  struct Play {
    int32_t effect_id;
    int64_t strong;
    int64_t weak;
    // Reports still to come.
    std::optional<Clock::time_point> start;
    std::optional<Clock::time_point> end;
  };

  void Report(int64_t strong, int64_t weak) {
    rumbling_ = strong != 0 || weak != 0;
    if (rumble_) {
      rumble_(slot_.player_number, strong, weak);
    }
  }

  const MountedSlot& slot_;
  const RumbleCallback& rumble_;
  std::optional<Play> play_;
  bool rumbling_ = false;
};

// Every upload is accepted, also of effects other than rumble, so that games
// which probe with other effect types do not give up on the device; only
// rumble effects are kept.
void AnswerUpload(KernelCalls& kernel, MountedSlot& slot, int32_t request_id) {
  uinput_ff_upload upload = Zeroed<uinput_ff_upload>();
  upload.request_id = static_cast<uint32_t>(request_id);
  if (kernel.IoctlPointer(slot.fd, UI_BEGIN_FF_UPLOAD, &upload) < 0) {
    return;
  }
  const ff_effect& effect = upload.effect;
  if (effect.type == FF_RUMBLE) {
    slot.effects[effect.id] = {effect.u.rumble.strong_magnitude,
                               effect.u.rumble.weak_magnitude,
                               effect.replay.delay, effect.replay.length};
  }
  upload.retval = 0;
  kernel.IoctlPointer(slot.fd, UI_END_FF_UPLOAD, &upload);
}

void AnswerErase(KernelCalls& kernel,
                 MountedSlot& slot,
                 PadRumble& pad,
                 int32_t request_id) {
  uinput_ff_erase erase = Zeroed<uinput_ff_erase>();
  erase.request_id = static_cast<uint32_t>(request_id);
  if (kernel.IoctlPointer(slot.fd, UI_BEGIN_FF_ERASE, &erase) < 0) {
    return;
  }
  const auto effect_id = static_cast<int32_t>(erase.effect_id);
  slot.effects.erase(effect_id);
  pad.Erased(effect_id);
  erase.retval = 0;
  kernel.IoctlPointer(slot.fd, UI_END_FF_ERASE, &erase);
}

void HandleEvent(KernelCalls& kernel,
                 MountedSlot& slot,
                 PadRumble& pad,
                 const input_event& event) {
  if (event.type == EV_UINPUT && event.code == UI_FF_UPLOAD) {
    AnswerUpload(kernel, slot, event.value);
  } else if (event.type == EV_UINPUT && event.code == UI_FF_ERASE) {
    AnswerErase(kernel, slot, pad, event.value);
  } else if (event.type == EV_FF && event.code < FF_GAIN) {
    pad.Command(event.code, event.value, Clock::now());
  }
  // Gain and auto-centre requests and anything else have no effect.
}

}  // namespace

void RunForceFeedbackWorker(KernelCalls& kernel,
                            MountedSlot& slot,
                            const RumbleCallback& rumble) {
  PadRumble pad(slot, rumble);
  pollfd watch = {slot.fd, POLLIN, 0};
  while (!StopRequested(slot)) {
    watch.revents = 0;
    const int ready = kernel.Poll(&watch, 1, pad.WaitMs(Clock::now()));
    // Before the new events: they came after what fell due meanwhile.
    pad.ReportDue(Clock::now());
    if (ready < 1 || (watch.revents & POLLIN) == 0) {
      continue;
    }
    // The stop flag is checked between events too: a game that never stops
    // sending must not be able to keep the gamepad from being unmounted.
    input_event event;
    while (!StopRequested(slot) &&
           kernel.Read(slot.fd, &event, sizeof(event)) ==
               static_cast<ssize_t>(sizeof(event))) {
      HandleEvent(kernel, slot, pad, event);
    }
  }
  pad.Silence();
}

}  // namespace korvane_bridge
