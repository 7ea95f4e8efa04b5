#include "private_firewall.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace firewall_testing {

namespace {

using Clock = std::chrono::steady_clock;

// firewalld is Python and loads its whole configuration first; a busy
// machine can take many seconds.
constexpr auto kFirewalldStartLimit = std::chrono::seconds(60);
// It takes its rules out of the kernel as it stops.
constexpr auto kFirewalldStopLimit = std::chrono::seconds(20);

std::vector<std::string> Words(const std::string& text) {
  std::istringstream stream(text);
  std::vector<std::string> words;
  std::string word;
  while (stream >> word) {
    words.push_back(word);
  }
  return words;
}

std::vector<std::string> Lines(const std::string& text) {
  std::istringstream stream(text);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(stream, line)) {
    lines.push_back(line);
  }
  return lines;
}

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
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

std::string PkexecLog() {
  return PrivateDirectory() + "/pkexec.log";
}

std::string StandInDirectory() {
  const std::string directory = PrivateDirectory() + "/bin";
  mkdir(directory.c_str(), 0755);
  return directory;
}

void WriteExecutable(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::trunc) << text;
  chmod(path.c_str(), 0755);
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace

std::string WhyNoPrivateFirewall() {
  if (const char* why = getenv("PRIVATE_FIREWALL_UNAVAILABLE")) {
    return why;
  }
  if (getenv("PRIVATE_FIREWALL_DIR") == nullptr) {
    return "not started by in_private_firewall.sh: these tests enable ufw "
           "and start firewalld, which only its namespaces keep from the "
           "machine's own firewall";
  }
  return std::string();
}

std::string PrivateDirectory() {
  const char* directory = getenv("PRIVATE_FIREWALL_DIR");
  return directory != nullptr ? directory : "";
}

void PutToolsOnPath(bool tools) {
  static const std::string inherited = getenv("PATH") ? getenv("PATH") : "";
  std::string path = StandInDirectory();
  if (tools) {
    path += ":" + inherited + ":/usr/local/sbin:/usr/sbin:/sbin";
  }
  setenv("PATH", path.c_str(), 1);
}

CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = popen(("exec 2>&1; " + command).c_str(), "r");
  if (pipe == nullptr) {
    return result;
  }
  char buffer[4096];
  size_t count;
  while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    result.output.append(buffer, count);
  }
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

::testing::AssertionResult SetUfw(bool active,
                                  const std::vector<std::string>& rules) {
  // Deleted one by one: `ufw reset` refuses to run twice in one second (its
  // backups are named after the second).
  ::testing::AssertionResult done = Succeeds("ufw --force disable");
  const CommandResult added = RunCommand("LC_ALL=C ufw show added");
  for (const std::string& line : Lines(added.output)) {
    if (done && StartsWith(line, "ufw ")) {
      done = Succeeds("ufw delete " + line.substr(4));
    }
  }
  for (const std::string& rule : rules) {
    if (done) {
      done = Succeeds("ufw allow " + rule);
    }
  }
  if (done && active) {
    done = Succeeds("ufw --force enable");
  }
  return done;
}

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

Firewalld::Firewalld() : log_path_(PrivateDirectory() + "/firewalld.log") {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log_path_.c_str(),
                                   O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  // Its log goes to the private directory, not to the machine's syslog.
  const char* arguments[] = {"firewalld",  "--nofork",          "--nopid",
                             "--log-target", "file",            "--log-file",
                             log_path_.c_str(), nullptr};
  if (posix_spawnp(&pid_, "firewalld", &actions, nullptr,
                   const_cast<char* const*>(arguments), environ) != 0) {
    pid_ = -1;
  }
  posix_spawn_file_actions_destroy(&actions);

  const Clock::time_point deadline = Clock::now() + kFirewalldStartLimit;
  while (pid_ > 0 && Clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    if (RunCommand("firewall-cmd --state").output == "running\n") {
      running_ = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

Firewalld::~Firewalld() {
  if (pid_ <= 0) {
    return;
  }
  kill(pid_, SIGTERM);
  const Clock::time_point deadline = Clock::now() + kFirewalldStopLimit;
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

std::string Firewalld::Log() const {
  return ReadFile(log_path_);
}

::testing::AssertionResult SetFirewalldPorts(
    const std::vector<std::string>& ports) {
  // firewall-cmd takes removals and additions in separate runs only.
  std::string removals;
  for (const std::string& port : FirewalldPorts(true)) {
    removals += " --remove-port=" + port;
  }
  std::string additions;
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

std::vector<std::string> FirewalldPorts(bool permanent) {
  std::vector<std::string> ports = Words(
      RunCommand(permanent ? "firewall-cmd --permanent --list-ports"
                           : "firewall-cmd --list-ports")
          .output);
  std::sort(ports.begin(), ports.end());
  return ports;
}

void InstallPkexec(Prompt prompt) {
  std::string script =
      "#!/bin/sh\n"
      "printf '%s\\n' \"$@\" >>'" + PkexecLog() + "'\n";
  if (prompt == Prompt::kGrants) {
    script +=
        "exec /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin "
        "TMPDIR=\"$TMPDIR\" \"$@\"\n";
  } else {
    script += "exit 126\n";
  }
  WriteExecutable(StandInDirectory() + "/pkexec", script);
}

std::vector<std::string> TakePkexecArguments() {
  const std::vector<std::string> arguments = Lines(ReadFile(PkexecLog()));
  std::ofstream(PkexecLog(), std::ios::trunc);
  return arguments;
}

}  // namespace firewall_testing
