#include "shell_command.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

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

// A tool that never exits, with a child of its own that also lingers: both
// end when the limit passes, and the run counts as failed.
TEST(ShellCommandTest, TheLimitEndsTheWholeProcessGroup) {
  const std::string pid_file =
      ::testing::TempDir() + "shell_command_test_child.pid";
  const std::string hang =
      "sleep 60 & echo $! > '" + pid_file + "'; echo partial; sleep 60";
  const auto limit = std::chrono::milliseconds(300);
  for (bool capture : {true, false}) {
    SCOPED_TRACE(capture ? "capture" : "status");
    if (capture) {
      EXPECT_EQ(RunShellCommandCapture(hang, limit), "");
    } else {
      EXPECT_FALSE(RunShellCommandSucceeds(hang, limit));
    }
    pid_t child = 0;
    std::ifstream(pid_file) >> child;
    ASSERT_GT(child, 0);
    // The killed child is left to init to reap; it is gone once kill()
    // no longer finds it or it is a zombie.
    bool gone = false;
    for (int i = 0; i < 200 && !gone; ++i) {
      std::ifstream stat("/proc/" + std::to_string(child) + "/stat");
      std::string pid, name, state;
      gone = !(stat >> pid >> name >> state) || state == "Z";
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone);
  }
}

}  // namespace
