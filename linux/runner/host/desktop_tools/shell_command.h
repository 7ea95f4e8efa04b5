#ifndef LINUX_RUNNER_HOST_DESKTOP_TOOLS_SHELL_COMMAND_H_
#define LINUX_RUNNER_HOST_DESKTOP_TOOLS_SHELL_COMMAND_H_

// Desktop tools run through /bin/sh, as the fixed command lines of the host
// services expect (redirections, "||" fallbacks). Each run may have a time
// limit: a tool that never exits would otherwise hold up its caller for
// ever. When the limit passes, the command's whole process group is killed
// and the run counts as failed.

#include <chrono>
#include <optional>
#include <string>

namespace korvane_bridge {

using ToolTimeLimit = std::optional<std::chrono::milliseconds>;

// Queries and deck commands answer within milliseconds when they work.
inline constexpr ToolTimeLimit kToolTimeLimit = std::chrono::seconds(5);
// A command that waits for the user at an administrator prompt.
inline constexpr ToolTimeLimit kNoTimeLimit = std::nullopt;

// The command's standard output with trailing blanks, carriage returns and
// line feeds removed (tabs and leading text stay), read as text: a NUL byte
// ends its line. Empty when the command could not start or ran past the
// limit; its exit status is not looked at.
std::string RunShellCommandCapture(const std::string& command_line,
                                   ToolTimeLimit limit = kToolTimeLimit);

// True when the command exited with status 0 within the limit. Its output
// goes where the host's goes.
bool RunShellCommandSucceeds(const std::string& command_line,
                             ToolTimeLimit limit = kToolTimeLimit);

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_DESKTOP_TOOLS_SHELL_COMMAND_H_
