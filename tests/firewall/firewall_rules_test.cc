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
using ::testing::ElementsAre;
using ::testing::IsEmpty;
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

// ufw disabled and without rules, then given `rules` (what follows "ufw
// allow") and enabled unless `active` is false. Rules are deleted one by
// one: `ufw reset` refuses to run twice in one second (its backups are
// named after the second).
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
      done = Succeeds("ufw allow " + rule);
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
// Both ends of the range are searched for as text: "26760/udp" is part of
// "26759:26760/udp", "26761/udp" is not.
constexpr int64_t kPortOutsideNarrowRange = 26761;
// firewalld counts a port inside an open range as open itself (and does not
// add it again), so only a port outside the range reaches the query for the
// range.
constexpr int64_t kPortOutsideRange = 27000;
constexpr char kUfwRange[] = "26759:26761/udp";
constexpr char kUfwNarrowRange[] = "26759:26760/udp";
constexpr char kFirewalldRange[] = "26759-26761/udp";
constexpr char kFirewalldPort[] = "26760/udp";

std::string UfwAllow(int64_t port) {
  return "ufw allow 26759:26761/udp >/dev/null 2>&1 && ufw allow " +
         std::to_string(port) + "/udp >/dev/null 2>&1";
}

std::string FirewalldAdd(int64_t port) {
  return "firewall-cmd --add-port=26759-26761/udp --permanent >/dev/null "
         "2>&1 && firewall-cmd --add-port=" +
         std::to_string(port) +
         "/udp --permanent >/dev/null 2>&1 && firewall-cmd --reload "
         ">/dev/null 2>&1";
}

// Each case sets ufw's state first (the previous case's is left behind),
// with a pkexec that says yes and firewalld not running.
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
    PutToolsOnPath(true);
    InstallPkexec(true);
    TakePkexecArguments();
  }

  // Made on first use: its telemetry thread starts tools from the first
  // moment, so PATH must have its final value before.
  host_testing::HostBridgeHarness& Bridge() {
    if (!bridge_) {
      bridge_ = std::make_unique<host_testing::HostBridgeHarness>();
    }
    return *bridge_;
  }

  void HideTheTools() {
    ASSERT_EQ(bridge_, nullptr);
    PutToolsOnPath(false);
  }

  std::optional<bool> IsAllowed(int64_t port) {
    return Reply("isUdpPortAllowedInFirewall", List({fl_value_new_int(port)}));
  }

  std::optional<bool> Ensure(int64_t port) {
    return Reply("ensureUdpPortAllowedInFirewall",
                 List({fl_value_new_string("Handheld link"),
                       fl_value_new_int(port)}));
  }

 private:
  // Nothing unless the reply is a bool. firewall-cmd, the reload and the
  // prompt take longer than the harness's usual wait.
  std::optional<bool> Reply(const char* method, FlValue* arguments) {
    const std::optional<host_testing::Bytes> reply = Bridge().dart_.Call(
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

  std::unique_ptr<host_testing::HostBridgeHarness> bridge_;
};

// The same, with one firewalld on the private system bus for the whole
// group. Its ports are set before ufw's state: a reload flushes ufw's chains.
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
    const char* arguments[] = {"firewalld", "--nofork",   "--nopid",
                               "--log-target", "file", "--log-file",
                               log.c_str(), nullptr};
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

TEST_F(UfwTest, TheFullRangeAllowsAnyPort) {
  ASSERT_TRUE(SetUfw(true, {kUfwRange}));
  EXPECT_THAT(IsAllowed(kPort), Optional(true));
  EXPECT_THAT(IsAllowed(kPortOutsideRange), Optional(true));
  // Asks firewalld next, which does not run.
  EXPECT_THAT(Ensure(kPort), Optional(true));
  EXPECT_THAT(TakePkexecArguments(), IsEmpty());
  EXPECT_THAT(UfwStatus(), ElementsAre("active", "26759:26761/udp ALLOW"));
}

TEST_F(UfwTest, TheNarrowRangeAllowsButEnsureOpensTheFullRange) {
  ASSERT_TRUE(SetUfw(true, {kUfwNarrowRange}));
  EXPECT_THAT(IsAllowed(kPortOutsideNarrowRange), Optional(true));
  EXPECT_THAT(Ensure(kPortOutsideNarrowRange), Optional(true));
  EXPECT_THAT(TakePkexecArguments(),
              ElementsAre("sh", "-c", UfwAllow(kPortOutsideNarrowRange)));
  EXPECT_THAT(UfwStatus(),
              ElementsAre("active", "26759:26760/udp ALLOW",
                          "26759:26761/udp ALLOW", "26761/udp ALLOW"));
}

TEST_F(UfwTest, WithoutRulesEnsureOpensTheRangeAndThePort) {
  ASSERT_TRUE(SetUfw(true));
  EXPECT_THAT(IsAllowed(kPort), Optional(false));
  EXPECT_THAT(Ensure(kPort), Optional(true));
  EXPECT_THAT(TakePkexecArguments(), ElementsAre("sh", "-c", UfwAllow(kPort)));
  EXPECT_THAT(UfwStatus(), ElementsAre("active", "26759:26761/udp ALLOW",
                                       "26760/udp ALLOW"));
  EXPECT_THAT(IsAllowed(kPort), Optional(true));
}

TEST_F(UfwTest, ADeclinedPromptChangesNothing) {
  ASSERT_TRUE(SetUfw(true));
  InstallPkexec(false);
  EXPECT_THAT(Ensure(kPort), Optional(false));
  EXPECT_THAT(TakePkexecArguments(), ElementsAre("sh", "-c", UfwAllow(kPort)));
  EXPECT_THAT(UfwStatus(), ElementsAre("active"));
}

TEST_F(UfwTest, InactiveWithoutFirewalldAllowsAnyPort) {
  // "Status: inactive" must not pass for active.
  ASSERT_TRUE(SetUfw(false));
  EXPECT_THAT(IsAllowed(kPort), Optional(true));
  EXPECT_THAT(Ensure(kPort), Optional(true));
  EXPECT_THAT(TakePkexecArguments(), IsEmpty());
  EXPECT_THAT(UfwStatus(), ElementsAre("inactive"));
}

TEST_F(FirewalldTest, AnOpenPortOrRangeIsLeftAsItIs) {
  ASSERT_TRUE(SetFirewalldPorts({kFirewalldPort}));
  ASSERT_TRUE(SetUfw(false));
  EXPECT_THAT(IsAllowed(kPort), Optional(true));
  EXPECT_THAT(Ensure(kPort), Optional(true));

  ASSERT_TRUE(SetFirewalldPorts({kFirewalldRange}));
  EXPECT_THAT(IsAllowed(kPortOutsideRange), Optional(true));
  EXPECT_THAT(Ensure(kPortOutsideRange), Optional(true));

  EXPECT_THAT(TakePkexecArguments(), IsEmpty());
  EXPECT_THAT(FirewalldPorts(true), ElementsAre(kFirewalldRange));
}

TEST_F(FirewalldTest, WithNeitherEnsureAddsPermanentRulesAndReloads) {
  ASSERT_TRUE(SetFirewalldPorts({}));
  ASSERT_TRUE(SetUfw(false));
  EXPECT_THAT(IsAllowed(kPort), Optional(false));
  EXPECT_THAT(Ensure(kPort), Optional(true));
  EXPECT_THAT(TakePkexecArguments(),
              ElementsAre("sh", "-c", FirewalldAdd(kPort)));
  EXPECT_THAT(FirewalldPorts(true), ElementsAre(kFirewalldRange));
  EXPECT_THAT(FirewalldPorts(false), ElementsAre(kFirewalldRange));
  EXPECT_THAT(IsAllowed(kPort), Optional(true));
}

TEST_F(FirewalldTest, ADeclinedPromptChangesNothing) {
  ASSERT_TRUE(SetFirewalldPorts({}));
  ASSERT_TRUE(SetUfw(false));
  InstallPkexec(false);
  EXPECT_THAT(Ensure(kPort), Optional(false));
  EXPECT_THAT(TakePkexecArguments(),
              ElementsAre("sh", "-c", FirewalldAdd(kPort)));
  EXPECT_THAT(FirewalldPorts(true), IsEmpty());
  EXPECT_THAT(FirewalldPorts(false), IsEmpty());
}

TEST_F(FirewalldTest, AnActiveUfwThatLacksTheRuleDecidesAlone) {
  ASSERT_TRUE(SetFirewalldPorts({kFirewalldPort}));
  ASSERT_TRUE(SetUfw(true));
  EXPECT_THAT(IsAllowed(kPort), Optional(false));
  EXPECT_THAT(Ensure(kPort), Optional(true));
  EXPECT_THAT(TakePkexecArguments(), ElementsAre("sh", "-c", UfwAllow(kPort)));
  EXPECT_THAT(UfwStatus(), ElementsAre("active", "26759:26761/udp ALLOW",
                                       "26760/udp ALLOW"));
  EXPECT_THAT(FirewalldPorts(true), ElementsAre(kFirewalldPort));
}

TEST_F(FirewalldTest, EnsureOpensFirewalldTooWhenUfwAllows) {
  ASSERT_TRUE(SetFirewalldPorts({}));
  ASSERT_TRUE(SetUfw(true, {kUfwRange}));
  EXPECT_THAT(IsAllowed(kPort), Optional(true));
  EXPECT_THAT(Ensure(kPort), Optional(true));
  EXPECT_THAT(TakePkexecArguments(),
              ElementsAre("sh", "-c", FirewalldAdd(kPort)));
  EXPECT_THAT(FirewalldPorts(false), ElementsAre(kFirewalldRange));
}

TEST_F(FirewalldTest, WithoutEitherToolOnPathAnyPortIsAllowed) {
  ASSERT_TRUE(SetFirewalldPorts({}));
  ASSERT_TRUE(SetUfw(true));
  HideTheTools();
  EXPECT_THAT(IsAllowed(kPort), Optional(true));
  EXPECT_THAT(Ensure(kPort), Optional(true));
  EXPECT_THAT(TakePkexecArguments(), IsEmpty());
}

}  // namespace
