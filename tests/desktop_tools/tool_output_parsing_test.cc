#include "host/desktop_tools/tool_output_parsing.h"

#include <gtest/gtest.h>

namespace {

using korvane_bridge::MediaMetadata;
using korvane_bridge::NarrowUfwRange;
using korvane_bridge::ParsePactlVolume;
using korvane_bridge::ParseWpctlVolume;
using korvane_bridge::SplitMediaMetadata;
using korvane_bridge::UfwAllowsUdpPort;

TEST(ToolOutputParsingTest, PipeWireVolumeLines) {
  const struct {
    const char* output;
    int64_t volume;
    bool muted;
  } cases[] = {
      {"Volume: 0.40 [MUTED]", 40, true}, {"Volume: 0.005", 1, false},
      {"Volume:    0.5x", 50, false},     {"Volume: -0.3", 0, false},
      {"Volume: nan", 0, false},          {"Volume: inf [MUTED]", 100, true},
      {"Volume: 1e300", 100, false},      {"Volume: none", 0, false},
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

// What ufw 0.36 printed for rules added in this order (trailing blanks
// removed, most IPv6 twins left out); ufw applies the first rule that
// matches a packet.
constexpr char kUfwStatus[] = R"(Status: active

To                         Action      From
--                         ------      ----
26760/udp                  DENY        Anywhere
26759:26761/udp            ALLOW       Anywhere
26761/udp                  REJECT      Anywhere
26759/udp                  LIMIT       Anywhere
26762                      ALLOW       Anywhere
Anywhere                   DENY        10.1.2.3
26764/udp                  ALLOW       192.168.1.0/24
26765/udp on lo            ALLOW       Anywhere
26766:26768/udp            ALLOW       Anywhere                   # handheld
26769/udp                  ALLOW       Anywhere                   (log)
10.0.0.1 26770/udp         ALLOW       Anywhere
26771,26772/udp            ALLOW       Anywhere
26773:26775/udp            REJECT      Anywhere
26773/udp                  ALLOW       Anywhere
26774/tcp                  DENY        Anywhere
26774                      ALLOW       Anywhere
Anywhere/udp               DENY        Anywhere/udp
26780/udp                  ALLOW       Anywhere
26760/udp (v6)             DENY        Anywhere (v6)
26781/udp (v6)             ALLOW       Anywhere (v6)

26782/udp                  ALLOW OUT   Anywhere

26783/udp                  ALLOW FWD   Anywhere
)";

TEST(ToolOutputParsingTest, UfwRulesReadInOrder) {
  const struct {
    int64_t port;
    bool allowed;
  } cases[] = {
      {26760, false},  // denied before the range allows it
      {26761, true},   // allowed by the range before the reject
      {26762, true},   // both protocols
      {1, false},      // not inside "26761/udp"
      {26764, false},  // from one network only
      {26765, false},  // on one interface only
      {26766, false},  // a range not the handheld's
      {26769, true},   // logged
      {26770, false},  // to one address only
      {26771, false},  // a list
      {26774, false},  // a rejected range comes first
      {26780, false},  // after all UDP is denied
      {26781, false},  // IPv6 only
      {26782, false},  // outgoing
      {26783, false},  // routed
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UfwAllowsUdpPort(kUfwStatus, c.port, NarrowUfwRange::kCounts),
              c.allowed)
        << c.port;
  }

  const std::string narrow = R"(Status: active

To                         Action      From
--                         ------      ----
26760/tcp                  DENY        Anywhere
26759:26760/udp            ALLOW       Anywhere
26761/udp                  LIMIT       Anywhere
)";
  EXPECT_TRUE(UfwAllowsUdpPort(narrow, 26760, NarrowUfwRange::kCounts));
  EXPECT_FALSE(UfwAllowsUdpPort(narrow, 26760, NarrowUfwRange::kIgnored));
  EXPECT_FALSE(UfwAllowsUdpPort(narrow, 26758, NarrowUfwRange::kCounts));
  EXPECT_TRUE(UfwAllowsUdpPort(narrow, 26761, NarrowUfwRange::kIgnored));
}

}  // namespace
