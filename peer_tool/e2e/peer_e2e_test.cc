// Drives the e2e host from outside, as the Dart side would: through its peer
// socket, with korvane-peer, under a private X server.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "peer_test_support.h"

// Last: Xlib's macros (None, Status, ...) break the headers above.
#include <X11/Xlib.h>

namespace {

constexpr char kHostTitle[] = "Korvane e2e host";
constexpr guint kPatienceMs = 20000;

struct PeerRun {
  int status = -1;
  std::string out;
  std::string err;
};

// The next line of `stream`, without its end, or "" at its end or when none
// comes in time.
std::string ReadLine(GDataInputStream* stream) {
  struct Read {
    bool done = false;
    std::string line;
  } read;
  g_autoptr(GCancellable) cancellable = g_cancellable_new();
  guint timeout = g_timeout_add(
      kPatienceMs,
      [](gpointer c) {
        g_cancellable_cancel(G_CANCELLABLE(c));
        return G_SOURCE_REMOVE;
      },
      cancellable);
  g_data_input_stream_read_line_async(
      stream, G_PRIORITY_DEFAULT, cancellable,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto* read = static_cast<Read*>(data);
        g_autofree gchar* line = g_data_input_stream_read_line_finish(
            G_DATA_INPUT_STREAM(source), result, nullptr, nullptr);
        read->line = line != nullptr ? line : "";
        read->done = true;
      },
      &read);
  while (!read.done) {
    g_main_context_iteration(nullptr, TRUE);
  }
  if (!g_cancellable_is_cancelled(cancellable)) {
    g_source_remove(timeout);
  }
  return read.line;
}

bool WriteAll(GOutputStream* stream, const std::string& text) {
  return g_output_stream_write_all(stream, text.data(), text.size(), nullptr,
                                   nullptr, nullptr);
}

GDataInputStream* LinesOf(GInputStream* pipe) {
  return g_data_input_stream_new(pipe);
}

// Whether a top-level window titled `title` is on screen.
bool WindowIsViewable(const char* title) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    return false;
  }
  Window root, parent;
  Window* children = nullptr;
  unsigned int count = 0;
  bool viewable = false;
  XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children,
             &count);
  for (unsigned int i = 0; i < count; i++) {
    char* name = nullptr;
    XWindowAttributes attributes;
    if (XFetchName(display, children[i], &name) && name != nullptr &&
        g_strcmp0(name, title) == 0 &&
        XGetWindowAttributes(display, children[i], &attributes)) {
      viewable = attributes.map_state == IsViewable;
    }
    if (name != nullptr) {
      XFree(name);
    }
  }
  if (children != nullptr) {
    XFree(children);
  }
  XCloseDisplay(display);
  return viewable;
}

class PeerE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    socket_ = dir_.File("peer.sock");
    std::string argument = "--peer-socket=" + socket_;
    g_autoptr(GError) error = nullptr;
    host_ = g_subprocess_new(G_SUBPROCESS_FLAGS_STDOUT_PIPE, &error, E2E_HOST,
                             argument.c_str(), nullptr);
    ASSERT_NE(host_, nullptr) << error->message;
    host_output_ = LinesOf(g_subprocess_get_stdout_pipe(host_));
    // The host reports its first frame before it asks for its window.
    ASSERT_EQ(ReadLine(host_output_), "first-frame window-visible=no");
    ASSERT_EQ(ReadLine(host_output_), "mapped");
  }

  void TearDown() override {
    if (host_ != nullptr) {
      g_subprocess_force_exit(host_);
      g_subprocess_wait(host_, nullptr, nullptr);
    }
    g_clear_object(&host_output_);
    g_clear_object(&host_);
  }

  GSubprocess* StartPeer(const std::vector<std::string>& arguments) {
    std::vector<const char*> argv = {KORVANE_PEER};
    std::string socket_option = "--socket=" + socket_;
    argv.push_back(socket_option.c_str());
    for (const std::string& argument : arguments) {
      argv.push_back(argument.c_str());
    }
    argv.push_back(nullptr);
    g_autoptr(GError) error = nullptr;
    GSubprocess* peer = g_subprocess_newv(
        argv.data(),
        static_cast<GSubprocessFlags>(G_SUBPROCESS_FLAGS_STDIN_PIPE |
                                      G_SUBPROCESS_FLAGS_STDOUT_PIPE |
                                      G_SUBPROCESS_FLAGS_STDERR_PIPE),
        &error);
    EXPECT_NE(peer, nullptr) << error->message;
    return peer;
  }

  static PeerRun Finish(GSubprocess* peer, const std::string& input = "") {
    PeerRun run;
    g_autofree gchar* out = nullptr;
    g_autofree gchar* err = nullptr;
    g_autoptr(GError) error = nullptr;
    EXPECT_TRUE(g_subprocess_communicate_utf8(peer, input.c_str(), nullptr,
                                              &out, &err, &error))
        << error->message;
    run.out = out != nullptr ? out : "";
    run.err = err != nullptr ? err : "";
    if (g_subprocess_get_if_exited(peer)) {
      run.status = g_subprocess_get_exit_status(peer);
    }
    return run;
  }

  PeerRun RunPeer(const std::vector<std::string>& arguments,
                  const std::string& input = "") {
    g_autoptr(GSubprocess) peer = StartPeer(arguments);
    return Finish(peer, input);
  }

  peer_testing::TempDir dir_;
  std::string socket_;
  GSubprocess* host_ = nullptr;
  GDataInputStream* host_output_ = nullptr;
};

TEST_F(PeerE2eTest, WindowIsOnScreenOnceTheFirstFrameIsDrawn) {
  EXPECT_TRUE(WindowIsViewable(kHostTitle));
}

TEST_F(PeerE2eTest, RawMessagesAndTheirFailures) {
  PeerRun echo = RunPeer({"send", "e2e.echo", "01 02 03"});
  EXPECT_EQ(echo.status, 0) << echo.err;
  EXPECT_EQ(echo.out, "reply 01 02 03\n");

  PeerRun unhandled = RunPeer({"send", "e2e.nobody", "00"});
  EXPECT_EQ(unhandled.status, 1);
  EXPECT_NE(unhandled.err.find("no handler on e2e.nobody"), std::string::npos);

  PeerRun bad_hex = RunPeer({"send", "e2e.echo", "0x1"});
  EXPECT_EQ(bad_hex.status, 2);
}

TEST_F(PeerE2eTest, MethodsPrintRecordsEventsAndErrorReplies) {
  PeerRun health = RunPeer({"getDriverHealth"});
  EXPECT_EQ(health.status, 0) << health.err;
  EXPECT_EQ(health.out,
            "NativeDriverHealth(readiness: 0, backend_name: \"e2e stub\", "
            "mounted_controller_count: 0, can_inject_mouse_and_keyboard: true, "
            "status_message: null)\n");

  // The event raised while the call runs is answered and printed first.
  PeerRun mount =
      RunPeer({"mountVirtualController", "player_number=3", "persona=1",
               "device_id=pad-3", "enable_rumble=true"});
  EXPECT_EQ(mount.status, 0) << mount.err;
  EXPECT_EQ(mount.out,
            "onControllerRumble NativeRumbleEvent(player_number: 3, "
            "left_motor_intensity: 200, right_motor_intensity: 0)\ntrue\n");

  PeerRun refused = RunPeer({"isUdpPortAllowedInFirewall", "port=26760"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out,
            "error unavailable: no firewall in the e2e host (details: null)\n");

  std::string jpeg = dir_.File("frame.jpg");
  PeerRun capture =
      RunPeer({"captureWindowFrame", "--save", jpeg, "window_id=0x1e00004",
               "target_width=640", "target_height=360", "jpeg_quality=80"});
  EXPECT_EQ(capture.status, 0) << capture.err;
  EXPECT_EQ(
      capture.out,
      "CapturedWindowFrame(window_id: 31457284, jpeg_bytes: [255, 216, 255, "
      "217], source_width: 1, source_height: 1, encoded_width: 640, "
      "encoded_height: 360, frame_hash: 7, is_unchanged: false, "
      "is_window_closed: false)\n");
  g_autofree gchar* saved = nullptr;
  gsize saved_size = 0;
  ASSERT_TRUE(g_file_get_contents(jpeg.c_str(), &saved, &saved_size, nullptr));
  EXPECT_EQ(std::string(saved, saved_size), "\xff\xd8\xff\xd9");

  for (const std::vector<std::string>& wrong :
       {std::vector<std::string>{"mountVirtualController", "colour=red"},
        {"unmountVirtualController"},
        {"captureWindowFrame", "window_id=twelve"},
        {"noSuchMethod"}}) {
    EXPECT_EQ(RunPeer(wrong).status, 2) << wrong[0];
  }
}

TEST_F(PeerE2eTest, ScriptRunsOneCallPerLineAndStopsAtTheFirstFailure) {
  std::string script = dir_.File("session.txt");
  ASSERT_TRUE(g_file_set_contents(script.c_str(),
                                  "# a session\n"
                                  "send e2e.echo 0a\n"
                                  "\n"
                                  "getDriverHealth\n"
                                  "send e2e.nobody\n"
                                  "send e2e.echo 0b\n",
                                  -1, nullptr));
  PeerRun run = RunPeer({"script", script});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out.rfind("reply 0a\nNativeDriverHealth(", 0), 0u) << run.out;
  EXPECT_EQ(run.out.find("reply 0b"), std::string::npos);
  EXPECT_NE(run.err.find("script stopped at line 5"), std::string::npos)
      << run.err;
}

TEST_F(PeerE2eTest, ListenerThatConnectedLastReceivesTheEvents) {
  // The caller reads its script from standard input; once it has answered a
  // first call it is surely connected, so the listener started after it is
  // the newest peer when the second call raises the event.
  g_autoptr(GSubprocess) caller = StartPeer({"script", "-"});
  GOutputStream* to_caller = g_subprocess_get_stdin_pipe(caller);
  g_autoptr(GDataInputStream) caller_output =
      LinesOf(g_subprocess_get_stdout_pipe(caller));
  ASSERT_TRUE(WriteAll(to_caller, "send e2e.echo 00\n"));
  ASSERT_EQ(ReadLine(caller_output), "reply 00");

  g_autoptr(GSubprocess) listener = StartPeer({"--timeout=20", "listen", "1"});
  g_autoptr(GDataInputStream) listener_status =
      LinesOf(g_subprocess_get_stderr_pipe(listener));
  ASSERT_EQ(ReadLine(listener_status), "korvane-peer: listening");

  ASSERT_TRUE(WriteAll(to_caller, "mountVirtualController player_number=2\n"));
  ASSERT_TRUE(g_output_stream_close(to_caller, nullptr, nullptr));
  EXPECT_EQ(ReadLine(caller_output), "true");
  EXPECT_EQ(ReadLine(caller_output), "") << "nothing else reached the caller";
  ASSERT_TRUE(g_subprocess_wait(caller, nullptr, nullptr));
  EXPECT_EQ(g_subprocess_get_exit_status(caller), 0);

  PeerRun listened = Finish(listener);
  EXPECT_EQ(listened.status, 0) << listened.err;
  EXPECT_EQ(listened.out,
            "onControllerRumble NativeRumbleEvent(player_number: 2, "
            "left_motor_intensity: 200, right_motor_intensity: 0)\n");
}

TEST_F(PeerE2eTest, SocketGoesWithTheHost) {
  g_subprocess_send_signal(host_, SIGTERM);
  EXPECT_EQ(ReadLine(host_output_), "closed");
  ASSERT_TRUE(g_subprocess_wait(host_, nullptr, nullptr));
  EXPECT_TRUE(g_subprocess_get_if_exited(host_));
  EXPECT_EQ(g_subprocess_get_exit_status(host_), 0);
  EXPECT_FALSE(g_file_test(socket_.c_str(), G_FILE_TEST_EXISTS));

  PeerRun late = RunPeer({"getDriverHealth"});
  EXPECT_EQ(late.status, 1);
  EXPECT_NE(late.err.find("cannot connect"), std::string::npos) << late.err;
}

}  // namespace
