#include "host/desktop_tools/firewall_ports.h"

#include <string>

#include "host/desktop_tools/shell_command.h"
#include "host/desktop_tools/tool_output_parsing.h"

namespace korvane_bridge {

namespace {

constexpr char kUfwStatusCommand[] = "LC_ALL=C ufw status 2>/dev/null";
// The whole phrase: "Status: inactive" contains "active" too.
constexpr char kUfwActive[] = "Status: active";

constexpr char kFirewalldStateCommand[] = "firewall-cmd --state 2>/dev/null";
constexpr char kFirewalldRangeQueryCommand[] =
    "firewall-cmd --query-port=26759-26761/udp 2>/dev/null";

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string PortRule(int64_t port) {
  return std::to_string(port) + "/udp";
}

// The rule made for two of the handheld's ports counts as allowing them,
// but does not keep the ensure from adding the full range.
bool UfwAllows(const std::string& status, int64_t port) {
  return UfwAllowsUdpPort(status, port, NarrowUfwRange::kIgnored);
}

bool FirewalldRunning() {
  return RunShellCommandCapture(kFirewalldStateCommand) == "running";
}

bool FirewalldAllows(int64_t port) {
  return RunShellCommandCapture("firewall-cmd --query-port=" + PortRule(port) +
                                " 2>/dev/null") == "yes" ||
         RunShellCommandCapture(kFirewalldRangeQueryCommand) == "yes";
}

// The prompt waits for the user as long as they take. Its exit status says
// nothing reliable (a declined prompt and a failed rule look alike): the
// caller checks the rules again instead.
void RunAsAdministrator(const std::string& commands) {
  RunShellCommandSucceeds("pkexec sh -c '" + commands + "'", kNoTimeLimit);
}

}  // namespace

bool IsUdpPortAllowedInFirewall(int64_t port) {
  const std::string ufw_status = RunShellCommandCapture(kUfwStatusCommand);
  if (Contains(ufw_status, kUfwActive)) {
    return UfwAllowsUdpPort(ufw_status, port, NarrowUfwRange::kCounts);
  }
  return !FirewalldRunning() || FirewalldAllows(port);
}

bool EnsureUdpPortAllowedInFirewall(int64_t port) {
  const std::string ufw_status = RunShellCommandCapture(kUfwStatusCommand);
  if (Contains(ufw_status, kUfwActive) && !UfwAllows(ufw_status, port)) {
    RunAsAdministrator("ufw allow 26759:26761/udp >/dev/null 2>&1 && ufw allow " +
                       PortRule(port) + " >/dev/null 2>&1");
    return UfwAllows(RunShellCommandCapture(kUfwStatusCommand), port);
  }
  if (!FirewalldRunning()) {
    return true;
  }
  if (FirewalldAllows(port)) {
    return true;
  }
  RunAsAdministrator(
      "firewall-cmd --add-port=26759-26761/udp --permanent >/dev/null 2>&1 && "
      "firewall-cmd --add-port=" +
      PortRule(port) +
      " --permanent >/dev/null 2>&1 && firewall-cmd --reload >/dev/null 2>&1");
  return FirewalldAllows(port);
}

}  // namespace korvane_bridge
