#ifndef TESTS_DESKTOP_TOOLS_DESKTOP_HOST_H_
#define TESTS_DESKTOP_TOOLS_DESKTOP_HOST_H_

// The host's desktop side on the calling thread: deck presses and the
// telemetry cache, without the bridge's threads, so that nothing reads the
// tools between a test's steps. Through the bridge and its threads the
// same tools are ProgramE2eTest's.

#include <glib-object.h>

#include <string>
#include <tuple>
#include <utility>

#include "fake_kernel.h"
#include "host/desktop_tools/deck_actions.h"

namespace desktop_testing {

// Has media, is playing, title, artist, album, player.
using Media =
    std::tuple<bool, bool, std::string, std::string, std::string, std::string>;
// Volume, muted.
using Audio = std::pair<int64_t, bool>;

class DesktopHost {
 protected:
  // The button's result; volume and media buttons refresh the cache.
  bool Deck(KorvaneBridgeNativeDeckActionType action) {
    g_autoptr(KorvaneBridgeNativeDeckActionRequest) request =
        korvane_bridge_native_deck_action_request_new(
            "button", action, nullptr, false, false, false, false);
    return korvane_bridge::ExecuteLinuxDeckAction(request, backend_,
                                                  telemetry_);
  }

  // What the cache holds now.
  std::pair<Media, Audio> Cached() {
    g_autoptr(KorvaneBridgeNativeSystemTelemetrySnapshot) s =
        telemetry_.BuildSnapshot();
#define GET(field) \
  korvane_bridge_native_system_telemetry_snapshot_get_##field(s)
    return {{GET(has_active_media) != FALSE, GET(is_playing) != FALSE,
             GET(track_title), GET(artist_name), GET(album_name),
             GET(source_app_name)},
            {GET(volume_percent), GET(is_muted) != FALSE}};
#undef GET
  }

  input_testing::FakeKernel kernel_;
  korvane_bridge::UinputPadBackend backend_{nullptr, kernel_};
  korvane_bridge::SystemTelemetry telemetry_;
};

}  // namespace desktop_testing

#endif  // TESTS_DESKTOP_TOOLS_DESKTOP_HOST_H_
