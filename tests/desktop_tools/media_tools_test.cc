// Media telemetry and media deck actions with the real playerctl and a test
// MPRIS player on a private session bus. Without a player the buttons type
// their keys: ProgramInGuestTest.DeckButtonsTypeTheirKeysInOrder.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "desktop_host.h"
#include "private_desktop.h"

namespace desktop_testing {
namespace {

constexpr char kPlayer[] = "deckplayer";

class MediaToolsTest : public ::testing::Test, protected DesktopHost {
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
// and its going away.
TEST_F(MediaToolsTest, DeckCommandsReachThePlayerAndTheCacheFollowsIt) {
  {
    TestPlayer player(kPlayer,
                      {"Playing", "  Slow   Song  ", "The Testers", "B Side"});
    ASSERT_TRUE(player.ready());
    // Blanks inside the output stay; only the end of the whole line is
    // trimmed.
    EXPECT_EQ(ReadMedia(), Media(true, true, "  Slow   Song  ", "The Testers",
                                 "B Side", kPlayer));
    for (bool playing_after : {false, true}) {
      EXPECT_TRUE(
          Deck(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_MEDIA_PLAY_PAUSE));
      EXPECT_EQ(Cached().first, Media(true, playing_after, "  Slow   Song  ",
                                      "The Testers", "B Side", kPlayer));
    }
    EXPECT_TRUE(Deck(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_MEDIA_NEXT));
    EXPECT_TRUE(Deck(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_MEDIA_PREVIOUS));
    EXPECT_THAT(player.Calls(), ::testing::ElementsAre("PlayPause", "PlayPause",
                                                       "Next", "Previous"));
  }
  EXPECT_EQ(ReadMedia(), Media()) << "no player";
  // A stopped player still has a track, but nothing is playing.
  TestPlayer stopped(kPlayer, {"Stopped", "Interlude", "Quiet Band", "Rests"});
  ASSERT_TRUE(stopped.ready());
  EXPECT_EQ(ReadMedia(), Media());
  EXPECT_TRUE(kernel_.Calls().empty()) << "a key was typed as well";
}

}  // namespace
}  // namespace desktop_testing
