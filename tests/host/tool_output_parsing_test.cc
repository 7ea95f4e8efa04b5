#include "tool_output_parsing.h"

#include <gtest/gtest.h>

namespace {

using korvane_bridge::MediaMetadata;
using korvane_bridge::ParsePactlVolume;
using korvane_bridge::ParseWpctlVolume;
using korvane_bridge::SplitMediaMetadata;

TEST(ToolOutputParsingTest, PipeWireVolumeLines) {
  const struct {
    const char* output;
    int64_t volume;
    bool muted;
  } cases[] = {
      {"Volume: 0.40 [MUTED]", 40, true},
      {"Volume: 0.005", 1, false},
      {"Volume:    0.5x", 50, false},
      {"Volume: -0.3", 0, false},
      {"Volume: nan", 0, false},
      {"Volume: inf [MUTED]", 100, true},
      {"Volume: 1e300", 100, false},
      {"Volume: none", 0, false},
  };
  for (const auto& c : cases) {
    int64_t volume = -1;
    bool muted = !c.muted;
    EXPECT_TRUE(ParseWpctlVolume(c.output, &volume, &muted)) << c.output;
    EXPECT_EQ(volume, c.volume) << c.output;
    EXPECT_EQ(muted, c.muted) << c.output;
  }
  for (const char* not_a_volume : {"", "Could not connect to PipeWire"}) {
    int64_t volume = 7;
    bool muted = true;
    EXPECT_FALSE(ParseWpctlVolume(not_a_volume, &volume, &muted));
    EXPECT_EQ(volume, 7);
    EXPECT_TRUE(muted);
  }
}

TEST(ToolOutputParsingTest, PulseAudioVolumeLines) {
  const struct {
    const char* output;
    int64_t volume;
  } cases[] = {
      {"Volume: front-left: 42598 /  65% / -11.22 dB,   front-right: 42598 /  "
       "70% / -11.22 dB",
       65},
      {"Volume: front-left: 98304 / 150% / 10.57 dB", 100},
      {"Volume: % first", 0},
      {"99999999999999999999999%", 100},
      {"Volume: front-left: 0 / no percent sign", 12},
  };
  for (const auto& c : cases) {
    int64_t volume = 12;
    ParsePactlVolume(c.output, &volume);
    EXPECT_EQ(volume, c.volume) << c.output;
  }
}

// A whole line is MediaToolsTest's, through the real playerctl.
TEST(ToolOutputParsingTest, MediaMetadataWithEmptyFields) {
  const MediaMetadata partial = SplitMediaMetadata("\tOnly Artist");
  EXPECT_EQ(partial.title, "");
  EXPECT_EQ(partial.artist, "Only Artist");
  EXPECT_EQ(partial.album, "");
  EXPECT_EQ(partial.player_name, "");

  const MediaMetadata empty = SplitMediaMetadata("");
  EXPECT_EQ(empty.title + empty.artist + empty.album + empty.player_name, "");
}

}  // namespace
