#ifndef LINUX_RUNNER_INPUT_FORCE_FEEDBACK_WORKER_H_
#define LINUX_RUNNER_INPUT_FORCE_FEEDBACK_WORKER_H_

// The body of a gamepad's force-feedback thread: it answers the kernel's
// effect upload and erase requests and reports rumble strengths as games
// play and stop effects, honouring each effect's delay and length, so that
// the handheld stops when the effect would have. No rumble is played on the
// PC itself.

#include "input/kernel_calls.h"
#include "input/mounted_slot.h"

namespace korvane_bridge {

// The longest wait for the kernel (shorter when a report falls due sooner),
// and so how long stopping the worker may take beyond the events already
// queued.
inline constexpr int kForceFeedbackPollMs = 100;

// Runs until the slot's stop_requested is set, then reports zero if the pad
// was rumbling. Touches only the slot's fd, player_number, stop_requested and
// effects.
void RunForceFeedbackWorker(KernelCalls& kernel,
                            MountedSlot& slot,
                            const RumbleCallback& rumble);

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_INPUT_FORCE_FEEDBACK_WORKER_H_
