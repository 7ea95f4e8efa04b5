// Which firewall decides and what the prompt is asked to change, over the
// answers that ufw and firewall-cmd give (texts as they print them), with a
// prompt that the user declines. How ufw's rules are read is
// ToolOutputParsingTest.UfwRulesReadInOrder's; that the real tools print
// these texts and take the commands, FirewallSmokeTest's.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>

#include "host/desktop_tools/firewall_ports.h"
#include "peer_test_support.h"

namespace {

constexpr char kRange[] = "26759:26761/udp            ALLOW       Anywhere";

TEST(FirewallDecisionsTest, EachFirewallStateWithAPromptDeclined) {
  const struct {
    const char* name;
    const char* ufw;         // null: not installed; else its one rule, or
                             // "inactive"
    const char* firewalld;   // its --state answer; null: not installed
    const char* open_ports;  // the pattern that --query-port answers yes to
    int64_t port;
    bool allowed;
    const char* prompt;  // the tool the prompt runs; empty: no prompt
  } cases[] = {
      {"ufw's range", kRange, nullptr, "", 26761, true, ""},
      {"outside ufw's range", kRange, nullptr, "", 27000, false, "ufw"},
      // Counts for the answer, yet the prompt adds the handheld's range.
      {"ufw's narrow range", "26759:26760/udp            ALLOW       Anywhere",
       nullptr, "", 26760, true, "ufw"},
      {"ufw without rules, firewalld with the port", "", "running", "26760/udp",
       26760, false, "ufw"},
      // "Status: inactive" must not pass for active.
      {"ufw inactive", "inactive", nullptr, "", 26760, true, ""},
      {"no firewall", nullptr, nullptr, "", 26760, true, ""},
      {"firewalld stopped", nullptr, "not running", "", 26760, true, ""},
      {"firewalld's port", "inactive", "running", "26760/udp", 26760, true, ""},
      {"firewalld's range", nullptr, "running", "26759-26761/udp", 27000, true,
       ""},
      {"firewalld closed", nullptr, "running", "26761/udp", 26760, false,
       "firewall-cmd"},
      // ufw lets the port in; firewalld is opened as well.
      {"ufw's range, firewalld closed", kRange, "running", "", 26760, true,
       "firewall-cmd"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    peer_testing::TempDir dir;
    const auto script = [&](const std::string& name, const std::string& body) {
      std::ofstream(dir.File(name)) << "#!/bin/sh\n" << body << "\n";
      chmod(dir.File(name).c_str(), 0755);
    };
    if (c.ufw != nullptr) {
      const std::string rule = c.ufw;
      script("ufw", rule == "inactive"
                        ? "echo 'Status: inactive'"
                        : "echo 'Status: active\n\nTo                         "
                          "Action      From\n--                         "
                          "------      ----\n" +
                              rule + "'");
    }
    if (c.firewalld != nullptr) {
      script("firewall-cmd", std::string("case \"$1\" in\n--state) echo '") +
                                 c.firewalld +
                                 "';;\n--query-port=" + c.open_ports +
                                 ") echo yes;;\n*) echo no;;\nesac");
    }
    // Each prompt's tool, the first word of the command it was asked to run.
    script("pkexec",
           "set -- $3; echo \"$1\" >> '" + dir.File("prompts") + "'; exit 126");
    // Nothing else on PATH: no real firewall tool or prompt is reached.
    peer_testing::ScopedEnv path("PATH", dir.path());

    EXPECT_EQ(korvane_bridge::IsUdpPortAllowedInFirewall(c.port), c.allowed);
    EXPECT_EQ(korvane_bridge::EnsureUdpPortAllowedInFirewall(c.port),
              c.allowed && c.prompt[0] == '\0');
    std::stringstream prompts;
    prompts << std::ifstream(dir.File("prompts")).rdbuf();
    EXPECT_EQ(prompts.str(),
              c.prompt[0] == '\0' ? "" : c.prompt + std::string("\n"));
  }
}

}  // namespace
