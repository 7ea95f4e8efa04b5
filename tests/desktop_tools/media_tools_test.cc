// Media telemetry and media deck actions with the real playerctl and a test
// MPRIS player on a private session bus.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/input.h>

#include <memory>

#include "deck_telemetry_calls.h"
#include "private_desktop.h"

namespace desktop_testing {
namespace {

using ::testing::ElementsAre;

constexpr char kPlayer[] = "deckplayer";

class MediaToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(bus_.ready());
    tools_.Observe("playerctl");
    harness_ = std::make_unique<host_testing::HostBridgeHarness>();
  }

  // Hides the audio tools: the telemetry thread must not reach the
  // machine's sound server.
  ToolPath tools_{{"wpctl", "pactl"}};
  PrivateSessionBus bus_;
  std::unique_ptr<host_testing::HostBridgeHarness> harness_;
};

TEST_F(MediaToolsTest, SnapshotFollowsThePlayer) {
  Telemetry t;
  auto has_media = [](const Telemetry& s) { return s.has_active_media; };
  auto no_media = [](const Telemetry& s) { return !s.has_active_media; };
  {
    // Blanks inside the output stay; only the end of the whole line is
    // trimmed.
    TestPlayer playing(kPlayer,
                       {"Playing", "  Slow   Song  ", "The Testers", "B Side"});
    ASSERT_TRUE(playing.ready());
    ASSERT_TRUE(WaitForSnapshot(*harness_, has_media, &t)) << t;
    EXPECT_TRUE(t.is_playing);
    EXPECT_EQ(t.title, "  Slow   Song  ");
    EXPECT_EQ(t.artist, "The Testers");
    EXPECT_EQ(t.album, "B Side");
    EXPECT_EQ(t.source, kPlayer);
  }

  ASSERT_TRUE(WaitForSnapshot(*harness_, no_media, &t)) << t;
  EXPECT_FALSE(t.is_playing);
  EXPECT_EQ(t.title + t.artist + t.album + t.source, "") << t;

  TestPlayer paused(kPlayer, {"Paused", "Interlude", "Quiet Band", "Rests"});
  ASSERT_TRUE(paused.ready());
  ASSERT_TRUE(WaitForSnapshot(*harness_, has_media, &t)) << t;
  EXPECT_FALSE(t.is_playing);
  EXPECT_EQ(t.title, "Interlude");
  EXPECT_EQ(t.source, kPlayer);
  paused.Quit();

  // A stopped player still has a track, but nothing is playing.
  TestPlayer stopped(kPlayer, {"Stopped", "Interlude", "Quiet Band", "Rests"});
  ASSERT_TRUE(stopped.ready());
  ASSERT_TRUE(WaitForSnapshot(*harness_, no_media, &t)) << t;
  EXPECT_EQ(t.title + t.artist + t.album + t.source, "") << t;
}

TEST_F(MediaToolsTest, DeckCommandsReachThePlayerAndRefreshTheSnapshot) {
  TestPlayer player(kPlayer, {"Playing", "Night Drive", "The Testers", "B"});
  ASSERT_TRUE(player.ready());
  Telemetry t;
  ASSERT_TRUE(WaitForSnapshot(
      *harness_, [](const Telemetry& s) { return s.is_playing; }, &t))
      << t;

  for (bool playing_after : {false, true}) {
    ASSERT_TRUE(tools_.AwaitNextRun("playerctl metadata"));
    EXPECT_TRUE(Deck(*harness_,
                     KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_MEDIA_PLAY_PAUSE));
    // No waiting: the reply comes only after the media state was read anew.
    t = Snapshot(*harness_);
    EXPECT_EQ(t.is_playing, playing_after) << t;
    EXPECT_EQ(t.title, "Night Drive") << t;
  }
  EXPECT_TRUE(
      Deck(*harness_, KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_MEDIA_NEXT));
  EXPECT_TRUE(
      Deck(*harness_, KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_MEDIA_PREVIOUS));

  EXPECT_THAT(player.Calls(),
              ElementsAre("PlayPause", "PlayPause", "Next", "Previous"));
  for (uint16_t key : {KEY_PLAYPAUSE, KEY_NEXTSONG, KEY_PREVIOUSSONG}) {
    EXPECT_FALSE(KeyPressed(harness_->kernel_, key)) << key;
  }
}

TEST_F(MediaToolsTest, WithoutAPlayerTheMediaKeysAreTyped) {
  // playerctl finds no player and fails; the key goes to whatever has the
  // focus instead.
  EXPECT_TRUE(
      Deck(*harness_, KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_MEDIA_PLAY_PAUSE));
  EXPECT_TRUE(
      Deck(*harness_, KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_MEDIA_NEXT));
  EXPECT_TRUE(KeyPressed(harness_->kernel_, KEY_PLAYPAUSE));
  EXPECT_TRUE(KeyPressed(harness_->kernel_, KEY_NEXTSONG));
}

}  // namespace
}  // namespace desktop_testing
