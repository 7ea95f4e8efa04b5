// Whether the firewall lets the handheld's UDP port in, and opening it,
// through the bridge's channels against the real ufw and firewalld in
// network, mount and PID namespaces of their own (in_private_firewall.sh),
// each case in a state set through the tools themselves.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host_bridge_harness.h"

extern char** environ;

namespace {

using bridge_testing::List;
using ::testing::Optional;
using Clock = std::chrono::steady_clock;

const std::string kPrivate =
    getenv("PRIVATE_FIREWALL_DIR") ? getenv("PRIVATE_FIREWALL_DIR") : "";
const std::string kPkexecLog = kPrivate + "/pkexec.log";
const std::string kInheritedPath = getenv("PATH") ? getenv("PATH") : "";

std::vector<std::string> Words(const std::string& text) {
  std::istringstream stream(text);
  std::vector<std::string> words;
  for (std::string word; stream >> word;) {
    words.push_back(word);
  }
  return words;
}

std::vector<std::string> Lines(const std::string& text) {
  std::istringstream stream(text);
  std::vector<std::string> lines;
  for (std::string line; std::getline(stream, line);) {
    lines.push_back(line);
  }
  return lines;
}

// Standard output and error, through the shell.
struct CommandResult {
  int status = -1;
  std::string output;
};
CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = popen(("exec 2>&1; " + command).c_str(), "r");
  if (pipe == nullptr) {
    return result;
  }
  char buffer[4096];
  for (size_t count; (count = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    result.output.append(buffer, count);
  }
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

::testing::AssertionResult Succeeds(const std::string& command) {
  const CommandResult result = RunCommand(command);
  if (result.status != 0) {
    return ::testing::AssertionFailure()
           << command << " exited with " << result.status << ":\n"
           << result.output;
  }
  return ::testing::AssertionSuccess();
}

// The stand-ins' directory first, then, with `tools`, the inherited PATH and
// the sbin directories, where ufw and firewalld live. Set before anything
// that runs commands on other threads starts.
void PutToolsOnPath(bool tools) {
  std::string path = kPrivate + "/bin";
  mkdir(path.c_str(), 0755);
  if (tools) {
    path += ":" + kInheritedPath + ":/usr/local/sbin:/usr/sbin:/sbin";
  }
  setenv("PATH", path.c_str(), 1);
}

// A pkexec that logs its arguments, then runs them as the real one does once
// the administrator said yes (as root, in a clean environment), or runs
// nothing and exits 126, as when the prompt is dismissed.
void InstallPkexec(bool grants) {
  const std::string path = kPrivate + "/bin/pkexec";
  std::ofstream(path, std::ios::trunc)
      << "#!/bin/sh\nprintf '%s\\n' \"$@\" >>'" << kPkexecLog << "'\n"
      << (grants ? "exec /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin "
                   "TMPDIR=\"$TMPDIR\" \"$@\"\n"
                 : "exit 126\n");
  chmod(path.c_str(), 0755);
}

// The arguments of every pkexec run since the last call.
std::vector<std::string> TakePkexecArguments() {
  std::stringstream text;
  text << std::ifstream(kPkexecLog).rdbuf();
  std::ofstream(kPkexecLog, std::ios::trunc);
  return Lines(text.str());
}

// ufw disabled and without rules, then given `rules` (each what follows
// "ufw", in order) and enabled unless `active` is false. Rules are deleted one
// by one: `ufw reset` refuses to run twice in one second (its backups are named
// after the second).
::testing::AssertionResult SetUfw(bool active,
                                  const std::vector<std::string>& rules = {}) {
  ::testing::AssertionResult done = Succeeds("ufw --force disable");
  for (const std::string& line :
       Lines(RunCommand("LC_ALL=C ufw show added").output)) {
    if (done && line.rfind("ufw ", 0) == 0) {
      done = Succeeds("ufw delete " + line.substr(4));
    }
  }
  for (const std::string& rule : rules) {
    if (done) {
      done = Succeeds("ufw " + rule);
    }
  }
  return done && active ? Succeeds("ufw --force enable") : done;
}

// "inactive", or "active" followed by the IPv4 rules that `ufw status` lists
// as "<to> <action>" (each has an IPv6 twin).
std::vector<std::string> UfwStatus() {
  const std::vector<std::string> lines =
      Lines(RunCommand("LC_ALL=C ufw status").output);
  if (lines.empty() || lines[0] != "Status: active") {
    return {"inactive"};
  }
  std::vector<std::string> status = {"active"};
  bool in_rules = false;
  for (const std::string& line : lines) {
    const std::vector<std::string> words = Words(line);
    if (!in_rules) {
      in_rules = !words.empty() && words[0] == "--";
    } else if (words.size() >= 2 && line.find("(v6)") == std::string::npos) {
      status.push_back(words[0] + " " + words[1]);
    }
  }
  return status;
}

// `firewall-cmd --list-ports`, or with --permanent, sorted.
std::vector<std::string> FirewalldPorts(bool permanent) {
  std::vector<std::string> ports =
      Words(RunCommand(permanent ? "firewall-cmd --permanent --list-ports"
                                 : "firewall-cmd --list-ports")
                .output);
  std::sort(ports.begin(), ports.end());
  return ports;
}

// Makes `ports` the only ones of the default zone, permanent and (through a
// reload) at run time. A reload also flushes ufw's chains: set ufw after.
// firewall-cmd takes removals and additions in separate runs only.
::testing::AssertionResult SetFirewalldPorts(
    const std::vector<std::string>& ports) {
  std::string removals, additions;
  for (const std::string& port : FirewalldPorts(true)) {
    removals += " --remove-port=" + port;
  }
  for (const std::string& port : ports) {
    additions += " --add-port=" + port;
  }
  ::testing::AssertionResult done = ::testing::AssertionSuccess();
  if (!removals.empty()) {
    done = Succeeds("firewall-cmd --permanent" + removals);
  }
  if (done && !additions.empty()) {
    done = Succeeds("firewall-cmd --permanent" + additions);
  }
  return done ? Succeeds("firewall-cmd --reload") : done;
}

constexpr int64_t kPort = 26760;
constexpr char kAllowUfwRange[] = "allow 26759:26761/udp";
constexpr char kUfwRangeRule[] = "26759:26761/udp ALLOW";
// ufw once the range and kPort were added.
const std::vector<std::string> kUfwOpened = {"active", kUfwRangeRule,
                                             "26760/udp ALLOW"};
constexpr char kFirewalldRange[] = "26759-26761/udp";
constexpr char kFirewalldPort[] = "26760/udp";

// One state of the two firewalls, the questions the app asks in it, and
// what each firewall holds afterwards.
struct Case {
  const char* name;
  std::vector<std::string> firewalld_ports;  // only where firewalld runs
  bool ufw_active;
  std::vector<std::string> ufw_rules;
  int64_t port;
  bool allowed;
  bool prompts;  // whether Ensure asks for administrator rights
  std::vector<std::string> ufw_after;  // empty: not looked at
  std::vector<std::string> firewalld_after;
  bool grants = true;
  bool tools_on_path = true;
};

// Each case sets the state of the firewalls first (the previous case's is
// left behind) and asks through a bridge of its own.
class UfwTest : public ::testing::Test {
 protected:
  // Why the firewall tools must not run here, or empty.
  static std::string WhyNoPrivateFirewall() {
    if (const char* why = getenv("PRIVATE_FIREWALL_UNAVAILABLE")) {
      return why;
    }
    return kPrivate.empty()
               ? "not started by in_private_firewall.sh: these tests enable "
                 "ufw and start firewalld, which only its namespaces keep "
                 "from the machine's own firewall"
               : "";
  }

  void SetUp() override {
    const std::string why = WhyNoPrivateFirewall();
    if (!why.empty()) {
      GTEST_SKIP() << why;
    }
  }

  // With `firewalld` running, its ports are set first: a reload flushes
  // ufw's chains. The bridge is made once PATH has its final value, as its
  // telemetry thread starts tools from the first moment, and is gone before
  // PATH changes again.
  void Check(const Case& c, bool firewalld) {
    SCOPED_TRACE(c.name);
    PutToolsOnPath(true);
    if (firewalld) {
      ASSERT_TRUE(SetFirewalldPorts(c.firewalld_ports));
    }
    ASSERT_TRUE(SetUfw(c.ufw_active, c.ufw_rules));
    InstallPkexec(c.grants);
    TakePkexecArguments();
    PutToolsOnPath(c.tools_on_path);
    {
      host_testing::HostBridgeHarness bridge;
      EXPECT_THAT(IsAllowed(bridge, c.port), Optional(c.allowed));
      EXPECT_THAT(Ensure(bridge, c.port), Optional(c.grants));
      EXPECT_EQ(!TakePkexecArguments().empty(), c.prompts);
      EXPECT_THAT(IsAllowed(bridge, c.port), Optional(c.allowed || c.grants));
    }
    PutToolsOnPath(true);
    if (!c.ufw_after.empty()) {
      EXPECT_EQ(UfwStatus(), c.ufw_after);
    }
    if (firewalld) {
      EXPECT_EQ(FirewalldPorts(true), c.firewalld_after);
      EXPECT_EQ(FirewalldPorts(false), c.firewalld_after);
    }
  }

 private:
  static std::optional<bool> IsAllowed(host_testing::HostBridgeHarness& bridge,
                                       int64_t port) {
    return Reply(bridge, "isUdpPortAllowedInFirewall",
                 List({fl_value_new_int(port)}));
  }

  static std::optional<bool> Ensure(host_testing::HostBridgeHarness& bridge,
                                    int64_t port) {
    return Reply(
        bridge, "ensureUdpPortAllowedInFirewall",
        List({fl_value_new_string("Handheld link"), fl_value_new_int(port)}));
  }

  // Nothing unless the reply is a bool. firewall-cmd, the reload and the
  // prompt take longer than the harness's usual wait.
  static std::optional<bool> Reply(host_testing::HostBridgeHarness& bridge,
                                   const char* method,
                                   FlValue* arguments) {
    const std::optional<host_testing::Bytes> reply = bridge.dart_.Call(
        host_testing::System(method), host_testing::Arguments(arguments),
        std::chrono::seconds(60));
    if (!reply) {
      return std::nullopt;
    }
    g_autoptr(FlValue) value = host_testing::Element(*reply);
    if (fl_value_get_type(value) != FL_VALUE_TYPE_BOOL) {
      return std::nullopt;
    }
    return fl_value_get_bool(value);
  }
};

// The same, with one firewalld on the private system bus for the whole
// group.
class FirewalldTest : public UfwTest {
 protected:
  static std::string Log() {
    std::stringstream text;
    text << std::ifstream(kPrivate + "/firewalld.log").rdbuf();
    return text.str();
  }

  // firewalld is Python and loads its whole configuration first; a busy
  // machine can take many seconds. Its log goes to the private directory,
  // not to the machine's syslog.
  static void SetUpTestSuite() {
    if (!WhyNoPrivateFirewall().empty()) {
      return;
    }
    PutToolsOnPath(true);
    const std::string log = kPrivate + "/firewalld.log";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    const char* arguments[] = {"firewalld",    "--nofork", "--nopid",
                               "--log-target", "file",     "--log-file",
                               log.c_str(),    nullptr};
    if (posix_spawnp(&pid_, "firewalld", &actions, nullptr,
                     const_cast<char* const*>(arguments), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(60);
    while (pid_ > 0 && !running_ && Clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
      } else if (RunCommand("firewall-cmd --state").output == "running\n") {
        running_ = true;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    }
  }

  // It takes its rules out of the kernel as it stops.
  static void TearDownTestSuite() {
    if (pid_ <= 0) {
      return;
    }
    kill(pid_, SIGTERM);
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(20);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (Clock::now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    pid_ = -1;
  }

  void SetUp() override {
    UfwTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) {
      return;
    }
    ASSERT_TRUE(running_) << "firewalld did not start:\n" << Log();
  }

  static inline pid_t pid_ = -1;
  static inline bool running_ = false;
};

// Rules are read as ufw applies them, first match first: the narrow range
// counts for the two ports it holds, the full range for its three and no
// other; a deny or reject listed first wins. "ufw allow" turns the deny or
// reject of the same port into an allow.
TEST_F(UfwTest, EachStateOfUfwAloneFirewalldNotRunning) {
  // clang-format off
  const Case cases[] = {
      // name, firewalld ports, ufw active, ufw rules, port, allowed, prompts,
      // ufw after, firewalld after[, grants[, tools on PATH]]
      {"full range", {}, true, {kAllowUfwRange}, 26761, true, false, {"active", kUfwRangeRule}, {}},
      {"full range, port outside it", {}, true, {kAllowUfwRange}, 27000, false, true,
       {"active", kUfwRangeRule, "27000/udp ALLOW"}, {}},
      {"narrow range: allowed, yet the full range is added", {}, true, {"allow 26759:26760/udp"},
       26760, true, true, {"active", "26759:26760/udp ALLOW", kUfwRangeRule, "26760/udp ALLOW"}, {}},
      {"denied before the range allows", {}, true, {"deny 26760/udp", kAllowUfwRange}, kPort, false,
       true, {"active", "26760/udp ALLOW", kUfwRangeRule}, {}},
      {"rejected, prompt declined", {}, true, {"reject 26760/udp", kAllowUfwRange}, kPort, false,
       true, {"active", "26760/udp REJECT", kUfwRangeRule}, {}, false},
      {"port 1 is not in 26761/udp", {}, true, {"allow 26761/udp"}, 1, false, true,
       {"active", "26761/udp ALLOW", kUfwRangeRule, "1/udp ALLOW"}, {}},
      {"no rules", {}, true, {}, kPort, false, true, kUfwOpened, {}},
      // "Status: inactive" must not pass for active.
      {"inactive", {}, false, {}, kPort, true, false, {"inactive"}, {}},
  };
  // clang-format on
  for (const Case& c : cases) {
    Check(c, false);
  }
}

// firewalld counts a port inside an open range as open itself (and does not
// add it again), so only a port outside the range reaches the range query.
TEST_F(FirewalldTest, EachStateOfFirewalldAndUfw) {
  // clang-format off
  const Case cases[] = {
      {"open port", {kFirewalldPort}, false, {}, kPort, true, false, {"inactive"}, {kFirewalldPort}},
      {"open range", {kFirewalldRange}, false, {}, 27000, true, false, {"inactive"},
       {kFirewalldRange}},
      {"nothing open", {}, false, {}, kPort, false, true, {"inactive"}, {kFirewalldRange}},
      {"nothing open, prompt declined", {}, false, {}, kPort, false, true, {"inactive"}, {}, false},
      {"an active ufw without the rule decides alone", {kFirewalldPort}, true, {}, kPort, false,
       true, kUfwOpened, {kFirewalldPort}},
      // firewalld's reload flushes ufw's chains.
      {"ufw allows, firewalld is opened too", {}, true, {kAllowUfwRange}, kPort, true, true, {},
       {kFirewalldRange}},
      {"neither tool on PATH", {}, true, {}, kPort, true, false, {"active"}, {}, true, false},
  };
  // clang-format on
  for (const Case& c : cases) {
    Check(c, true);
  }
}

}  // namespace
