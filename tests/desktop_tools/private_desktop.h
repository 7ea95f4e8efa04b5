#ifndef TESTS_DESKTOP_TOOLS_PRIVATE_DESKTOP_H_
#define TESTS_DESKTOP_TOOLS_PRIVATE_DESKTOP_H_

// The desktop services that the host's tools talk to, each started privately
// for one test, and a PATH that hides or replaces tools. The fixtures change
// this process's environment, which the tools inherit: create them before
// anything that starts tools on other threads, and let them outlive it.

#include <gio/gio.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "peer_test_support.h"

namespace desktop_testing {

using peer_testing::ScopedEnv;
using peer_testing::TempDir;

// A tool's path on the PATH this process started with.
std::string RealTool(const std::string& name);

// The trimmed standard output of the real tool argv[0], when it succeeded.
std::optional<std::string> Run(std::vector<std::string> argv);

// A server in its own process group, which dies with the test process.
using Server = peer_testing::Process;

// The test MPRIS player on the session bus, ready once playerctl sees it and
// gone once it no longer does.
class TestPlayer {
 public:
  TestPlayer(const std::string& name,
             std::vector<std::string> status_title_artist_album);
  ~TestPlayer();
  bool ready() const { return process_ != nullptr; }

 private:
  TempDir dir_;
  std::string name_;
  Server process_;
};

// PipeWire with WirePlumber and a null sink as the default sink, which wpctl
// in this process reaches.
class PrivatePipeWire {
 public:
  PrivatePipeWire();
  bool ready() const { return wireplumber_ != nullptr; }
  // What the real wpctl reports for the default sink, e.g. "Volume: 0.55".
  std::string Volume() const {
    return Run({"wpctl", "get-volume", "@DEFAULT_AUDIO_SINK@"}).value_or("");
  }
  bool SetVolume(const std::string& volume) const {
    return Run({"wpctl", "set-volume", "@DEFAULT_AUDIO_SINK@", volume})
        .has_value();
  }

 private:
  TempDir dir_;
  // The clients' own variables, so that this process's XDG_RUNTIME_DIR stays.
  ScopedEnv runtime_dir_{"PIPEWIRE_RUNTIME_DIR", dir_.File("run")};
  ScopedEnv remote_{"PIPEWIRE_REMOTE", std::nullopt};
  Server pipewire_;
  Server wireplumber_;  // declared later: stops first
};

// PulseAudio with a null sink as the default sink. pactl in this process
// reaches it and never starts a server of its own.
class PrivatePulseAudio {
 public:
  PrivatePulseAudio();
  bool ready() const { return server_ != nullptr; }
  // What the real pactl reports for the default sink.
  std::string Volume() const {
    return Run({"pactl", "get-sink-volume", "@DEFAULT_SINK@"}).value_or("");
  }
  bool SetVolume(const std::string& volume) const {
    return Run({"pactl", "set-sink-volume", "@DEFAULT_SINK@", volume})
        .has_value();
  }

 private:
  TempDir dir_;
  const std::string socket_ = dir_.File("run/native");
  ScopedEnv server_address_{"PULSE_SERVER", "unix:" + socket_};
  ScopedEnv client_config_{"PULSE_CLIENTCONFIG", dir_.File("client.conf")};
  ScopedEnv cookie_{"PULSE_COOKIE", dir_.File("cookie")};
  Server server_;
};

// The PATH on which the host finds its media and audio tools: the real
// playerctl, wpctl and pactl except the `hidden` ones, and scripted ones.
class ToolPath {
 public:
  explicit ToolPath(const std::vector<std::string>& hidden);
  // Puts a /bin/sh script named `name` on PATH, in place of the real tool or
  // an earlier script.
  void Script(const std::string& name, const std::string& body) const;

 private:
  TempDir dir_;
  std::optional<ScopedEnv> path_;
};

}  // namespace desktop_testing

#endif  // TESTS_DESKTOP_TOOLS_PRIVATE_DESKTOP_H_
