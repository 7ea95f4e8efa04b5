#include "host/desktop_tools/shell_command.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>

#include "peer_test_support.h"

namespace {

using korvane_bridge::RunShellCommandCapture;
using korvane_bridge::RunShellCommandSucceeds;

TEST(ShellCommandTest, CaptureKeepsTheTextAsToolsPrintIt) {
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
}

TEST(ShellCommandTest, SucceedsOnlyOnExitStatusZero) {
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
// ProgramE2eTest.AToolThatNeverExitsHoldsUpOnlyItsOwnPress's.
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

}  // namespace
