#ifndef TESTS_DESKTOP_TOOLS_DECK_TELEMETRY_CALLS_H_
#define TESTS_DESKTOP_TOOLS_DECK_TELEMETRY_CALLS_H_

// Deck actions and telemetry snapshots through the host bridge's channels,
// as the handheld sends them.

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "host_bridge_harness.h"
#include "pigeon/korvane_bridge_records.h"

namespace desktop_testing {

struct Telemetry {
  bool has_active_media = false;
  bool is_playing = false;
  std::string title, artist, album, source;
  int64_t volume = -1;
  bool muted = false;
};
std::ostream& operator<<(std::ostream& out, const Telemetry& telemetry);

Telemetry Snapshot(host_testing::HostBridgeHarness& harness);

// Asks for snapshots until one satisfies `wanted` (the telemetry thread
// refreshes its cache every 1.5 s or so); the last one ends in `last`.
bool WaitForSnapshot(host_testing::HostBridgeHarness& harness,
                     const std::function<bool(const Telemetry&)>& wanted,
                     Telemetry* last);

// The deck action's reply; a missing reply fails the test and reads false.
bool Deck(host_testing::HostBridgeHarness& harness,
          KorvaneBridgeNativeDeckActionType action);

// Whether a press of `key` was written to any virtual device.
bool KeyPressed(const input_testing::FakeKernel& kernel, uint16_t key);

}  // namespace desktop_testing

#endif  // TESTS_DESKTOP_TOOLS_DECK_TELEMETRY_CALLS_H_
