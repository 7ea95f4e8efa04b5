#ifndef TESTS_DESKTOP_TOOLS_PRIVATE_DESKTOP_H_
#define TESTS_DESKTOP_TOOLS_PRIVATE_DESKTOP_H_

// The desktop services that the host's tools talk to, each started privately
// for one test, and a PATH that hides or replaces tools. None of them reaches
// the machine's own services or the user's files.
//
// The fixtures change this process's environment (the tools the host starts
// inherit it) and put it back when they end. Create them before anything
// that starts tools on other threads, and let them outlive it: changing the
// environment under a thread is a race.

#include <gio/gio.h>

#include <optional>
#include <string>
#include <vector>

#include "peer_test_support.h"

namespace desktop_testing {

using peer_testing::ScopedEnv;
using peer_testing::TempDir;

// A tool's path on the PATH this process started with, so that fixtures and
// scripts reach the real tools while a ToolPath hides them from the host.
std::string RealTool(const std::string& name);

// A server in its own process group, its output in a log file, in this
// process's environment with `changes` (NAME=VALUE sets, NAME alone
// removes). It dies with the test process.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess() { Stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Start(const std::vector<std::string>& argv,
             const std::string& log_path,
             const std::vector<std::string>& changes);
  bool Running() const;
  // SIGTERM, then SIGKILL for its process group.
  void Stop();

 private:
  GSubprocess* process_ = nullptr;
};

struct Track {
  std::string status;  // Playing, Paused or Stopped
  std::string title;
  std::string artist;
  std::string album;
};

// The test MPRIS player on the session bus, ready once playerctl sees it and
// gone once it no longer does.
class TestPlayer {
 public:
  TestPlayer(const std::string& name, const Track& track);
  ~TestPlayer();
  bool ready() const { return ready_; }
  // The transport calls that reached it, in order.
  std::vector<std::string> Calls() const;

 private:
  TempDir dir_;
  std::string name_;
  ChildProcess process_;
  bool ready_ = false;
};

// PipeWire with WirePlumber and a null sink as the default sink, which wpctl
// in this process reaches.
class PrivatePipeWire {
 public:
  PrivatePipeWire();
  bool ready() const { return ready_; }
  // What the real wpctl reports for the default sink, e.g. "Volume: 0.55".
  std::string Volume() const;
  bool SetVolume(const std::string& volume) const;

 private:
  TempDir dir_;
  ChildProcess pipewire_;
  ChildProcess wireplumber_;  // declared later: stops first
  bool ready_ = false;
  std::optional<ScopedEnv> runtime_dir_;
  std::optional<ScopedEnv> remote_;
};

// PulseAudio with a null sink as the default sink. pactl in this process
// reaches it and never starts a server of its own.
class PrivatePulseAudio {
 public:
  PrivatePulseAudio();
  bool ready() const { return ready_; }
  // What the real pactl reports for the default sink.
  std::string Volume() const;
  std::string Mute() const;
  bool SetVolume(const std::string& volume) const;

 private:
  TempDir dir_;
  ChildProcess server_;
  bool ready_ = false;
  std::optional<ScopedEnv> server_address_;
  std::optional<ScopedEnv> client_config_;
  std::optional<ScopedEnv> cookie_;
};

// The PATH on which the host finds its media and audio tools: scripted
// stand-ins first, then the real playerctl, wpctl and pactl except the
// `hidden` ones.
class ToolPath {
 public:
  explicit ToolPath(const std::vector<std::string>& hidden);
  // Puts a /bin/sh script named `name` first on PATH, replacing an earlier
  // one in one step.
  void Script(const std::string& name, const std::string& body) const;

 private:
  TempDir dir_;
  std::optional<ScopedEnv> path_;
};

}  // namespace desktop_testing

#endif  // TESTS_DESKTOP_TOOLS_PRIVATE_DESKTOP_H_
