#include "private_desktop.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "socket_path.h"

namespace desktop_testing {

namespace {

using std::chrono::milliseconds;

// Captured before any fixture can change it.
const std::string g_start_path =
    getenv("PATH") != nullptr ? getenv("PATH") : "";

// On a loaded two-core machine running the suite in parallel, WirePlumber
// can take seconds to choose its default sink.
constexpr std::chrono::seconds kStartBound(20);

constexpr const char* kHostTools[] = {"playerctl", "wpctl", "pactl"};

bool Eventually(const std::function<bool()>& condition,
                milliseconds timeout = kStartBound) {
  return peer_testing::Eventually(condition, timeout, milliseconds(20));
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
  g_file_get_contents(path.c_str(), &contents, &length, nullptr);
  return contents != nullptr ? std::string(contents, length) : "";
}

// Replaced in one step: a shell about to run the file, or a reader, sees
// the old or the new one, never a part. The descriptor must not leak into
// the tools that the host starts meanwhile: a hanging one would keep the new
// file open for writing, and running it would fail with ETXTBSY. (GLib's
// g_file_set_contents leaks it.)
void WriteFile(const std::string& path,
               const std::string& contents,
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

// Standard output of a fixture's own query, when it succeeded. A client can
// wait for ever on a server that is not ready yet, hence the bound.
std::optional<std::string> Run(std::vector<std::string> argv) {
  argv.insert(argv.begin(), {RealTool("timeout"), "-s", "KILL", "5"});
  std::vector<char*> args = ArgvOf(argv);
  g_autofree gchar* output = nullptr;
  gint status = 0;
  if (!g_spawn_sync(nullptr, args.data(), nullptr, G_SPAWN_STDERR_TO_DEV_NULL,
                    nullptr, nullptr, &output, nullptr, &status, nullptr) ||
      !g_spawn_check_wait_status(status, nullptr)) {
    return std::nullopt;
  }
  std::string text = output != nullptr ? output : "";
  text.erase(text.find_last_not_of("\n ") + 1);
  return text;
}

bool SocketAccepts(const std::string& path) {
  const int fd = korvane_peer::ConnectToSocket(path);
  if (fd >= 0) {
    close(fd);
  }
  return fd >= 0;
}

// Starts `argv` logging to `log` in `dir`; true once `ready` holds while it
// still runs, else its log is shown.
bool StartServer(ChildProcess& server,
                 const TempDir& dir,
                 const char* log,
                 const std::vector<std::string>& argv,
                 const std::vector<std::string>& changes,
                 const std::function<bool()>& ready) {
  const bool ok = server.Start(argv, dir.File(log), changes) &&
                  Eventually([&] { return !server.Running() || ready(); }) &&
                  server.Running();
  if (!ok) {
    ADD_FAILURE() << argv[0] << " did not start; its log:\n"
                  << ReadFile(dir.File(log));
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
  g_autoptr(GSubprocessLauncher) launcher =
      g_subprocess_launcher_new(G_SUBPROCESS_FLAGS_STDERR_MERGE);
  for (const std::string& change : changes) {
    const size_t equals = change.find('=');
    if (equals == std::string::npos) {
      g_subprocess_launcher_unsetenv(launcher, change.c_str());
    } else {
      g_subprocess_launcher_setenv(launcher, change.substr(0, equals).c_str(),
                                   change.c_str() + equals + 1, TRUE);
    }
  }
  g_subprocess_launcher_set_stdout_file_path(launcher, log_path.c_str());
  g_subprocess_launcher_set_child_setup(
      launcher,
      [](gpointer) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
      },
      nullptr, nullptr);
  std::vector<char*> args = ArgvOf(argv);
  g_autoptr(GError) error = nullptr;
  process_ = g_subprocess_launcher_spawnv(launcher, args.data(), &error);
  if (process_ == nullptr) {
    ADD_FAILURE() << "cannot start " << argv[0] << ": " << error->message;
  }
  return process_ != nullptr;
}

// GLib's worker thread reaps the child and then drops its identifier.
bool ChildProcess::Running() const {
  return process_ != nullptr &&
         g_subprocess_get_identifier(process_) != nullptr;
}

void ChildProcess::Stop() {
  if (process_ == nullptr) {
    return;
  }
  if (const gchar* pid = g_subprocess_get_identifier(process_)) {
    const pid_t group = atoi(pid);
    g_subprocess_send_signal(process_, SIGTERM);
    if (!Eventually([&] { return !Running(); }, std::chrono::seconds(3))) {
      kill(-group, SIGKILL);
    }
  }
  g_subprocess_wait(process_, nullptr, nullptr);
  g_clear_object(&process_);
}

TestPlayer::TestPlayer(const std::string& name, const Track& track)
    : name_(name) {
  ready_ = StartServer(
      process_, dir_, "player.log",
      {MPRIS_TEST_PLAYER, name, dir_.File("calls"), track.status, track.title,
       track.artist, track.album},
      {}, [&] {
        return Run({RealTool("playerctl"), "-p", name_, "status"}).has_value();
      });
}

std::vector<std::string> TestPlayer::Calls() const {
  std::vector<std::string> calls = Split(ReadFile(dir_.File("calls")), '\n');
  calls.pop_back();  // after the last line end
  return calls;
}

TestPlayer::~TestPlayer() {
  if (!ready_) {
    return;
  }
  process_.Stop();
  // The bus drops the name a moment after the process has gone.
  EXPECT_TRUE(Eventually([&] {
    return !Run({RealTool("playerctl"), "-p", name_, "status"}).has_value();
  }));
}

// Configured by the files in private_config: one null sink as the default
// sink, and nothing that reaches hardware, a desktop session or real-time
// priorities.
PrivatePipeWire::PrivatePipeWire() {
  std::vector<std::string> changes = IsolatedServerChanges(dir_);
  changes.insert(changes.end(),
                 {"XDG_CONFIG_HOME=" PRIVATE_CONFIG, "PIPEWIRE_REMOTE",
                  "PIPEWIRE_RUNTIME_DIR", "PIPEWIRE_CONFIG_DIR",
                  "WIREPLUMBER_CONFIG_DIR"});
  // WirePlumber quits at once when it finds no PipeWire to talk to.
  if (!StartServer(
          pipewire_, dir_, "pipewire.log",
          {RealTool("pipewire"), "-c", PRIVATE_CONFIG "/pipewire.conf"},
          changes,
          [&] { return SocketAccepts(dir_.File("run/pipewire-0")); })) {
    return;
  }
  // The clients' own variable, so this process's XDG_RUNTIME_DIR stays.
  runtime_dir_.emplace("PIPEWIRE_RUNTIME_DIR", dir_.File("run"));
  remote_.emplace("PIPEWIRE_REMOTE", std::nullopt);
  // Until a default sink is chosen wpctl prints an error and still exits
  // with 0; only its output tells that the session is ready.
  ready_ = StartServer(wireplumber_, dir_, "wireplumber.log",
                       {RealTool("wireplumber")}, changes,
                       [&] { return Volume().rfind("Volume:", 0) == 0; });
}

std::string PrivatePipeWire::Volume() const {
  return Run({RealTool("wpctl"), "get-volume", "@DEFAULT_AUDIO_SINK@"})
      .value_or("");
}

bool PrivatePipeWire::SetVolume(const std::string& volume) const {
  return Run({RealTool("wpctl"), "set-volume", "@DEFAULT_AUDIO_SINK@", volume})
      .has_value();
}

PrivatePulseAudio::PrivatePulseAudio() {
  std::vector<std::string> changes = IsolatedServerChanges(dir_);
  changes.insert(changes.end(),
                 {"PULSE_SERVER", "PULSE_CLIENTCONFIG", "PULSE_COOKIE"});
  const std::string socket = dir_.File("run/native");
  // Without it, a pactl that finds no server starts one of its own, as
  // root, in the user's home.
  WriteFile(dir_.File("client.conf"), "autospawn = no\n");
  server_address_.emplace("PULSE_SERVER", "unix:" + socket);
  client_config_.emplace("PULSE_CLIENTCONFIG", dir_.File("client.conf"));
  cookie_.emplace("PULSE_COOKIE", dir_.File("cookie"));
  // As root it only warns that it should run as the system-wide daemon;
  // --system=no keeps it a per-user server in the private directories. -n
  // skips the installed default.pa (sound cards, D-Bus, X11): the two
  // modules below are all it loads.
  ready_ = StartServer(
      server_, dir_, "pulseaudio.log",
      {RealTool("pulseaudio"), "--system=no", "--daemonize=no",
       "--use-pid-file=no", "--exit-idle-time=-1", "--realtime=no",
       "--high-priority=no", "--log-target=stderr", "-n",
       "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket,
       "--load=module-null-sink sink_name=test_sink"},
      changes, [&] { return Volume().rfind("Volume:", 0) == 0; });
}

std::string PrivatePulseAudio::Volume() const {
  return Run({RealTool("pactl"), "get-sink-volume", "@DEFAULT_SINK@"})
      .value_or("");
}

std::string PrivatePulseAudio::Mute() const {
  return Run({RealTool("pactl"), "get-sink-mute", "@DEFAULT_SINK@"})
      .value_or("");
}

bool PrivatePulseAudio::SetVolume(const std::string& volume) const {
  return Run({RealTool("pactl"), "set-sink-volume", "@DEFAULT_SINK@", volume})
      .has_value();
}

ToolPath::ToolPath(const std::vector<std::string>& hidden) {
  MakeDirs(dir_, {"bin", "tools"});
  for (const char* tool : kHostTools) {
    if (std::find(hidden.begin(), hidden.end(), tool) == hidden.end()) {
      symlink(RealTool(tool).c_str(),
              dir_.File(std::string("tools/") + tool).c_str());
    }
  }
  // Directories that hold any of the tools give way to the links, so that a
  // hidden tool is really absent, as on a desktop without it. The rest of
  // such a directory (all of /usr/bin) goes too, which keeps the host from
  // reaching anything else by surprise; scripts name the utilities they use
  // by their full path.
  std::string path = dir_.File("bin") + ":" + dir_.File("tools");
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
  WriteFile(dir_.File("bin/" + name), "#!/bin/sh\n" + body + "\n", 0755);
}

}  // namespace desktop_testing
