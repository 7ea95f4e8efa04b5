#ifndef TESTS_DESKTOP_TOOLS_DESKTOP_HOST_H_
#define TESTS_DESKTOP_TOOLS_DESKTOP_HOST_H_

// The host's desktop side on the calling thread: deck presses and the
// telemetry cache, without the bridge's threads, so that nothing reads the
// tools between a test's steps. Through the bridge and its threads the
// same tools are ProgramE2eTest's.

#include <glib-object.h>

#include <ostream>
#include <string>
#include <tuple>
#include <utility>

#include "fake_kernel.h"
#include "host/desktop_tools/deck_actions.h"

namespace desktop_testing {

struct Media {
  bool active = false;
  bool playing = false;
  std::string title, artist, album, source;
  bool operator==(const Media& o) const {
    return std::tie(active, playing, title, artist, album, source) ==
           std::tie(o.active, o.playing, o.title, o.artist, o.album, o.source);
  }
};
inline std::ostream& operator<<(std::ostream& out, const Media& m) {
  return out << "{active " << m.active << ", playing " << m.playing << ", \""
             << m.title << "\", \"" << m.artist << "\", \"" << m.album
             << "\", \"" << m.source << "\"}";
}

struct Audio {
  int64_t volume;
  bool muted;
  bool operator==(const Audio& o) const {
    return volume == o.volume && muted == o.muted;
  }
};
inline std::ostream& operator<<(std::ostream& out, const Audio& a) {
  return out << "{volume " << a.volume << ", muted " << a.muted << "}";
}

class DesktopHost {
 protected:
  // The button's result; volume and media buttons refresh the cache.
  bool Deck(KorvaneBridgeNativeDeckActionType action) {
    KorvaneBridgeNativeDeckActionRequest* request =
        korvane_bridge_native_deck_action_request_new("button", action, nullptr,
                                                      false, false, false, false);
    const bool done =
        korvane_bridge::ExecuteLinuxDeckAction(request, backend_, telemetry_);
    g_object_unref(request);
    return done;
  }

  // What the cache holds now.
  std::pair<Media, Audio> Cached() {
    auto* s = telemetry_.BuildSnapshot();
#define GET(field) korvane_bridge_native_system_telemetry_snapshot_get_##field(s)
    std::pair<Media, Audio> cached = {
        {GET(has_active_media) != FALSE, GET(is_playing) != FALSE,
         GET(track_title), GET(artist_name), GET(album_name),
         GET(source_app_name)},
        {GET(volume_percent), GET(is_muted) != FALSE}};
#undef GET
    g_object_unref(s);
    return cached;
  }
  Media CachedMedia() { return Cached().first; }
  Audio CachedAudio() { return Cached().second; }

  input_testing::FakeKernel kernel_;
  korvane_bridge::UinputPadBackend backend_{nullptr, kernel_};
  korvane_bridge::SystemTelemetry telemetry_;
};

}  // namespace desktop_testing

#endif  // TESTS_DESKTOP_TOOLS_DESKTOP_HOST_H_
