#include "host/desktop_tools/shell_command.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
