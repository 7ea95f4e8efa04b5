#ifndef LINUX_RUNNER_INPUT_FORCE_FEEDBACK_WORKER_H_
#define LINUX_RUNNER_INPUT_FORCE_FEEDBACK_WORKER_H_

// The body of a gamepad's force-feedback thread: it answers the kernel's
// effect upload and erase requests and reports every play or stop of an
// effect as rumble strengths. No rumble is played on the PC itself.

#include "kernel_calls.h"
#include "mounted_slot.h"

namespace korvane_bridge {

// How long one wait for the kernel lasts, and so how long stopping the worker
// may take beyond the events already queued.
inline constexpr int kForceFeedbackPollMs = 100;

// Runs until the slot's stop_requested is set. Touches only the slot's fd,
// player_number, stop_requested and effects.
void RunForceFeedbackWorker(KernelCalls& kernel,
                            MountedSlot& slot,
                            const RumbleCallback& rumble);

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_INPUT_FORCE_FEEDBACK_WORKER_H_
