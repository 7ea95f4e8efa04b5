// Volume and mute through the real wpctl on a private PipeWire session, and
// through the real pactl on a private PulseAudio server as on a desktop
// without PipeWire, where wpctl is not installed.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/input.h>

#include <memory>

#include "deck_telemetry_calls.h"
#include "private_desktop.h"

namespace desktop_testing {
namespace {

// Every change has to come through `tool`: the other sound tool is hidden.
class AudioToolsTest : public ::testing::Test {
 protected:
  AudioToolsTest(const char* tool, const char* hidden, const char* last_read)
      : tools_({hidden, "playerctl"}), last_read_(last_read) {
    tools_.Observe(tool);
  }

  // The bridge starts once the sound server is up, and goes before the
  // server's fixture puts the environment back.
  virtual bool ServerReady() const = 0;
  void SetUp() override {
    ASSERT_TRUE(ServerReady());
    harness_ = std::make_unique<host_testing::HostBridgeHarness>();
  }
  void TearDown() override { harness_.reset(); }

  // Right after a poll has read the volume (`last_read` is its last tool),
  // so that what the snapshot shows comes from the action's own read-back.
  Telemetry ActAfterPoll(KorvaneBridgeNativeDeckActionType action) {
    EXPECT_TRUE(tools_.AwaitNextRun(last_read_));
    EXPECT_TRUE(Deck(*harness_, action));
    return Snapshot(*harness_);
  }

  Telemetry WaitForVolume(int64_t volume) {
    Telemetry t;
    EXPECT_TRUE(WaitForSnapshot(
        *harness_, [&](const Telemetry& s) { return s.volume == volume; }, &t))
        << t;
    return t;
  }

  void ExpectNoKeyTyped() {
    for (uint16_t key : {KEY_VOLUMEUP, KEY_VOLUMEDOWN, KEY_MUTE}) {
      EXPECT_FALSE(KeyPressed(harness_->kernel_, key)) << key;
    }
  }

  ToolPath tools_;
  const char* last_read_;
  std::unique_ptr<host_testing::HostBridgeHarness> harness_;
};

class PipeWireToolsTest : public AudioToolsTest {
 protected:
  PipeWireToolsTest() : AudioToolsTest("wpctl", "pactl", "wpctl get-volume") {}
  bool ServerReady() const override { return pipewire_.ready(); }
  PrivatePipeWire pipewire_;
};

TEST_F(PipeWireToolsTest, VolumeStepsOfFivePercentUpToTheLimitAndMute) {
  ASSERT_TRUE(pipewire_.SetVolume("0.50"));
  WaitForVolume(50);
  Telemetry t = ActAfterPoll(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_UP);
  EXPECT_EQ(t.volume, 55) << t;
  EXPECT_EQ(pipewire_.Volume(), "Volume: 0.55");
  t = ActAfterPoll(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_DOWN);
  EXPECT_EQ(t.volume, 50) << t;
  EXPECT_EQ(pipewire_.Volume(), "Volume: 0.50");

  // Raising stops at 100 %, even from 97 % and when pressed again.
  ASSERT_TRUE(pipewire_.SetVolume("0.97"));
  t = ActAfterPoll(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_UP);
  EXPECT_EQ(t.volume, 100) << t;
  EXPECT_TRUE(
      Deck(*harness_, KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_UP));
  EXPECT_EQ(pipewire_.Volume(), "Volume: 1.00");

  ASSERT_TRUE(pipewire_.SetVolume("0.40"));
  t = ActAfterPoll(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_MUTE_TOGGLE);
  EXPECT_TRUE(t.muted) << t;
  EXPECT_EQ(t.volume, 40) << t;
  EXPECT_EQ(pipewire_.Volume(), "Volume: 0.40 [MUTED]");
  t = ActAfterPoll(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_MUTE_TOGGLE);
  EXPECT_FALSE(t.muted) << t;
  EXPECT_EQ(pipewire_.Volume(), "Volume: 0.40");
  ExpectNoKeyTyped();
}

class PulseAudioToolsTest : public AudioToolsTest {
 protected:
  PulseAudioToolsTest()
      : AudioToolsTest("pactl", "wpctl", "pactl get-sink-mute") {}
  bool ServerReady() const override { return pulseaudio_.ready(); }
  PrivatePulseAudio pulseaudio_;
};

// A step up through pactl is ProgramE2eTest's.
TEST_F(PulseAudioToolsTest, VolumeDownAndMuteThroughPactl) {
  ASSERT_TRUE(pulseaudio_.SetVolume("50%"));
  EXPECT_FALSE(WaitForVolume(50).muted);
  Telemetry t =
      ActAfterPoll(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_DOWN);
  EXPECT_EQ(t.volume, 45) << t;
  EXPECT_THAT(pulseaudio_.Volume(), ::testing::HasSubstr("/  45% /"));

  t = ActAfterPoll(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_MUTE_TOGGLE);
  EXPECT_TRUE(t.muted) << t;
  EXPECT_EQ(pulseaudio_.Mute(), "Mute: yes");
  t = ActAfterPoll(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_MUTE_TOGGLE);
  EXPECT_FALSE(t.muted) << t;
  EXPECT_EQ(pulseaudio_.Mute(), "Mute: no");
  ExpectNoKeyTyped();
}

}  // namespace
}  // namespace desktop_testing
