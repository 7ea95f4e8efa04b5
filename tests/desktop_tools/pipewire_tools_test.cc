// Volume and mute through the real wpctl on a private PipeWire session.

#include <gtest/gtest.h>
#include <linux/input.h>

#include <memory>

#include "deck_telemetry_calls.h"
#include "private_desktop.h"

namespace desktop_testing {
namespace {

class PipeWireToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pipewire_.ready());
    tools_.Observe("wpctl");
    harness_ = std::make_unique<host_testing::HostBridgeHarness>();
  }

  // Right after a poll has read the volume, so that what the snapshot shows
  // comes from the action's own read-back.
  Telemetry ActAfterPoll(KorvaneBridgeNativeDeckActionType action) {
    EXPECT_TRUE(tools_.AwaitNextRun("wpctl get-volume"));
    EXPECT_TRUE(Deck(*harness_, action));
    return Snapshot(*harness_);
  }

  // pactl hidden: every change has to come through wpctl.
  ToolPath tools_{{"pactl", "playerctl"}};
  PrivatePipeWire pipewire_;
  std::unique_ptr<host_testing::HostBridgeHarness> harness_;
};

TEST_F(PipeWireToolsTest, VolumeStepsOfFivePercentUpToTheLimitAndMute) {
  ASSERT_TRUE(pipewire_.SetVolume("0.50"));
  Telemetry t;
  ASSERT_TRUE(WaitForSnapshot(
      *harness_, [](const Telemetry& s) { return s.volume == 50; }, &t))
      << t;

  t = ActAfterPoll(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_UP);
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

  for (uint16_t key : {KEY_VOLUMEUP, KEY_VOLUMEDOWN, KEY_MUTE}) {
    EXPECT_FALSE(KeyPressed(harness_->kernel_, key)) << key;
  }
}

}  // namespace
}  // namespace desktop_testing
