// The desktop tools' own parts, on the real shell and crafted files.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>

#include "host/desktop_tools/cpu_load_sampler.h"
#include "host/desktop_tools/shell_command.h"
#include "host/desktop_tools/tool_output_parsing.h"
#include "peer_test_support.h"

namespace {

using korvane_bridge::CpuLoadSampler;
using korvane_bridge::NarrowUfwRange;
using korvane_bridge::ParseWpctlVolume;
using korvane_bridge::RunShellCommandCapture;
using korvane_bridge::RunShellCommandSucceeds;
using korvane_bridge::UfwAllowsUdpPort;

TEST(ShellCommandTest, CaptureKeepsTheTextAndSuccessIsExitStatusZero) {
  EXPECT_EQ(RunShellCommandCapture("printf '  Playing \\t \\r\\n\\n  '"),
            "  Playing \t");
  EXPECT_EQ(RunShellCommandCapture("printf 'a\\tb\\n'; printf 'c\\n' >&2"),
            "a\tb")
      << "standard error is not captured";
  EXPECT_EQ(RunShellCommandCapture("printf 'ab\\0cd\\nef\\n'"), "abef")
      << "a NUL byte ends its line's text";
  EXPECT_EQ(RunShellCommandCapture("echo yes; exit 3"), "yes")
      << "the exit status does not matter";
  EXPECT_EQ(RunShellCommandCapture("   "), "");
  EXPECT_EQ(RunShellCommandCapture("no-such-tool-anywhere 2>/dev/null"), "");
  const std::string long_line(10000, 'x');
  EXPECT_EQ(RunShellCommandCapture("printf '%10000s' '' | tr ' ' x"),
            long_line);

  EXPECT_TRUE(RunShellCommandSucceeds("true"));
  EXPECT_FALSE(RunShellCommandSucceeds("false || exit 7"));
  EXPECT_FALSE(RunShellCommandSucceeds("kill -9 $$"));
  EXPECT_FALSE(RunShellCommandSucceeds("no-such-tool-anywhere 2>/dev/null"));
}

// Ended, or ended and not yet reaped by whoever adopted it.
bool Gone(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string pid_field, name, state;
  return !(stat >> pid_field >> name >> state) || state == "Z";
}

// A tool that hangs counts as failed once its time is up, and goes with its
// whole process group: here the hang is the shell's child, which killing the
// shell alone would leave behind. That the host answers meanwhile is
// ProgramE2eTest.DeckPressesAndTelemetryWithToolsOfItsOwn's.
TEST(ShellCommandTest, AHangPastTheTimeLimitIsEndedWithItsChildren) {
  peer_testing::TempDir dir;
  const std::string hang =
      "echo started; sleep 60 & echo $! >> '" + dir.File("pids") + "'; wait";
  constexpr std::chrono::milliseconds kLimit(300);
  EXPECT_FALSE(RunShellCommandSucceeds(hang, kLimit));
  EXPECT_EQ(RunShellCommandCapture(hang, kLimit), "");
  std::ifstream pids(dir.File("pids"));
  int count = 0;
  for (pid_t pid; pids >> pid; ++count) {
    EXPECT_TRUE(peer_testing::Eventually([&] { return Gone(pid); },
                                         std::chrono::seconds(5)))
        << pid;
  }
  EXPECT_EQ(count, 2);
}

TEST(CpuLoadSamplerTest, LoadBetweenSamples) {
  const peer_testing::TempDir dir;
  const std::string path = dir.File("stat");
  const auto write = [&](const char* aggregate_line) {
    std::ofstream(path) << aggregate_line << "\ncpu0 1 2 3 4 5 6 7 8\n";
  };
  CpuLoadSampler sampler(path);
  // user nice system idle iowait irq softirq steal, then columns not read.
  write("cpu  300 0 100 500 100 0 0 0 77 77");
  EXPECT_EQ(sampler.Sample(), 40) << "the first sample: since boot";
  EXPECT_EQ(sampler.Sample(), std::nullopt) << "no tick has passed";

  // 30 busy ticks and 70 idle ones, 50 of them waiting for I/O.
  write("cpu  320 5 105 520 150 0 0 0");
  EXPECT_EQ(sampler.Sample(), 30);

  // More idle ticks than ticks in all (counters that went backwards) give
  // 0, not a wrapped-around figure.
  write("cpu  0 0 0 9000 0 0 0 0");
  EXPECT_EQ(sampler.Sample(), 0);
  write("cpu  100 0 0 9000 0 0 0 0");
  EXPECT_EQ(sampler.Sample(), 100);

  EXPECT_EQ(CpuLoadSampler("/nonexistent/stat").Sample(), std::nullopt);
  // A column that cannot be read counts as 0, and so do the ones after it.
  write("cpu  50 0 50 x 100 0 0 0");
  EXPECT_EQ(CpuLoadSampler(path).Sample(), 100);
}

// Exact figures the real wpctl never prints; the range, the mute flag and
// what is no volume line are tool_output_parsing_fuzzer's.
TEST(ToolOutputParsingTest, PipeWireVolumeLines) {
  const std::tuple<const char*, int64_t, bool> cases[] = {
      {"Volume: 0.005", 1, false},
      {"Volume:    0.5x", 50, false},
      {"Volume: inf [MUTED]", 100, true},
      {"Volume: none", 0, false},
  };
  for (const auto& [output, volume, muted] : cases) {
    std::pair<int64_t, bool> read(-1, !muted);
    EXPECT_TRUE(ParseWpctlVolume(output, &read.first, &read.second)) << output;
    EXPECT_EQ(read, std::make_pair(volume, muted)) << output;
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
  const std::pair<int64_t, bool> cases[] = {
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
  for (const auto& [port, allowed] : cases) {
    EXPECT_EQ(UfwAllowsUdpPort(kUfwStatus, port, NarrowUfwRange::kCounts),
              allowed)
        << port;
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
