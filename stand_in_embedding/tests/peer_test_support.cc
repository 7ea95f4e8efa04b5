#include "peer_test_support.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "socket_path.h"

namespace peer_testing {

TempDir::TempDir() {
  g_autofree gchar* path = g_dir_make_tmp("korvane-peer-test-XXXXXX", nullptr);
  path_ = path != nullptr ? path : "";
  EXPECT_FALSE(path_.empty());
}

TempDir::~TempDir() {
  // remove_all removes links without following them out of the tree.
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

ScopedEnv::ScopedEnv(const char* name, std::optional<std::string> value)
    : name_(name) {
  if (const char* old = getenv(name)) {
    previous_ = old;
  }
  value ? setenv(name, value->c_str(), 1) : unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  previous_ ? setenv(name_.c_str(), previous_->c_str(), 1)
            : unsetenv(name_.c_str());
}

bool Eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout,
                std::chrono::milliseconds interval) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(interval);
  }
  return true;
}

void ProcessStopper::operator()(GSubprocess* process) const {
  if (const gchar* pid = g_subprocess_get_identifier(process)) {
    const pid_t child = atoi(pid);
    g_subprocess_send_signal(process, SIGTERM);
    // The identifier goes once GLib's worker has reaped the child.
    if (!Eventually([&] { return !g_subprocess_get_identifier(process); },
                    std::chrono::seconds(3))) {
      kill(-child, SIGKILL);
      kill(child, SIGKILL);
    }
  }
  g_subprocess_wait(process, nullptr, nullptr);
  g_object_unref(process);
}

GSubprocess* Spawn(GSubprocessLauncher* launcher,
                   const std::vector<std::string>& command) {
  std::vector<const char*> argv;
  for (const std::string& word : command) {
    argv.push_back(word.c_str());
  }
  argv.push_back(nullptr);
  g_autoptr(GError) error = nullptr;
  GSubprocess* process =
      g_subprocess_launcher_spawnv(launcher, argv.data(), &error);
  EXPECT_NE(process, nullptr) << command[0] << ": " << error->message;
  return process;
}

RawPeer::RawPeer(const std::string& path, std::chrono::seconds patience)
    : fd_(korvane_peer::ConnectToSocket(path)) {
  EXPECT_GE(fd_, 0) << path;
  Patience(patience);
}

RawPeer::~RawPeer() {
  close(fd_);
}

void RawPeer::Patience(std::chrono::seconds patience) {
  const timeval limit = {static_cast<time_t>(patience.count()), 0};
  setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit));
  setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
}

size_t RawPeer::Send(const korvane_peer::Bytes& bytes, size_t from) {
  ssize_t taken = 0;
  while (from < bytes.size() &&
         (taken = send(fd_, bytes.data() + from, bytes.size() - from,
                       MSG_NOSIGNAL)) > 0) {
    from += taken;
  }
  return from;
}

bool RawPeer::ReadFrame(korvane_peer::Frame* frame) {
  std::string problem;
  while (reader_.Next(frame, &problem) !=
         korvane_peer::FrameReader::Result::kFrame) {
    uint8_t chunk[64 * 1024];
    const ssize_t got = recv(fd_, chunk, sizeof(chunk), 0);
    if (got <= 0) {
      return false;
    }
    reader_.Append(chunk, got);
  }
  return true;
}

bool RawPeer::ClosedByHost() {
  char byte;
  return recv(fd_, &byte, 1, 0) == 0;
}

}  // namespace peer_testing
