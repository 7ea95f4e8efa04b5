#include "host/desktop_tools/shell_command.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace korvane_bridge {

namespace {

using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;

// Far more than any tool's answer; a tool that floods its output is still
// read to the end, so that it is not stuck on a full pipe.
constexpr size_t kMaxCapturedBytes = 1 << 20;
// The host read tools' output a line at a time through a buffer of this
// size; a NUL byte ended the text of that piece.
constexpr size_t kTextPieceSize = 255;

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) {
      close(fd_);
    }
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int* receive() { return &fd_; }

 private:
  int fd_;
};

Deadline DeadlineFor(ToolTimeLimit limit) {
  if (!limit) {
    return std::nullopt;
  }
  return Clock::now() + *limit;
}

// Milliseconds for poll(): -1 waits without end, 0 when the time is up.
int MillisecondsLeft(const Deadline& deadline) {
  if (!deadline) {
    return -1;
  }
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(
      *deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Starts `sh -c command_line` as the leader of a new process group with the
// default signal dispositions, an empty signal mask and no descriptors but
// the standard streams, whatever the calling thread has. With `output_fd` >= 0 its standard output goes there.
pid_t SpawnShell(const std::string& command_line, int output_fd) {
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP |
                                            POSIX_SPAWN_SETSIGMASK |
                                            POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&attributes, 0);
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  // An ignored SIGPIPE would be inherited and break the tools' pipelines.
  sigaddset(&signals, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &signals);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (output_fd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, output_fd, STDOUT_FILENO);
  }
  // Only the standard streams: a tool that hangs must not keep the host's
  // files, devices or sockets open, whichever library opened them.
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

  const char* arguments[] = {"sh", "-c", command_line.c_str(), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, "/bin/sh", &actions, &attributes,
                  const_cast<char* const*>(arguments), environ) != 0) {
    pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return pid;
}

int Reap(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

void KillAndReap(pid_t pid) {
  kill(-pid, SIGKILL);
  Reap(pid);
}

// True when the process exits before the deadline. Without a descriptor to
// watch it (kernels before 5.3) the wait is unbounded, as system()'s is.
bool ExitsBefore(pid_t pid, Clock::time_point deadline) {
  Descriptor exited(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
  if (exited.get() < 0) {
    return true;
  }
  pollfd watch = {exited.get(), POLLIN, 0};
  int ready;
  do {
    ready = poll(&watch, 1, MillisecondsLeft(deadline));
  } while (ready < 0 && errno == EINTR);
  return ready > 0;
}

// The shell's wait status, or nothing when the deadline passed first and
// its process group was killed.
std::optional<int> WaitForShell(pid_t pid, const Deadline& deadline) {
  if (deadline && !ExitsBefore(pid, *deadline)) {
    KillAndReap(pid);
    return std::nullopt;
  }
  return Reap(pid);
}

// Reads until end of file or the deadline; false when the deadline came
// first.
bool ReadUntilEnd(int fd, const Deadline& deadline, std::string* output) {
  char buffer[4096];
  for (;;) {
    pollfd watch = {fd, POLLIN, 0};
    const int ready = poll(&watch, 1, MillisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    if (ready <= 0) {
      return false;
    }
    const ssize_t count = read(fd, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      return true;
    }
    const size_t room = kMaxCapturedBytes - output->size();
    output->append(buffer, std::min(room, static_cast<size_t>(count)));
  }
}

// The output as text: each line, in pieces of at most kTextPieceSize bytes,
// up to its first NUL byte; then without trailing blanks and line ends.
std::string AsTrimmedText(const std::string& raw) {
  std::string text;
  text.reserve(raw.size());
  size_t start = 0;
  while (start < raw.size()) {
    size_t end = start;
    while (end < raw.size() && end - start < kTextPieceSize) {
      if (raw[end++] == '\n') {
        break;
      }
    }
    const size_t nul = raw.find('\0', start);
    text.append(raw, start, (nul < end ? nul : end) - start);
    start = end;
  }
  const size_t last = text.find_last_not_of(" \r\n");
  text.erase(last == std::string::npos ? 0 : last + 1);
  return text;
}

}  // namespace

std::string RunShellCommandCapture(const std::string& command_line,
                                   ToolTimeLimit limit) {
  const Deadline deadline = DeadlineFor(limit);
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    return std::string();
  }
  Descriptor read_end(ends[0]);
  std::optional<Descriptor> write_end(std::in_place, ends[1]);
  const pid_t pid = SpawnShell(command_line, write_end->get());
  write_end.reset();
  if (pid < 0) {
    return std::string();
  }
  std::string raw;
  if (!ReadUntilEnd(read_end.get(), deadline, &raw)) {
    KillAndReap(pid);
    return std::string();
  }
  if (!WaitForShell(pid, deadline)) {
    return std::string();
  }
  return AsTrimmedText(raw);
}

bool RunShellCommandSucceeds(const std::string& command_line,
                             ToolTimeLimit limit) {
  const Deadline deadline = DeadlineFor(limit);
  const pid_t pid = SpawnShell(command_line, -1);
  if (pid < 0) {
    return false;
  }
  const std::optional<int> status = WaitForShell(pid, deadline);
  return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

}  // namespace korvane_bridge
