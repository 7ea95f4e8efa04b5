// Volume and mute through the real wpctl on a private PipeWire session, and
// through the real pactl on a private PulseAudio server as on a desktop
// without PipeWire, where wpctl is not installed; a pactl stand-in for the
// odd text that other versions print. Without any sound tool the buttons
// type their keys: ProgramInGuestTest.DeckButtonsTypeTheirKeysInOrder.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "desktop_host.h"
#include "private_desktop.h"

namespace desktop_testing {
namespace {

constexpr auto kUp = KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_UP;
constexpr auto kDown = KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_DOWN;
constexpr auto kMute =
    KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_MUTE_TOGGLE;

// Every change has to come through one tool: the other is hidden, and so is
// playerctl.
class AudioToolsTest : public ::testing::Test, protected DesktopHost {
 protected:
  explicit AudioToolsTest(const char* hidden) : tools_({hidden, "playerctl"}) {}

  // What the cache shows after the button, which refreshes it.
  Audio After(KorvaneBridgeNativeDeckActionType action) {
    EXPECT_TRUE(Deck(action)) << action;
    return Cached().second;
  }

  void TearDown() override {
    EXPECT_TRUE(kernel_.Calls().empty()) << "a key was typed as well";
  }

  ToolPath tools_;
};

class PipeWireToolsTest : public AudioToolsTest {
 protected:
  PipeWireToolsTest() : AudioToolsTest("pactl") {}
  void SetUp() override { ASSERT_TRUE(pipewire_.ready()); }
  PrivatePipeWire pipewire_;
};

TEST_F(PipeWireToolsTest, VolumeStepsOfFivePercentUpToTheLimitAndMute) {
  ASSERT_TRUE(pipewire_.SetVolume("0.50"));
  EXPECT_EQ(After(kUp), Audio(55, false));
  EXPECT_EQ(pipewire_.Volume(), "Volume: 0.55");
  EXPECT_EQ(After(kDown), Audio(50, false));
  EXPECT_EQ(pipewire_.Volume(), "Volume: 0.50");

  // Raising stops at 100 %, even from 97 % and when pressed again.
  ASSERT_TRUE(pipewire_.SetVolume("0.97"));
  EXPECT_EQ(After(kUp), Audio(100, false));
  EXPECT_EQ(After(kUp), Audio(100, false));
  EXPECT_EQ(pipewire_.Volume(), "Volume: 1.00");

  ASSERT_TRUE(pipewire_.SetVolume("0.40"));
  EXPECT_EQ(After(kMute), Audio(40, true));
  EXPECT_EQ(pipewire_.Volume(), "Volume: 0.40 [MUTED]");
  EXPECT_EQ(After(kMute), Audio(40, false));
  EXPECT_EQ(pipewire_.Volume(), "Volume: 0.40");
}

class PulseAudioToolsTest : public AudioToolsTest {
 protected:
  PulseAudioToolsTest() : AudioToolsTest("wpctl") {}
  void SetUp() override { ASSERT_TRUE(pulseaudio_.ready()); }
  PrivatePulseAudio pulseaudio_;
};

// A step up through pactl is ProgramE2eTest's.
TEST_F(PulseAudioToolsTest, VolumeDownAndMuteThroughPactl) {
  ASSERT_TRUE(pulseaudio_.SetVolume("50%"));
  EXPECT_EQ(After(kDown), Audio(45, false));
  EXPECT_THAT(pulseaudio_.Volume(), ::testing::HasSubstr("/  45% /"));
  EXPECT_EQ(After(kMute), Audio(45, true));
  EXPECT_EQ(pulseaudio_.Mute(), "Mute: yes");
  EXPECT_EQ(After(kMute), Audio(45, false));
  EXPECT_EQ(pulseaudio_.Mute(), "Mute: no");
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
