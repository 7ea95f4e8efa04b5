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
#include <vector>

#include "host/desktop_tools/firewall_ports.h"
#include "peer_test_support.h"

namespace {

std::string UfwActive(const std::vector<std::string>& rules) {
  std::string status =
      "Status: active\n\nTo                         Action      From\n"
      "--                         ------      ----\n";
  for (const std::string& rule : rules) {
    status += rule + "\n";
  }
  return status;
}

struct Firewalls {
  const char* name;
  std::string ufw_status;  // empty: no ufw installed
  const char* firewalld;   // its --state answer; null: not installed
  const char* open_ports;  // what --query-port answers yes to, one a line
  int64_t port;
  bool allowed;
  const char* prompt;  // the tool the prompt runs; empty: no prompt
};

TEST(FirewallDecisionsTest, EachFirewallStateWithAPromptDeclined) {
  const std::string range = "26759:26761/udp            ALLOW       Anywhere";
  const std::string no_ufw;
  const char* none = "";
  const Firewalls cases[] = {
      {"ufw's range", UfwActive({range}), nullptr, none, 26761, true, ""},
      {"outside ufw's range", UfwActive({range}), nullptr, none, 27000, false,
       "ufw"},
      // Counts for the answer, yet the prompt adds the handheld's range.
      {"ufw's narrow range",
       UfwActive({"26759:26760/udp            ALLOW       Anywhere"}), nullptr,
       none, 26760, true, "ufw"},
      {"ufw without rules, firewalld with the port", UfwActive({}), "running",
       "26760/udp", 26760, false, "ufw"},
      // "Status: inactive" must not pass for active.
      {"ufw inactive", "Status: inactive", nullptr, none, 26760, true, ""},
      {"no firewall", no_ufw, nullptr, none, 26760, true, ""},
      {"firewalld stopped", no_ufw, "not running", none, 26760, true, ""},
      {"firewalld's port", "Status: inactive", "running", "26760/udp", 26760,
       true, ""},
      {"firewalld's range", no_ufw, "running", "26759-26761/udp", 27000, true,
       ""},
      {"firewalld closed", no_ufw, "running", "26761/udp", 26760, false,
       "firewall-cmd"},
      // ufw lets the port in; firewalld is opened as well.
      {"ufw's range, firewalld closed", UfwActive({range}), "running", none,
       26760, true, "firewall-cmd"},
  };
  for (const Firewalls& c : cases) {
    SCOPED_TRACE(c.name);
    peer_testing::TempDir dir;
    const auto script = [&](const std::string& name, const std::string& body) {
      std::ofstream(dir.File(name)) << "#!/bin/sh\n" << body;
      chmod(dir.File(name).c_str(), 0755);
    };
    if (!c.ufw_status.empty()) {
      std::ofstream(dir.File("ufw-status")) << c.ufw_status;
      script("ufw", "exec /bin/cat '" + dir.File("ufw-status") + "'\n");
    }
    if (c.firewalld != nullptr) {
      std::ofstream(dir.File("open")) << c.open_ports << "\n";
      script("firewall-cmd",
             std::string("case \"$1\" in\n--state) echo '") + c.firewalld +
                 "';;\n--query-port=*) /bin/grep -qx \"${1#*=}\" '" +
                 dir.File("open") + "' && echo yes || echo no;;\nesac\n");
    }
    script("pkexec",
           "echo \"$3\" >> '" + dir.File("prompts") + "'\nexit 126\n");
    // Nothing else on PATH: no real firewall tool or prompt is reached.
    peer_testing::ScopedEnv path("PATH", dir.path());

    EXPECT_EQ(korvane_bridge::IsUdpPortAllowedInFirewall(c.port), c.allowed);
    EXPECT_EQ(korvane_bridge::EnsureUdpPortAllowedInFirewall(c.port),
              c.allowed && c.prompt[0] == '\0');
    std::stringstream prompts;
    prompts << std::ifstream(dir.File("prompts")).rdbuf();
    EXPECT_EQ(prompts.str().substr(0, prompts.str().find(' ')), c.prompt);
  }
}

}  // namespace
