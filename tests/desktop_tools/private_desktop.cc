#include "private_desktop.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>

#include "socket_path.h"

namespace desktop_testing {

namespace {

constexpr const char* kHostTools[] = {"playerctl", "wpctl", "pactl"};

// Read before any fixture can change it.
const std::string g_start_path =
    getenv("PATH") != nullptr ? getenv("PATH") : "";

using peer_testing::Eventually;

bool SocketAccepts(const std::string& path) {
  const int fd = korvane_peer::ConnectToSocket(path);
  if (fd >= 0) {
    close(fd);
  }
  return fd >= 0;
}

// Starts `argv` in this process's environment with `changes` (NAME=VALUE
// sets, NAME alone removes), logging to `log` in `dir`. Null, with its log
// shown, unless `ready` comes to hold while it runs.
Server StartServer(const TempDir& dir,
                   const char* log,
                   std::vector<std::string> argv,
                   const std::vector<std::string>& changes,
                   const std::function<bool()>& ready) {
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
  g_subprocess_launcher_set_stdout_file_path(launcher, dir.File(log).c_str());
  g_subprocess_launcher_set_child_setup(
      launcher,
      [](gpointer) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
      },
      nullptr, nullptr);
  Server server(peer_testing::Spawn(launcher, argv));
  // GLib's worker thread reaps the child and then drops its identifier.
  const auto running = [&] {
    return g_subprocess_get_identifier(server.get()) != nullptr;
  };
  if (server == nullptr ||
      (Eventually([&] { return !running() || ready(); }) && running())) {
    return server;
  }
  std::ostringstream log_text;
  log_text << std::ifstream(dir.File(log)).rdbuf();
  ADD_FAILURE() << argv[0] << " did not start; its log:\n" << log_text.str();
  return nullptr;
}

// Its own home and runtime directory, and bus addresses that lead nowhere:
// nothing a private server does reaches the machine's buses or the user's
// files. Then the `server`'s own changes.
std::vector<std::string> IsolatedServerChanges(
    const TempDir& dir,
    std::vector<std::string> server) {
  EXPECT_EQ(mkdir(dir.File("run").c_str(), 0700), 0);
  const std::string nowhere = "unix:path=" + dir.File("no-bus");
  server.insert(
      server.begin(),
      {"HOME=" + dir.path(), "XDG_RUNTIME_DIR=" + dir.File("run"),
       "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME",
       "DBUS_SESSION_BUS_ADDRESS=" + nowhere,
       "DBUS_SYSTEM_BUS_ADDRESS=" + nowhere, "DISPLAY", "WAYLAND_DISPLAY"});
  return server;
}

bool PlayerctlSees(const std::string& name) {
  return Run({"playerctl", "-p", name, "status"}).has_value();
}

}  // namespace

std::string RealTool(const std::string& name) {
  g_auto(GStrv) dirs = g_strsplit(g_start_path.c_str(), ":", -1);
  for (gchar** dir = dirs; *dir != nullptr; ++dir) {
    const std::string path = std::string(*dir) + "/" + name;
    if (**dir != '\0' && access(path.c_str(), X_OK) == 0) {
      return path;
    }
  }
  return name;
}

// A client can wait for ever on a server that is not ready yet, hence the
// bound. Synchronous, without GIO's threads: the tools tier runs under
// ThreadSanitizer, which GLib's uninstrumented fd handling there confuses.
std::optional<std::string> Run(std::vector<std::string> argv) {
  argv[0] = RealTool(argv[0]);
  argv.insert(argv.begin(), {RealTool("timeout"), "-s", "KILL", "5"});
  std::vector<char*> pointers;
  for (std::string& word : argv) {
    pointers.push_back(word.data());
  }
  pointers.push_back(nullptr);
  g_autofree gchar* output = nullptr;
  gint status = 0;
  if (!g_spawn_sync(nullptr, pointers.data(), nullptr,
                    G_SPAWN_STDERR_TO_DEV_NULL, nullptr, nullptr, &output,
                    nullptr, &status, nullptr) ||
      !g_spawn_check_wait_status(status, nullptr)) {
    return std::nullopt;
  }
  std::string text = output != nullptr ? output : "";
  text.erase(text.find_last_not_of("\n ") + 1);
  return text;
}

TestPlayer::TestPlayer(const std::string& name,
                       std::vector<std::string> status_title_artist_album)
    : name_(name) {
  status_title_artist_album.insert(status_title_artist_album.begin(),
                                   {MPRIS_TEST_PLAYER, name});
  process_ = StartServer(dir_, "player.log", status_title_artist_album, {},
                         [&] { return PlayerctlSees(name_); });
}

TestPlayer::~TestPlayer() {
  if (process_ != nullptr) {
    process_.reset();
    // The bus drops the name a moment after the process has gone.
    EXPECT_TRUE(Eventually([&] { return !PlayerctlSees(name_); }));
  }
}

// Configured by the files in private_config: one null sink as the default
// sink, and nothing that reaches hardware, a desktop session or real-time
// priorities.
PrivatePipeWire::PrivatePipeWire() {
  const std::vector<std::string> changes = IsolatedServerChanges(
      dir_, {"XDG_CONFIG_HOME=" PRIVATE_CONFIG, "PIPEWIRE_REMOTE",
             "PIPEWIRE_RUNTIME_DIR", "PIPEWIRE_CONFIG_DIR",
             "WIREPLUMBER_CONFIG_DIR"});
  pipewire_ = StartServer(
      dir_, "pipewire.log",
      {RealTool("pipewire"), "-c", PRIVATE_CONFIG "/pipewire.conf"}, changes,
      [&] { return SocketAccepts(dir_.File("run/pipewire-0")); });
  // Until WirePlumber has chosen a default sink, wpctl prints an error and
  // still exits with 0. Without PipeWire, WirePlumber quits at once.
  wireplumber_ =
      StartServer(dir_, "wireplumber.log", {RealTool("wireplumber")}, changes,
                  [&] { return Volume().rfind("Volume:", 0) == 0; });
}

PrivatePulseAudio::PrivatePulseAudio() {
  const std::vector<std::string> changes = IsolatedServerChanges(
      dir_, {"PULSE_SERVER", "PULSE_CLIENTCONFIG", "PULSE_COOKIE"});
  // Without it, a pactl that finds no server starts one of its own, as
  // root, in the user's home.
  std::ofstream(dir_.File("client.conf")) << "autospawn = no\n";
  // As root it only warns that it should run as the system-wide daemon;
  // --system=no keeps it a per-user server in the private directories. -n
  // skips the installed default.pa (sound cards, D-Bus, X11): the two
  // modules below are all it loads.
  server_ = StartServer(
      dir_, "pulseaudio.log",
      {RealTool("pulseaudio"), "--system=no", "--daemonize=no",
       "--use-pid-file=no", "--exit-idle-time=-1", "--realtime=no",
       "--high-priority=no", "--log-target=stderr", "-n",
       "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket_,
       "--load=module-null-sink sink_name=test_sink"},
      changes, [&] { return Volume().rfind("Volume:", 0) == 0; });
}

ToolPath::ToolPath(const std::vector<std::string>& hidden) {
  for (const char* tool : kHostTools) {
    if (std::find(hidden.begin(), hidden.end(), tool) == hidden.end()) {
      symlink(RealTool(tool).c_str(), dir_.File(tool).c_str());
    }
  }
  // Directories that hold any of the tools give way to the links, so that a
  // hidden tool is really absent, as on a desktop without it. The rest of
  // such a directory (all of /usr/bin) goes too, which keeps the host from
  // reaching anything else by surprise; scripts name the utilities they use
  // by their full path.
  std::string path = dir_.path();
  g_auto(GStrv) dirs =
      g_strsplit(getenv("PATH") != nullptr ? getenv("PATH") : "", ":", -1);
  for (gchar** dir = dirs; *dir != nullptr; ++dir) {
    if (**dir != '\0' &&
        std::none_of(std::begin(kHostTools), std::end(kHostTools),
                     [&](const char* tool) {
                       return access((*dir + std::string("/") + tool).c_str(),
                                     F_OK) == 0;
                     })) {
      path = path + ":" + *dir;
    }
  }
  path_.emplace("PATH", path);
}

// Replaced in one step: a shell about to run the file, or a reader, sees
// the old or the new one, never a part. A descriptor leaked into a hanging
// tool would keep the new file open for writing, and running it would fail
// with ETXTBSY: hence O_CLOEXEC, which g_file_set_contents lacks.
void ToolPath::Script(const std::string& name, const std::string& body) const {
  const std::string contents = "#!/bin/sh\n" + body + "\n";
  const std::string temporary = dir_.File(name + ".new");
  const int fd =
      open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
  bool ok = fd >= 0 && write(fd, contents.data(), contents.size()) ==
                           static_cast<ssize_t>(contents.size());
  ok = fd >= 0 && close(fd) == 0 && ok;
  EXPECT_TRUE(ok && rename(temporary.c_str(), dir_.File(name).c_str()) == 0)
      << name;
}

}  // namespace desktop_testing
