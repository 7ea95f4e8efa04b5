#ifndef LINUX_RUNNER_INPUT_DRIVER_READINESS_H_
#define LINUX_RUNNER_INPUT_DRIVER_READINESS_H_

// Whether /dev/uinput is usable, and the one privileged repair that makes it
// so. They need nothing but the kernel calls, so a worker that runs the
// repair holds no object that its owner could destroy under it.

#include "input/kernel_calls.h"
#include "pigeon/korvane_bridge_records.h"

namespace korvane_bridge {

KorvaneBridgeNativeDriverReadiness CheckUinputReadiness(KernelCalls& kernel);

// Blocks while the user answers the administrator prompt; never call it on
// the main thread. True when /dev/uinput is usable on return.
bool SetupOrRepairUinputInteractive(KernelCalls& kernel);

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_INPUT_DRIVER_READINESS_H_
