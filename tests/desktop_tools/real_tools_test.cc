// Telemetry and deck actions against the real playerctl, wpctl and pactl,
// each with private servers. Through the bridge's threads the same tools are
// ProgramE2eTest's; the keys typed without them ProgramInGuestTest's.

#include <gtest/gtest.h>

#include <tuple>
#include <type_traits>
#include <utility>

#include "fake_kernel.h"
#include "host/desktop_tools/deck_actions.h"
#include "private_desktop.h"

namespace desktop_testing {
namespace {

// Has media, is playing, title, artist, album, player.
using Media =
    std::tuple<bool, bool, std::string, std::string, std::string, std::string>;
// Volume, muted.
using Audio = std::pair<int64_t, bool>;

// The host's desktop side on the calling thread, without the bridge's
// threads, so that nothing reads the tools between a test's steps.
class DesktopHost : public ::testing::Test {
 protected:
  bool Deck(KorvaneBridgeNativeDeckActionType action) {
    g_autoptr(KorvaneBridgeNativeDeckActionRequest) request =
        korvane_bridge_native_deck_action_request_new(
            "button", action, nullptr, false, false, false, false);
    return korvane_bridge::ExecuteLinuxDeckAction(request, backend_,
                                                  telemetry_);
  }

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

  void TearDown() override {
    EXPECT_TRUE(kernel_.Calls().empty()) << "a key was typed as well";
  }

  input_testing::FakeKernel kernel_;
  korvane_bridge::UinputPadBackend backend_{nullptr, kernel_};
  korvane_bridge::SystemTelemetry telemetry_;
};

constexpr char kPlayer[] = "deckplayer";

class MediaToolsTest : public DesktopHost {
 protected:
  Media ReadMedia() {
    telemetry_.ReadLinuxMprisMedia();
    return Cached().first;
  }

  // GLib's private session bus, without service activation: nothing starts
  // on it by surprise. It comes up before PATH hides dbus-daemon.
  struct SessionBus {
    SessionBus() { g_test_dbus_up(bus); }
    ~SessionBus() {
      g_test_dbus_down(bus);
      g_object_unref(bus);
    }
    GTestDBus* bus = g_test_dbus_new(G_TEST_DBUS_NONE);
  } bus_;
  // Hides the audio tools: nothing may reach the machine's sound server.
  ToolPath tools_{{"wpctl", "pactl"}};
};

// The cache follows the player through its own status, the deck's commands
// (which it appends to the album) and its going away.
TEST_F(MediaToolsTest, DeckCommandsReachThePlayerAndTheCacheFollowsIt) {
  {
    TestPlayer player(kPlayer,
                      {"Playing", "  Slow   Song  ", "The Testers", "B Side"});
    ASSERT_TRUE(player.ready());
    // Blanks inside the output stay; only the end of the whole line is
    // trimmed.
    EXPECT_EQ(ReadMedia(), Media(true, true, "  Slow   Song  ", "The Testers",
                                 "B Side", kPlayer));
    constexpr auto kPlayPause =
        KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_MEDIA_PLAY_PAUSE;
    EXPECT_TRUE(Deck(kPlayPause));
    EXPECT_FALSE(std::get<1>(Cached().first)) << "still playing";
    for (auto action :
         {kPlayPause, KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_MEDIA_NEXT,
          KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_MEDIA_PREVIOUS}) {
      EXPECT_TRUE(Deck(action)) << action;
    }
    EXPECT_EQ(Cached().first,
              Media(true, true, "  Slow   Song  ", "The Testers",
                    "B Side PlayPause PlayPause Next Previous", kPlayer));
  }
  EXPECT_EQ(ReadMedia(), Media()) << "no player";
  // A stopped player still has a track, but nothing is playing.
  TestPlayer stopped(kPlayer, {"Stopped", "Interlude", "Quiet Band", "Rests"});
  ASSERT_TRUE(stopped.ready());
  EXPECT_EQ(ReadMedia(), Media());
}

constexpr auto kUp = KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_UP;
constexpr auto kDown = KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_DOWN;
constexpr auto kMute =
    KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_MUTE_TOGGLE;

// As on a desktop with only the server's own tool.
template <typename SoundServer>
class AudioToolsTest : public DesktopHost {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.ready()); }

  Audio After(KorvaneBridgeNativeDeckActionType action) {
    EXPECT_TRUE(Deck(action)) << action;
    return Cached().second;
  }

  ToolPath tools_{
      {std::is_same_v<SoundServer, PrivatePipeWire> ? "pactl" : "wpctl",
       "playerctl"}};
  SoundServer server_;
};

using PipeWireToolsTest = AudioToolsTest<PrivatePipeWire>;
using PulseAudioToolsTest = AudioToolsTest<PrivatePulseAudio>;

TEST_F(PipeWireToolsTest, VolumeStepsOfFivePercentUpToTheLimitAndMute) {
  ASSERT_TRUE(server_.SetVolume("0.50"));
  EXPECT_EQ(After(kUp), Audio(55, false));
  EXPECT_EQ(After(kDown), Audio(50, false));

  // Raising stops at 100 %, even from 97 % and when pressed again: the cache
  // would show 100 for more.
  ASSERT_TRUE(server_.SetVolume("0.97"));
  EXPECT_EQ(After(kUp), Audio(100, false));
  EXPECT_EQ(After(kUp), Audio(100, false));
  EXPECT_EQ(server_.Volume(), "Volume: 1.00");

  ASSERT_TRUE(server_.SetVolume("0.40"));
  EXPECT_EQ(After(kMute), Audio(40, true));
  EXPECT_EQ(After(kMute), Audio(40, false));
}

// A step up through pactl is ProgramE2eTest's.
TEST_F(PulseAudioToolsTest, VolumeDownAndMuteThroughPactl) {
  ASSERT_TRUE(server_.SetVolume("50%"));
  EXPECT_EQ(After(kDown), Audio(45, false));
  EXPECT_EQ(After(kMute), Audio(45, true));
  EXPECT_EQ(After(kMute), Audio(45, false));

  // Odd text that the real pactl cannot be made to print: a volume without
  // a percent reads as 0, not as the cached 45.
  tools_.Script("pactl", "echo 'Volume: front-left: 42598 / / -11.23 dB'");
  telemetry_.RefreshAudioAndCpuSnapshotNow();
  EXPECT_EQ(Cached().second, Audio(0, false));
}

}  // namespace
}  // namespace desktop_testing
