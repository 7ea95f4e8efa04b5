// The controller frame stream end to end, as the app sends it: frames from
// a second process through the peer socket to the host bridge on null
// devices, and their replies back; one at a time (the round trip of one
// frame) and pipelined, up to kInFlight frames unanswered (frames per
// second). The floor is the same bytes echoed back by a bare Unix socket
// server in a third process.
//
// The program re-runs itself for the two servers:
//   frame_stream_benchmarks --serve-frames=PATH   the bridge on the socket
//   frame_stream_benchmarks --echo=PATH           the bare echo

#include <benchmark/benchmark.h>
#include <glib-unix.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fl_engine_private.h"
#include "frame.h"
#include "host_bridge_harness.h"
#include "input_test_support.h"
#include "null_device_kernel.h"
#include "socket_path.h"

namespace {

using host_testing::Bytes;
using host_testing::Method;

constexpr char kServeFlag[] = "--serve-frames=";
constexpr char kEchoFlag[] = "--echo=";
constexpr size_t kInFlight = 32;

Bytes FrameArguments() {
  return host_testing::RecordArgument(
      korvane_bridge_virtual_controller_frame_type_id,
      input_testing::NewFrame(input_testing::RestingControls(1)).release());
}

Bytes MountArguments() {
  return host_testing::RecordArgument(
      korvane_bridge_virtual_controller_mount_request_type_id,
      korvane_bridge_virtual_controller_mount_request_new(
          1, KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_SONY_WIRELESS_CONTROLLER,
          "pad", "P1", FALSE, FALSE));
}

// The host side: the stand-in engine's peer socket with the bridge on it.
int ServeFrames(const std::string& path) {
  std::string argument = "--peer-socket=" + path;
  char* arguments[] = {argument.data(), nullptr};
  g_autoptr(FlDartProject) project = fl_dart_project_new();
  fl_dart_project_set_dart_entrypoint_arguments(project, arguments);
  g_autoptr(FlEngine) engine = fl_engine_new(project);
  g_autoptr(GError) error = nullptr;
  if (!fl_engine_start(engine, &error)) {
    fprintf(stderr, "frame server: %s\n", error->message);
    return 1;
  }
  benchmark_support::NullDeviceKernel kernel;
  korvane_bridge::KorvaneLinuxBridge bridge(
      fl_engine_get_binary_messenger(engine), kernel);
  g_autoptr(GMainLoop) loop = g_main_loop_new(nullptr, FALSE);
  g_unix_signal_add(
      SIGTERM,
      [](gpointer loop) {
        g_main_loop_quit(static_cast<GMainLoop*>(loop));
        return G_SOURCE_REMOVE;
      },
      loop);
  g_main_loop_run(loop);
  return 0;
}

int Listen(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  if (fd < 0 ||
      bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(fd, 1) != 0) {
    perror("echo server");
    return -1;
  }
  return fd;
}

// The floor's server: every byte goes straight back.
int Echo(const std::string& path) {
  const int listener = Listen(path);
  if (listener < 0) {
    return 1;
  }
  for (;;) {
    const int peer = accept(listener, nullptr, nullptr);
    if (peer < 0) {
      return 1;
    }
    char buffer[65536];
    ssize_t count;
    while ((count = read(peer, buffer, sizeof(buffer))) > 0) {
      for (ssize_t sent = 0; sent < count;) {
        const ssize_t written = write(peer, buffer + sent, count - sent);
        if (written <= 0) {
          break;
        }
        sent += written;
      }
    }
    close(peer);
  }
}

// The servers start with the benchmarks: their sockets may not be there yet.
int Connect(const std::string& path) {
  for (int attempt = 0; attempt < 500; ++attempt) {
    const int fd = korvane_peer::ConnectToSocket(path);
    if (fd >= 0) {
      return fd;
    }
    usleep(10000);
  }
  return -1;
}

bool WriteAll(int fd, const Bytes& bytes) {
  for (size_t sent = 0; sent < bytes.size();) {
    const ssize_t written = write(fd, bytes.data() + sent, bytes.size() - sent);
    if (written <= 0) {
      return false;
    }
    sent += written;
  }
  return true;
}

// One side of a connection that counts what comes back as answers: whole
// reply frames from the host, or the echoed bytes of whole messages.
class Stream {
 public:
  Stream(int fd, bool echoed) : fd_(fd), echoed_(echoed) {}
  ~Stream() { close(fd_); }

  bool Send(const Bytes& frame) {
    frame_size_ = frame.size();
    return WriteAll(fd_, frame);
  }

  // Blocks until at least one more answer has come.
  bool Receive() {
    const size_t before = answers_;
    while (answers_ == before) {
      uint8_t buffer[65536];
      const ssize_t count = read(fd_, buffer, sizeof(buffer));
      if (count <= 0) {
        return false;
      }
      if (echoed_) {
        echoed_bytes_ += count;
        answers_ = echoed_bytes_ / frame_size_;
        continue;
      }
      reader_.Append(buffer, count);
      korvane_peer::Frame frame;
      std::string problem;
      korvane_peer::FrameReader::Result result;
      while ((result = reader_.Next(&frame, &problem)) ==
             korvane_peer::FrameReader::Result::kFrame) {
        answers_ += frame.kind == korvane_peer::FrameKind::kReply;
      }
      if (result == korvane_peer::FrameReader::Result::kBroken) {
        return false;
      }
    }
    return true;
  }

  size_t answers() const { return answers_; }

 private:
  int fd_;
  bool echoed_;
  size_t frame_size_ = 1;
  size_t echoed_bytes_ = 0;
  size_t answers_ = 0;
  korvane_peer::FrameReader reader_;
};

struct Servers {
  std::string frames_path;
  std::string echo_path;
};
Servers servers;

Bytes Message(uint32_t id, const std::string& channel, const Bytes& payload) {
  return *korvane_peer::EncodeMessage(id, channel, payload.data(),
                                      payload.size());
}

void FrameStream(benchmark::State& state, bool echoed, bool pipelined) {
  Stream stream(Connect(echoed ? servers.echo_path : servers.frames_path),
                echoed);
  const std::string channel = Method("pushControllerFrame");
  if (!echoed) {
    // The pad the frames are for, so that each one is written.
    if (!stream.Send(
            Message(1, Method("mountVirtualController"), MountArguments())) ||
        !stream.Receive()) {
      state.SkipWithError("no host");
      return;
    }
  }
  const size_t settled = stream.answers();
  const Bytes frame = Message(2, channel, FrameArguments());
  size_t sent = 0;
  for (auto _ : state) {
    if (!stream.Send(frame)) {
      state.SkipWithError("connection lost");
      return;
    }
    ++sent;
    while (settled + sent - stream.answers() >= (pipelined ? kInFlight : 1)) {
      if (!stream.Receive()) {
        state.SkipWithError("connection lost");
        return;
      }
    }
  }
  while (stream.answers() < settled + sent && stream.Receive()) {
  }
  state.SetItemsProcessed(static_cast<int64_t>(sent));
}

pid_t SpawnSelf(const char* flag, const std::string& path) {
  const std::string argument = flag + path;
  char self[] = "/proc/self/exe";
  char* argv[] = {self, const_cast<char*>(argument.c_str()), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, self, nullptr, nullptr, argv, environ) != 0) {
    return -1;
  }
  return pid;
}

void Stop(pid_t pid) {
  if (pid > 0) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && g_str_has_prefix(argv[1], kServeFlag)) {
    return ServeFrames(argv[1] + strlen(kServeFlag));
  }
  if (argc == 2 && g_str_has_prefix(argv[1], kEchoFlag)) {
    return Echo(argv[1] + strlen(kEchoFlag));
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  g_autofree gchar* directory = g_dir_make_tmp("frame-stream-XXXXXX", nullptr);
  servers.frames_path = std::string(directory) + "/frames.sock";
  servers.echo_path = std::string(directory) + "/echo.sock";
  const pid_t frame_server = SpawnSelf(kServeFlag, servers.frames_path);
  const pid_t echo_server = SpawnSelf(kEchoFlag, servers.echo_path);
  for (bool echoed : {false, true}) {
    for (bool pipelined : {false, true}) {
      const std::string name = std::string("FrameStream/") +
                               (echoed ? "bare_echo" : "program") +
                               (pipelined ? "/pipelined" : "/round_trip");
      benchmark::RegisterBenchmark(name.c_str(), FrameStream, echoed, pipelined)
          ->UseRealTime();
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Stop(frame_server);
  Stop(echo_server);
  unlink(servers.frames_path.c_str());
  unlink(servers.echo_path.c_str());
  rmdir(directory);
  return 0;
}
