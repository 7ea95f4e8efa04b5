// Volume and mute through the real wpctl on a private PipeWire session, and
// through the real pactl on a private PulseAudio server as on a desktop
// without PipeWire, where wpctl is not installed; a pactl stand-in for the
// odd text that other versions print. Without any sound tool the buttons
// type their keys: ProgramInGuestTest.DeckButtonsTypeTheirKeysInOrder.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <type_traits>

#include "desktop_host.h"
#include "private_desktop.h"

namespace desktop_testing {
namespace {

constexpr auto kUp = KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_UP;
constexpr auto kDown = KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_DOWN;
constexpr auto kMute =
    KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_MUTE_TOGGLE;

// Every change has to come through the server's own tool: the other one is
// hidden, and so is playerctl.
template <typename Server>
class AudioToolsTest : public ::testing::Test, protected DesktopHost {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.ready()); }

  // What the cache shows after the button, which refreshes it.
  Audio After(KorvaneBridgeNativeDeckActionType action) {
    EXPECT_TRUE(Deck(action)) << action;
    return Cached().second;
  }

  void TearDown() override {
    EXPECT_TRUE(kernel_.Calls().empty()) << "a key was typed as well";
  }

  ToolPath tools_{{std::is_same_v<Server, PrivatePipeWire> ? "pactl" : "wpctl",
                   "playerctl"}};
  Server server_;
};

using PipeWireToolsTest = AudioToolsTest<PrivatePipeWire>;
using PulseAudioToolsTest = AudioToolsTest<PrivatePulseAudio>;

TEST_F(PipeWireToolsTest, VolumeStepsOfFivePercentUpToTheLimitAndMute) {
  ASSERT_TRUE(server_.SetVolume("0.50"));
  EXPECT_EQ(After(kUp), Audio(55, false));
  EXPECT_EQ(server_.Volume(), "Volume: 0.55");
  EXPECT_EQ(After(kDown), Audio(50, false));
  EXPECT_EQ(server_.Volume(), "Volume: 0.50");

  // Raising stops at 100 %, even from 97 % and when pressed again.
  ASSERT_TRUE(server_.SetVolume("0.97"));
  EXPECT_EQ(After(kUp), Audio(100, false));
  EXPECT_EQ(After(kUp), Audio(100, false));
  EXPECT_EQ(server_.Volume(), "Volume: 1.00");

  ASSERT_TRUE(server_.SetVolume("0.40"));
  EXPECT_EQ(After(kMute), Audio(40, true));
  EXPECT_EQ(server_.Volume(), "Volume: 0.40 [MUTED]");
  EXPECT_EQ(After(kMute), Audio(40, false));
  EXPECT_EQ(server_.Volume(), "Volume: 0.40");
}

// A step up through pactl is ProgramE2eTest's.
TEST_F(PulseAudioToolsTest, VolumeDownAndMuteThroughPactl) {
  ASSERT_TRUE(server_.SetVolume("50%"));
  EXPECT_EQ(After(kDown), Audio(45, false));
  EXPECT_THAT(server_.Volume(), ::testing::HasSubstr("/  45% /"));
  EXPECT_EQ(After(kMute), Audio(45, true));
  EXPECT_EQ(server_.Mute(), "Mute: yes");
  EXPECT_EQ(After(kMute), Audio(45, false));
  EXPECT_EQ(server_.Mute(), "Mute: no");
}

class ScriptedPactlTest : public ::testing::Test, protected DesktopHost {
 protected:
  Audio Read(const std::string& percent, const std::string& mute) {
    tools_.Script("pactl",
                  "case \"$1\" in\n"
                  "get-sink-volume) echo 'Volume: front-left: 42598 /" +
                      percent + " / -11.23 dB';;\nget-sink-mute) echo 'Mute: " +
                      mute + "';;\nesac");
    telemetry_.RefreshAudioAndCpuSnapshotNow();
    return Cached().second;
  }

  ToolPath tools_{{"playerctl", "wpctl", "pactl"}};
};

TEST_F(ScriptedPactlTest, AVolumeWithoutPercentReadsAsZero) {
  EXPECT_EQ(Read("  65%", "no"), Audio(65, false));
  // Not the cached 65: the reading starts again from 0.
  EXPECT_EQ(Read("", "yes"), Audio(0, true));
}

}  // namespace
}  // namespace desktop_testing
