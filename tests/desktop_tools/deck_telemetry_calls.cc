#include "deck_telemetry_calls.h"

#include <gtest/gtest.h>
#include <linux/input.h>

#include <optional>
#include <thread>

#include "pigeon/korvane_bridge_codec.h"

namespace desktop_testing {

using host_testing::System;

std::ostream& operator<<(std::ostream& out, const Telemetry& t) {
  return out << "{media " << t.has_active_media << ", playing " << t.is_playing
             << ", \"" << t.title << "\", \"" << t.artist << "\", \"" << t.album
             << "\", \"" << t.source << "\", volume " << t.volume << ", muted "
             << t.muted << "}";
}

Telemetry Snapshot(host_testing::HostBridgeHarness& harness) {
  g_autoptr(FlValue) value = harness.Call(System("getSystemTelemetrySnapshot"));
  if (fl_value_get_type(value) != FL_VALUE_TYPE_CUSTOM) {
    ADD_FAILURE() << "the snapshot reply holds no record";
    return {};
  }
  auto* s = KORVANE_BRIDGE_NATIVE_SYSTEM_TELEMETRY_SNAPSHOT(
      fl_value_get_custom_value_object(value));
// clang-format off
#define GET(field) korvane_bridge_native_system_telemetry_snapshot_get_##field(s)
  return {GET(has_active_media) != FALSE, GET(is_playing) != FALSE,
          GET(track_title),  GET(artist_name),     GET(album_name),
          GET(source_app_name), GET(volume_percent), GET(is_muted) != FALSE};
#undef GET
  // clang-format on
}

bool WaitForSnapshot(host_testing::HostBridgeHarness& harness,
                     const std::function<bool(const Telemetry&)>& wanted,
                     Telemetry* last) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!wanted(*last = Snapshot(harness))) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

bool Deck(host_testing::HostBridgeHarness& harness,
          KorvaneBridgeNativeDeckActionType action) {
  std::optional<host_testing::Bytes> reply = harness.dart_.Call(
      System("triggerDeckAction"), host_testing::DeckPress(action),
      std::chrono::seconds(10));
  if (!reply) {
    ADD_FAILURE() << "no reply to deck action " << action;
    return false;
  }
  g_autoptr(FlValue) value = host_testing::Element(*reply);
  return fl_value_get_type(value) == FL_VALUE_TYPE_BOOL &&
         fl_value_get_bool(value);
}

bool KeyPressed(const input_testing::FakeKernel& kernel, uint16_t key) {
  for (const input_testing::KernelCall& call : kernel.Calls()) {
    for (const input_event& event : call.events) {
      if (call.kind == input_testing::KernelCall::Kind::kWrite &&
          event.type == EV_KEY && event.code == key && event.value == 1) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace desktop_testing
