#ifndef LINUX_RUNNER_PIGEON_KORVANE_NATIVE_BRIDGE_G_H_
#define LINUX_RUNNER_PIGEON_KORVANE_NATIVE_BRIDGE_G_H_

// The message bridge between the host and the Dart side: records and
// enumerations, the codec that carries them, the two host APIs that the
// Dart side calls, and the callback API through which the host raises
// events.

#include "korvane_bridge_codec.h"
#include "korvane_bridge_flutter_api.h"
#include "korvane_bridge_host_apis.h"
#include "korvane_bridge_records.h"

#endif  // LINUX_RUNNER_PIGEON_KORVANE_NATIVE_BRIDGE_G_H_
