// Scripted stand-ins for what the real tools cannot be made to do on demand:
// hang, or print the odd text that other versions and setups print.

#include <gtest/gtest.h>
#include <linux/input.h>

#include <fstream>
#include <memory>

#include "deck_telemetry_calls.h"
#include "private_desktop.h"

namespace desktop_testing {
namespace {

using flutter_testing::InProcessDart;
using host_testing::System;

class ScriptedToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    harness_ = std::make_unique<host_testing::HostBridgeHarness>();
  }

  // No real tool at all; each test scripts the ones it needs.
  ToolPath tools_{{"playerctl", "wpctl", "pactl"}};
  std::unique_ptr<host_testing::HostBridgeHarness> harness_;
};

// Ended, or ended and not yet reaped by whoever adopted it.
bool Gone(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string pid_field, name, state;
  return !(stat >> pid_field >> name >> state) || state == "Z";
}

TEST_F(ScriptedToolsTest, AHangingToolIsCutOffWhileTheHostKeepsAnswering) {
  // The hang is a child of the script, so only killing the whole process
  // group ends it.
  g_autofree gchar* hang = g_strdup_printf(
      "'%s' 60 &\n"
      "echo \"$! $1\" >> '%s'\n"
      "wait",
      RealTool("sleep").c_str(), tools_.File("hangs").c_str());
  tools_.Script("playerctl", hang);
  auto reply = harness_->dart_.Send(
      System("triggerDeckAction"),
      host_testing::DeckPress(
          KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_MEDIA_PLAY_PAUSE));

  Snapshot(*harness_);
  EXPECT_FALSE(reply->answered) << "the snapshot waited for the deck action";
  ASSERT_TRUE(InProcessDart::RunUntil([&] { return reply->answered; },
                                      std::chrono::seconds(15)));
  g_autoptr(FlValue) value = host_testing::Element(reply->bytes);
  EXPECT_TRUE(fl_value_get_type(value) == FL_VALUE_TYPE_BOOL &&
              fl_value_get_bool(value));
  EXPECT_TRUE(KeyPressed(harness_->kernel_, KEY_PLAYPAUSE));

  std::ifstream hangs(tools_.File("hangs"));
  pid_t pid = 0;
  std::string command;
  while (hangs >> pid >> command && command != "play-pause") {
  }
  ASSERT_EQ(command, "play-pause");
  EXPECT_TRUE(InProcessDart::RunUntil([&] { return Gone(pid); }));

  // Afterwards the deck takes the next action and telemetry still answers.
  EXPECT_TRUE(Deck(*harness_, KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CHORD_F5));
  Snapshot(*harness_);
}

TEST_F(ScriptedToolsTest, PactlVolumeWithoutPercentReadsAsZero) {
  auto script = [&](const char* percent, const char* mute) {
    g_autofree gchar* body = g_strdup_printf(
        "case \"$1\" in\n"
        "get-sink-volume) echo 'Volume: front-left: 42598 /%s / -11.23 dB';;\n"
        "get-sink-mute) echo 'Mute: %s';;\n"
        "esac",
        percent, mute);
    tools_.Script("pactl", body);
  };
  Telemetry t;
  script("  65%", "no");
  ASSERT_TRUE(WaitForSnapshot(
      *harness_, [](const Telemetry& s) { return s.volume == 65; }, &t))
      << t;
  EXPECT_FALSE(t.muted);

  // Not the cached 65: the reading starts again from 0.
  script("", "yes");
  ASSERT_TRUE(WaitForSnapshot(
      *harness_, [](const Telemetry& s) { return s.muted; }, &t))
      << t;
  EXPECT_EQ(t.volume, 0);
}

}  // namespace
}  // namespace desktop_testing
