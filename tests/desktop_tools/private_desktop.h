#ifndef TESTS_DESKTOP_TOOLS_PRIVATE_DESKTOP_H_
#define TESTS_DESKTOP_TOOLS_PRIVATE_DESKTOP_H_

// The desktop services that the host's tools talk to, each started privately
// for one test, and a PATH that hides or replaces tools. None of them reaches
// the machine's own services or the user's files.
//
// The fixtures change this process's environment (the tools the host starts
// inherit it) and put it back when they end. Create them before the host
// bridge and let them outlive it: its threads start tools at any moment, and
// changing the environment under them is a race.

#include <sys/types.h>

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

// A server logging to a file, in this process's environment with `changes`
// (NAME=VALUE sets, NAME alone removes). It dies with the test process.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess() { Stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Start(const std::vector<std::string>& argv, const std::string& log_path,
             const std::vector<std::string>& changes = {});
  bool Running();
  // SIGTERM, then SIGKILL for its process group; the wait status or -1.
  int Stop();

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

// A session bus without service activation, so that nothing starts on it by
// surprise. Sets DBUS_SESSION_BUS_ADDRESS.
class PrivateSessionBus {
 public:
  PrivateSessionBus();
  bool ready() const { return ready_; }

 private:
  TempDir dir_;
  ChildProcess daemon_;
  bool ready_ = false;
  std::optional<ScopedEnv> address_;
};

struct Track {
  std::string status;  // Playing, Paused or Stopped
  std::string title;
  std::string artist;
  std::string album;
};

// The test MPRIS player on the session bus, ready once playerctl sees it.
class TestPlayer {
 public:
  TestPlayer(const std::string& name, const Track& track);
  ~TestPlayer() { Quit(); }
  bool ready() const { return ready_; }
  // The transport calls that reached it, in order.
  std::vector<std::string> Calls() const;
  // Ends it and waits until playerctl no longer sees it.
  void Quit();

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
  // Runs the real `name` through a script that notes the end of each run as
  // "<name> <first argument>". The telemetry thread stores what it read as
  // soon as its last tool ends and then waits about 1.5 s; a deck action
  // started at that moment cannot have its own read-back overwritten by an
  // older poll.
  void Observe(const std::string& name) const;
  // Waits for the next end of a run noted as `run`, e.g. "wpctl get-volume".
  bool AwaitNextRun(const std::string& run) const;
  // A file beside the scripts, for them to write to.
  std::string File(const std::string& name) const { return dir_.File(name); }

 private:
  TempDir dir_;
  std::optional<ScopedEnv> path_;
};

}  // namespace desktop_testing

#endif  // TESTS_DESKTOP_TOOLS_PRIVATE_DESKTOP_H_
