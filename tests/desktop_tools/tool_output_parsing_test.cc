#include "host/desktop_tools/tool_output_parsing.h"

#include <gtest/gtest.h>

namespace {

using korvane_bridge::NarrowUfwRange;
using korvane_bridge::ParseWpctlVolume;
using korvane_bridge::UfwAllowsUdpPort;

// Exact figures the real wpctl never prints; the range, the mute flag and
// what is no volume line are tool_output_parsing_fuzzer's.
TEST(ToolOutputParsingTest, PipeWireVolumeLines) {
  const struct {
    const char* output;
    int64_t volume;
    bool muted;
  } cases[] = {
      {"Volume: 0.005", 1, false},
      {"Volume:    0.5x", 50, false},
      {"Volume: inf [MUTED]", 100, true},
      {"Volume: none", 0, false},
  };
  for (const auto& c : cases) {
    int64_t volume = -1;
    bool muted = !c.muted;
    EXPECT_TRUE(ParseWpctlVolume(c.output, &volume, &muted)) << c.output;
    EXPECT_EQ(volume, c.volume) << c.output;
    EXPECT_EQ(muted, c.muted) << c.output;
  }
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
