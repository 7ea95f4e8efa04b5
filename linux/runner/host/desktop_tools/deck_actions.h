#ifndef LINUX_RUNNER_HOST_DESKTOP_TOOLS_DECK_ACTIONS_H_
#define LINUX_RUNNER_HOST_DESKTOP_TOOLS_DECK_ACTIONS_H_

// What a macro deck button does on the desktop: a media or volume command
// through the desktop's tools, falling back to the matching multimedia key,
// or a key chord typed on the virtual macro keyboard.

#include <stdint.h>

#include <string>

#include "host/desktop_tools/system_telemetry.h"
#include "input/uinput_pad_backend.h"
#include "pigeon/korvane_bridge_records.h"

namespace korvane_bridge {

// True when the action was carried out: its command exited with status 0,
// or its chord was written whole. Blocks while tools run and keys are held;
// volume and media actions refresh `telemetry` before they return.
bool ExecuteLinuxDeckAction(KorvaneBridgeNativeDeckActionRequest* request,
                            UinputPadBackend& backend,
                            SystemTelemetry& telemetry);

// The evdev code of a custom key name (letters, digits, F1..F12 and a few
// named keys, in any case), or 0 when the name is not one of them.
uint16_t MapCustomKeyStringToLinuxKey(const std::string& key);

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_DESKTOP_TOOLS_DECK_ACTIONS_H_
