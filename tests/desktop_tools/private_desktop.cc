#include "private_desktop.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "socket_path.h"

namespace desktop_testing {

namespace {

using std::chrono::milliseconds;

// Captured before any fixture can change it.
const std::string g_start_path = getenv("PATH") != nullptr ? getenv("PATH") : "";

// On a loaded two-core machine running the suite in parallel, WirePlumber
// can take seconds to choose its default sink.
constexpr std::chrono::seconds kStartBound(20);

constexpr const char* kHostTools[] = {"playerctl", "wpctl", "pactl"};

bool Eventually(const std::function<bool()>& condition,
                milliseconds timeout = kStartBound,
                milliseconds interval = milliseconds(50)) {
  return peer_testing::Eventually(condition, timeout, interval);
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t end; (end = text.find(separator, start)) != std::string::npos;
       start = end + 1) {
    parts.push_back(text.substr(start, end - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

std::vector<char*> ArgvOf(const std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (const std::string& s : strings) {
    pointers.push_back(const_cast<char*>(s.c_str()));
  }
  pointers.push_back(nullptr);
  return pointers;
}

std::string ReadFile(const std::string& path) {
  g_autofree gchar* contents = nullptr;
  gsize length = 0;
  if (!g_file_get_contents(path.c_str(), &contents, &length, nullptr)) {
    return "";
  }
  return std::string(contents, length);
}

// Replaced in one step: a shell about to run the file, or a reader, sees
// the old or the new one, never a part. The descriptor must not leak into
// the tools that the host starts meanwhile: a hanging one would keep the new
// file open for writing, and running it would fail with ETXTBSY. (GLib's
// g_file_set_contents leaks it.)
void WriteFile(const std::string& path, const std::string& contents,
               mode_t mode = 0644) {
  const std::string temporary = path + ".new";
  const int fd =
      open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  bool ok = fd >= 0 && write(fd, contents.data(), contents.size()) ==
                           static_cast<ssize_t>(contents.size());
  ok = fd >= 0 && fchmod(fd, mode) == 0 && close(fd) == 0 && ok;
  EXPECT_TRUE(ok && rename(temporary.c_str(), path.c_str()) == 0) << path;
}

void MakeDirs(const TempDir& dir, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    EXPECT_EQ(mkdir(dir.File(name).c_str(), 0700), 0) << name;
  }
}

// Standard output of a fixture's own query, and whether it succeeded. A
// client can wait for ever on a server that is not ready yet, hence the
// bound.
struct Query {
  bool ok = false;
  std::string output;
};
Query Run(std::vector<std::string> argv) {
  argv.insert(argv.begin(), {RealTool("timeout"), "-s", "KILL", "5"});
  std::vector<char*> args = ArgvOf(argv);
  g_autofree gchar* output = nullptr;
  gint status = 0;
  if (!g_spawn_sync(nullptr, args.data(), nullptr, G_SPAWN_STDERR_TO_DEV_NULL,
                    nullptr, nullptr, &output, nullptr, &status, nullptr)) {
    return {};
  }
  std::string text = output != nullptr ? output : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  return {WIFEXITED(status) && WEXITSTATUS(status) == 0, text};
}

bool SocketAccepts(const std::string& path) {
  const int fd = korvane_peer::ConnectToSocket(path);
  if (fd >= 0) {
    close(fd);
  }
  return fd >= 0;
}

// Ready once `ready` holds while `server` still runs; else its log is shown.
bool AwaitServer(ChildProcess& server, const char* what,
                 const std::string& log, const std::function<bool()>& ready) {
  const bool ok =
      Eventually([&] { return !server.Running() || ready(); }) &&
      server.Running();
  if (!ok) {
    ADD_FAILURE() << what << " did not start; its log:\n" << ReadFile(log);
  }
  return ok;
}

// Its own home, runtime, configuration and state directories, and bus
// addresses that lead nowhere: nothing a private server does reaches the
// machine's buses or the user's files.
std::vector<std::string> IsolatedServerChanges(const TempDir& dir) {
  MakeDirs(dir, {"home", "run", "config", "state", "data"});
  const std::string nowhere = "unix:path=" + dir.File("no-bus");
  return {"HOME=" + dir.File("home"),
          "XDG_RUNTIME_DIR=" + dir.File("run"),
          "XDG_CONFIG_HOME=" + dir.File("config"),
          "XDG_STATE_HOME=" + dir.File("state"),
          "XDG_DATA_HOME=" + dir.File("data"),
          "DBUS_SESSION_BUS_ADDRESS=" + nowhere,
          "DBUS_SYSTEM_BUS_ADDRESS=" + nowhere,
          "DISPLAY",
          "WAYLAND_DISPLAY"};
}

}  // namespace

std::string RealTool(const std::string& name) {
  for (const std::string& dir : Split(g_start_path, ':')) {
    const std::string candidate = dir + "/" + name;
    if (!dir.empty() && access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
  }
  return name;
}

bool ChildProcess::Start(const std::vector<std::string>& argv,
                         const std::string& log_path,
                         const std::vector<std::string>& changes) {
  gchar** environment = g_get_environ();
  for (const std::string& change : changes) {
    const size_t equals = change.find('=');
    environment =
        equals == std::string::npos
            ? g_environ_unsetenv(environment, change.c_str())
            : g_environ_setenv(environment, change.substr(0, equals).c_str(),
                               change.c_str() + equals + 1, TRUE);
  }
  const int log =
      open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  std::vector<char*> args = ArgvOf(argv);
  GPid pid = 0;
  g_autoptr(GError) error = nullptr;
  const bool started = g_spawn_async_with_pipes_and_fds(
      nullptr, args.data(), environment, G_SPAWN_DO_NOT_REAP_CHILD,
      [](gpointer) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
      },
      nullptr, -1, log, log, nullptr, nullptr, 0, &pid, nullptr, nullptr,
      nullptr, &error);
  close(log);
  g_strfreev(environment);
  if (!started) {
    ADD_FAILURE() << "cannot start " << argv[0] << ": " << error->message;
    return false;
  }
  pid_ = pid;
  return true;
}

bool ChildProcess::Running() {
  if (pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_) {
    pid_ = -1;
  }
  return pid_ > 0;
}

int ChildProcess::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    if (!Eventually([&] { return !Running(); }, std::chrono::seconds(3),
                    milliseconds(5))) {
      kill(-pid_, SIGKILL);
      waitpid(pid_, &status_, 0);
      pid_ = -1;
    }
  }
  return status_;
}

PrivateSessionBus::PrivateSessionBus() {
  const std::string socket = dir_.File("bus");
  WriteFile(dir_.File("bus.conf"),
            "<busconfig><type>session</type>"
            "<listen>unix:path=" + socket + "</listen><auth>EXTERNAL</auth>"
            "<policy context=\"default\"><allow send_destination=\"*\" "
            "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
            "<allow own=\"*\"/></policy></busconfig>\n");
  const std::string log = dir_.File("bus.log");
  ready_ = daemon_.Start({RealTool("dbus-daemon"),
                          "--config-file=" + dir_.File("bus.conf"), "--nofork",
                          "--nopidfile"},
                         log) &&
           AwaitServer(daemon_, "dbus-daemon", log,
                       [&] { return SocketAccepts(socket); });
  address_.emplace("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + socket);
}

TestPlayer::TestPlayer(const std::string& name, const Track& track)
    : name_(name) {
  const std::string log = dir_.File("player.log");
  ready_ = process_.Start({MPRIS_TEST_PLAYER, name, dir_.File("calls"),
                           track.status, track.title, track.artist,
                           track.album},
                          log) &&
           AwaitServer(process_, "the test player", log, [&] {
             return Run({RealTool("playerctl"), "-p", name_, "status"}).ok;
           });
}

std::vector<std::string> TestPlayer::Calls() const {
  std::vector<std::string> calls = Split(ReadFile(dir_.File("calls")), '\n');
  calls.pop_back();  // after the last line end
  return calls;
}

void TestPlayer::Quit() {
  if (!process_.Running()) {
    return;
  }
  const int status = process_.Stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the test player did not end cleanly:\n"
      << ReadFile(dir_.File("player.log"));
  // The bus drops the name a moment after the process has gone.
  EXPECT_TRUE(Eventually(
      [&] { return !Run({RealTool("playerctl"), "-p", name_, "status"}).ok; }));
}

PrivatePipeWire::PrivatePipeWire() {
  std::vector<std::string> changes = IsolatedServerChanges(dir_);
  changes.insert(changes.end(), {"PIPEWIRE_REMOTE", "PIPEWIRE_RUNTIME_DIR",
                                 "PIPEWIRE_CONFIG_DIR", "WIREPLUMBER_CONFIG_DIR"});
  MakeDirs(dir_, {"config/wireplumber", "config/wireplumber/main.lua.d"});
  // Just what one sink needs: no device monitors, a null sink driven by a
  // dummy clock, and no real-time module, which would raise the priority of
  // root's threads on the test machine.
  WriteFile(dir_.File("pipewire.conf"), R"(
context.properties = { core.daemon = true core.name = pipewire-0 }
context.spa-libs = {
  audio.convert.* = audioconvert/libspa-audioconvert
  support.* = support/libspa-support
}
context.modules = [
  { name = libpipewire-module-protocol-native }
  { name = libpipewire-module-metadata }
  { name = libpipewire-module-spa-node-factory }
  { name = libpipewire-module-client-node }
  { name = libpipewire-module-client-device }
  # Without it every client waits for permissions that never come.
  { name = libpipewire-module-access }
  { name = libpipewire-module-adapter }
  { name = libpipewire-module-link-factory }
  { name = libpipewire-module-session-manager }
]
context.objects = [
  { factory = spa-node-factory
    args = { factory.name = support.node.driver node.name = Dummy-Driver
             priority.driver = 20000 } }
  { factory = adapter
    args = { factory.name = support.null-audio-sink node.name = test-sink
             node.description = "Test sink" media.class = Audio/Sink
             audio.position = [ FL FR ] } }
]
)");
  // Replaces the installed wireplumber.conf (again without the real-time
  // module); the installed Lua policy stays, minus what needs hardware or a
  // desktop session.
  WriteFile(dir_.File("config/wireplumber/wireplumber.conf"), R"(
context.properties = { log.level = 2 wireplumber.script-engine = lua-scripting }
context.spa-libs = {
  audio.convert.* = audioconvert/libspa-audioconvert
  support.* = support/libspa-support
}
context.modules = [
  { name = libpipewire-module-protocol-native }
  { name = libpipewire-module-client-node }
  { name = libpipewire-module-client-device }
  { name = libpipewire-module-adapter }
  { name = libpipewire-module-metadata }
  { name = libpipewire-module-session-manager }
]
wireplumber.components = [
  { name = libwireplumber-module-lua-scripting, type = module }
  { name = main.lua, type = config/lua }
  { name = policy.lua, type = config/lua }
]
)");
  // Sorted before the installed 90-enable-all.lua, which acts on these.
  // WirePlumber quits at start when a plug-in cannot reach the D-Bus
  // service it needs, as the flatpak portal's would.
  WriteFile(dir_.File("config/wireplumber/main.lua.d/80-test.lua"),
            "alsa_monitor.enabled = false\n"
            "v4l2_monitor.enabled = false\n"
            "libcamera_monitor.enabled = false\n"
            "default_access.properties[\"enable-flatpak-portal\"] = false\n");

  const std::string log = dir_.File("pipewire.log");
  // WirePlumber quits at once when it finds no PipeWire to talk to.
  if (!pipewire_.Start({RealTool("pipewire"), "-c", dir_.File("pipewire.conf")},
                       log, changes) ||
      !AwaitServer(pipewire_, "pipewire", log,
                   [&] { return SocketAccepts(dir_.File("run/pipewire-0")); }) ||
      !wireplumber_.Start({RealTool("wireplumber")}, log, changes)) {
    return;
  }
  // The clients' own variable, so this process's XDG_RUNTIME_DIR stays.
  runtime_dir_.emplace("PIPEWIRE_RUNTIME_DIR", dir_.File("run"));
  remote_.emplace("PIPEWIRE_REMOTE", std::nullopt);
  // Until a default sink is chosen wpctl prints an error and still exits
  // with 0; only its output tells that the session is ready.
  ready_ = AwaitServer(wireplumber_, "wireplumber", log,
                       [&] { return Volume().rfind("Volume:", 0) == 0; });
}

std::string PrivatePipeWire::Volume() const {
  return Run({RealTool("wpctl"), "get-volume", "@DEFAULT_AUDIO_SINK@"}).output;
}

bool PrivatePipeWire::SetVolume(const std::string& volume) const {
  return Run({RealTool("wpctl"), "set-volume", "@DEFAULT_AUDIO_SINK@", volume})
      .ok;
}

PrivatePulseAudio::PrivatePulseAudio() {
  std::vector<std::string> changes = IsolatedServerChanges(dir_);
  changes.push_back("PULSE_SERVER");
  const std::string socket = dir_.File("run/native");
  const std::string log = dir_.File("pulseaudio.log");
  // As root it only warns that it should run as the system-wide daemon;
  // --system=no keeps it a per-user server in the private directories. -n
  // skips the installed default.pa (sound cards, D-Bus, X11): the two
  // modules below are all it loads.
  if (!server_.Start(
          {RealTool("pulseaudio"), "--system=no", "--daemonize=no",
           "--use-pid-file=no", "--exit-idle-time=-1", "--realtime=no",
           "--high-priority=no", "--log-target=stderr", "-n",
           "--load=module-native-protocol-unix auth-anonymous=1 socket=" +
               socket,
           "--load=module-null-sink sink_name=test_sink"},
          log, changes)) {
    return;
  }
  // Without it, a pactl that finds no server starts one of its own, as
  // root, in the user's home.
  WriteFile(dir_.File("client.conf"), "autospawn = no\n");
  server_address_.emplace("PULSE_SERVER", "unix:" + socket);
  client_config_.emplace("PULSE_CLIENTCONFIG", dir_.File("client.conf"));
  cookie_.emplace("PULSE_COOKIE", dir_.File("cookie"));
  ready_ = AwaitServer(server_, "pulseaudio", log,
                       [&] { return Volume().rfind("Volume:", 0) == 0; });
}

std::string PrivatePulseAudio::Volume() const {
  return Run({RealTool("pactl"), "get-sink-volume", "@DEFAULT_SINK@"}).output;
}

std::string PrivatePulseAudio::Mute() const {
  return Run({RealTool("pactl"), "get-sink-mute", "@DEFAULT_SINK@"}).output;
}

bool PrivatePulseAudio::SetVolume(const std::string& volume) const {
  return Run({RealTool("pactl"), "set-sink-volume", "@DEFAULT_SINK@", volume})
      .ok;
}

ToolPath::ToolPath(const std::vector<std::string>& hidden) {
  MakeDirs(dir_, {"bin", "tools"});
  for (const char* tool : kHostTools) {
    if (std::find(hidden.begin(), hidden.end(), tool) == hidden.end()) {
      symlink(RealTool(tool).c_str(),
              File(std::string("tools/") + tool).c_str());
    }
  }
  // Directories that hold any of the tools give way to the links, so that a
  // hidden tool is really absent, as on a desktop without it. The rest of
  // such a directory (all of /usr/bin) goes too, which keeps the host from
  // reaching anything else by surprise; scripts name the utilities they use
  // by their full path.
  std::string path = File("bin") + ":" + File("tools");
  const char* current = getenv("PATH");
  for (const std::string& dir : Split(current != nullptr ? current : "", ':')) {
    const bool holds_tool = std::any_of(
        std::begin(kHostTools), std::end(kHostTools), [&](const char* tool) {
          return access((dir + "/" + tool).c_str(), F_OK) == 0;
        });
    if (!dir.empty() && !holds_tool) {
      path += ":" + dir;
    }
  }
  path_.emplace("PATH", path);
}

void ToolPath::Script(const std::string& name, const std::string& body) const {
  WriteFile(File("bin/" + name), "#!/bin/sh\n" + body + "\n", 0755);
}

void ToolPath::Observe(const std::string& name) const {
  Script(name, "'" + RealTool(name) + "' \"$@\"\nstatus=$?\necho \"" + name +
                   " $1\" >> '" + File("runs") + "'\nexit $status");
}

bool ToolPath::AwaitNextRun(const std::string& run) const {
  const auto ended = [&] {
    const std::vector<std::string> lines = Split(ReadFile(File("runs")), '\n');
    return std::count(lines.begin(), lines.end(), run);
  };
  const auto before = ended();
  return Eventually([&] { return ended() > before; }, std::chrono::seconds(10),
                    milliseconds(5));
}

}  // namespace desktop_testing
