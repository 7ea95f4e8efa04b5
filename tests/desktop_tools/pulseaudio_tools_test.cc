// Volume and mute through the real pactl on a private PulseAudio server, as
// on a desktop without PipeWire: wpctl is not installed.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/input.h>

#include <memory>

#include "deck_telemetry_calls.h"
#include "private_desktop.h"

namespace desktop_testing {
namespace {

using ::testing::HasSubstr;

class PulseAudioToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pulseaudio_.ready());
    tools_.Observe("pactl");
    harness_ = std::make_unique<host_testing::HostBridgeHarness>();
  }

  // The mute query is the last tool of a poll's audio read.
  Telemetry ActAfterPoll(KorvaneBridgeNativeDeckActionType action) {
    EXPECT_TRUE(tools_.AwaitNextRun("pactl get-sink-mute"));
    EXPECT_TRUE(Deck(*harness_, action));
    return Snapshot(*harness_);
  }

  ToolPath tools_{{"wpctl", "playerctl"}};
  PrivatePulseAudio pulseaudio_;
  std::unique_ptr<host_testing::HostBridgeHarness> harness_;
};

TEST_F(PulseAudioToolsTest, VolumeAndMuteThroughPactl) {
  ASSERT_TRUE(pulseaudio_.SetVolume("50%"));
  Telemetry t;
  ASSERT_TRUE(WaitForSnapshot(
      *harness_, [](const Telemetry& s) { return s.volume == 50; }, &t))
      << t;
  EXPECT_FALSE(t.muted);

  t = ActAfterPoll(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_UP);
  EXPECT_EQ(t.volume, 55) << t;
  t = ActAfterPoll(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_DOWN);
  EXPECT_EQ(t.volume, 50) << t;
  EXPECT_THAT(pulseaudio_.Volume(), HasSubstr("/  50% /"));

  t = ActAfterPoll(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_MUTE_TOGGLE);
  EXPECT_TRUE(t.muted) << t;
  EXPECT_EQ(pulseaudio_.Mute(), "Mute: yes");
  t = ActAfterPoll(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_MUTE_TOGGLE);
  EXPECT_FALSE(t.muted) << t;
  EXPECT_EQ(pulseaudio_.Mute(), "Mute: no");

  // PulseAudio's step has no limit; the snapshot reports at most 100.
  ASSERT_TRUE(pulseaudio_.SetVolume("100%"));
  t = ActAfterPoll(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_UP);
  EXPECT_EQ(t.volume, 100) << t;
  EXPECT_THAT(pulseaudio_.Volume(), HasSubstr("/ 105% /"));

  for (uint16_t key : {KEY_VOLUMEUP, KEY_VOLUMEDOWN, KEY_MUTE}) {
    EXPECT_FALSE(KeyPressed(harness_->kernel_, key)) << key;
  }
}

}  // namespace
}  // namespace desktop_testing
