// The real program under a private X server, driven from outside as the
// Dart side and the desktop would: korvane-peer on its peer socket, signals,
// and the window as the X server sees it.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gio/gio.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bridge_methods.h"
#include "bytes.h"
#include "fl_engine_private.h"
#include "frame.h"
#include "peer_test_support.h"
#include "pigeon/korvane_bridge_codec.h"
#include "private_desktop.h"
#include "program_under_test.h"
#include "socket_path.h"

// Last: Xlib's macros (None, Status, ...) break the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using program_testing::Contains;
using program_testing::Eventually;
using program_testing::kPatienceUs;
using program_testing::PeerRun;
using program_testing::Program;
using program_testing::ReadLine;

// Under AddressSanitizer the program runs several times slower and keeps
// freed memory in quarantine, so its resident size says nothing of what it
// holds.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitized = true;
#elif defined(__has_feature)
constexpr bool kAddressSanitized = __has_feature(address_sanitizer);
#else
constexpr bool kAddressSanitized = false;
#endif

constexpr char kTitle[] = "Korvane Desktop";

// The program's top-level windows as the X server sees them. Without a
// window manager they are the root window's children.
class Screen {
 public:
  Screen() : display_(XOpenDisplay(nullptr)) {}
  ~Screen() {
    if (display_ != nullptr) {
      XCloseDisplay(display_);
    }
  }
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;

  bool connected() const { return display_ != nullptr; }
  Window root() const { return DefaultRootWindow(display_); }

  std::vector<Window> WindowsTitled(const char* title) {
    std::vector<Window> found;
    Window root, parent;
    Window* children = nullptr;
    unsigned int count = 0;
    XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children,
               &count);
    for (unsigned int i = 0; i < count; i++) {
      char* name = nullptr;
      if (XFetchName(display_, children[i], &name) && name != nullptr) {
        if (g_strcmp0(name, title) == 0) {
          found.push_back(children[i]);
        }
        XFree(name);
      }
    }
    if (children != nullptr) {
      XFree(children);
    }
    return found;
  }

  size_t ViewableCount(const char* title) {
    size_t viewable = 0;
    for (Window window : WindowsTitled(title)) {
      viewable += Attributes(window).map_state == IsViewable;
    }
    return viewable;
  }

  XWindowAttributes Attributes(Window window) {
    XWindowAttributes attributes{};
    XGetWindowAttributes(display_, window, &attributes);
    return attributes;
  }

  XSizeHints SizeHints(Window window) {
    XSizeHints hints{};
    long supplied = 0;
    XGetWMNormalHints(display_, window, &hints, &supplied);
    return hints;
  }

  // The Motif hints through which GTK asks window managers for no frame:
  // flags, functions, decorations, input mode, status.
  std::vector<long> MotifHints(Window window) {
    Atom atom = XInternAtom(display_, "_MOTIF_WM_HINTS", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::vector<long> hints;
    if (XGetWindowProperty(display_, window, atom, 0, 5, False, atom, &type,
                           &format, &count, &after, &data) == Success &&
        data != nullptr) {
      const long* values = reinterpret_cast<const long*>(data);
      hints.assign(values, values + count);
    }
    if (data != nullptr) {
      XFree(data);
    }
    return hints;
  }

  Window CreateWindow(int width, int height) {
    Window window = XCreateSimpleWindow(display_, root(), 10, 10, width, height,
                                        0, 0, 0x3366cc);
    XMapWindow(display_, window);
    XSync(display_, False);
    return window;
  }

  void DestroyWindow(Window window) {
    XDestroyWindow(display_, window);
    XSync(display_, False);
  }

  // What a window manager sends when the user clicks the close button.
  void AskToClose(Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = XInternAtom(display_, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window, False, NoEventMask, &event);
    XFlush(display_);
  }

 private:
  Display* display_;
};

// The driver health that the program reports on this machine.
std::string ExpectedHealth() {
  struct Readiness {
    int value;
    const char* can_inject;
    const char* message;
  } readiness;
  if (access("/dev/uinput", F_OK) != 0) {
    readiness = {1, "false",
                 "Kernel module uinput is not loaded. Click Repair to run "
                 "modprobe uinput."};
  } else if (access("/dev/uinput", R_OK | W_OK) != 0) {
    readiness = {2, "false",
                 "Write permission required on /dev/uinput. Click Repair to "
                 "install the uaccess udev rule."};
  } else {
    readiness = {0, "true",
                 "Linux /dev/uinput + Evdev Virtual Gamepad Bridge Ready "
                 "(SteamOS / Proton Compatible)"};
  }
  return "NativeDriverHealth(readiness: " + std::to_string(readiness.value) +
         ", backend_name: \"Linux uinput + Evdev (SteamOS)\", "
         "mounted_controller_count: 0, can_inject_mouse_and_keyboard: " +
         readiness.can_inject + ", status_message: \"" + readiness.message +
         "\")";
}

bool UinputReady() {
  return access("/dev/uinput", R_OK | W_OK) == 0;
}

// A method call as the Dart side encodes it, framed with `id`.
korvane_peer::Bytes Request(uint32_t id,
                            const std::string& method,
                            const std::vector<std::string>& arguments = {}) {
  const korvane_peer_tool::BridgeMethod* found =
      korvane_peer_tool::FindBridgeMethod(method);
  EXPECT_NE(found, nullptr) << method;
  std::string error;
  g_autoptr(FlValue) request =
      korvane_peer_tool::BuildRequest(*found, arguments, &error);
  EXPECT_NE(request, nullptr) << error;
  g_autoptr(FlMessageCodec) codec = FL_MESSAGE_CODEC(
      g_object_new(korvane_bridge_message_codec_get_type(), nullptr));
  g_autoptr(GBytes) payload =
      fl_message_codec_encode_message(codec, request, nullptr);
  gsize size = 0;
  const auto* data =
      static_cast<const uint8_t*>(g_bytes_get_data(payload, &size));
  return *korvane_peer::EncodeMessage(id, found->channel, data, size);
}

// A peer on a bare socket, for what korvane-peer never does: half frames,
// frames that break the rules, requests it never reads the replies to.
class RawPeer {
 public:
  explicit RawPeer(const std::string& path)
      : fd_(korvane_peer::ConnectToSocket(path)) {}
  ~RawPeer() {
    if (fd_ >= 0) {
      close(fd_);
    }
  }
  RawPeer(const RawPeer&) = delete;
  RawPeer& operator=(const RawPeer&) = delete;

  bool connected() const { return fd_ >= 0; }

  bool Send(const korvane_peer::Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t sent =
          send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      if (sent <= 0) {
        return false;
      }
      done += sent;
    }
    return true;
  }

  // Sends what the socket takes within `wait_ms`; the count of bytes sent.
  size_t SendWhileTaken(const korvane_peer::Bytes& bytes, int wait_ms) {
    size_t done = 0;
    while (done < bytes.size()) {
      pollfd ready = {fd_, POLLOUT, 0};
      if (poll(&ready, 1, wait_ms) != 1 || !(ready.revents & POLLOUT)) {
        break;
      }
      ssize_t sent = send(fd_, bytes.data() + done, bytes.size() - done,
                          MSG_NOSIGNAL | MSG_DONTWAIT);
      if (sent <= 0) {
        break;
      }
      done += sent;
    }
    return done;
  }

  // Sends the rest of `bytes`, from `offset`, while reading replies, until
  // `expected` have come; the count of those that came in order of id from
  // 1 before the host stopped answering or answered out of turn.
  size_t CatchUp(const korvane_peer::Bytes& bytes,
                 size_t offset,
                 size_t expected) {
    size_t replies = 0;
    const gint64 deadline = g_get_monotonic_time() + 6 * kPatienceUs;
    while (replies < expected && g_get_monotonic_time() < deadline) {
      pollfd ready = {fd_, POLLIN, 0};
      if (offset < bytes.size()) {
        ready.events |= POLLOUT;
      }
      if (poll(&ready, 1, 1000) < 0) {
        break;
      }
      if (ready.revents & POLLOUT) {
        ssize_t sent = send(fd_, bytes.data() + offset, bytes.size() - offset,
                            MSG_NOSIGNAL | MSG_DONTWAIT);
        offset += std::max<ssize_t>(sent, 0);
      }
      if (ready.revents & (POLLIN | POLLHUP)) {
        uint8_t chunk[64 * 1024];
        ssize_t got = recv(fd_, chunk, sizeof(chunk), MSG_DONTWAIT);
        if (got <= 0) {
          break;
        }
        reader_.Append(chunk, got);
        korvane_peer::Frame frame;
        std::string problem;
        while (reader_.Next(&frame, &problem) ==
               korvane_peer::FrameReader::Result::kFrame) {
          if (frame.kind != korvane_peer::FrameKind::kReply ||
              frame.id != replies + 1) {
            return replies;
          }
          replies++;
        }
      }
    }
    return replies;
  }

  // The next frame from the host, or nothing when the host closed the
  // connection or sent nothing in time (then `*closed` tells which).
  std::optional<korvane_peer::Frame> Next(bool* closed = nullptr) {
    const gint64 deadline = g_get_monotonic_time() + kPatienceUs;
    for (;;) {
      korvane_peer::Frame frame;
      std::string problem;
      if (reader_.Next(&frame, &problem) ==
          korvane_peer::FrameReader::Result::kFrame) {
        return frame;
      }
      const int wait_ms =
          std::max<gint64>(0, (deadline - g_get_monotonic_time()) / 1000);
      pollfd ready = {fd_, POLLIN, 0};
      uint8_t chunk[64 * 1024];
      ssize_t got = poll(&ready, 1, wait_ms) == 1
                        ? recv(fd_, chunk, sizeof(chunk), 0)
                        : -1;
      if (got <= 0) {
        if (closed != nullptr) {
          *closed = got == 0;
        }
        return std::nullopt;
      }
      reader_.Append(chunk, got);
    }
  }

  // True when the host closes the connection without sending anything.
  bool ClosedByHost() {
    bool closed = false;
    return !Next(&closed).has_value() && closed;
  }

  // The reply payload to one call, which must be the next frame.
  std::optional<korvane_peer::Bytes> Call(
      const std::string& method,
      const std::vector<std::string>& arguments = {}) {
    const uint32_t id = next_id_++;
    if (!Send(Request(id, method, arguments))) {
      return std::nullopt;
    }
    std::optional<korvane_peer::Frame> reply = Next();
    if (!reply || reply->kind != korvane_peer::FrameKind::kReply ||
        reply->id != id) {
      return std::nullopt;
    }
    return reply->payload;
  }

 private:
  int fd_;
  korvane_peer::FrameReader reader_;
  uint32_t next_id_ = 1;
};

// Little-endian length, then whatever else the test wants to say.
korvane_peer::Bytes LengthThen(uint32_t length,
                               const korvane_peer::Bytes& rest = {}) {
  korvane_peer::Bytes bytes = {
      static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
      static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 24)};
  bytes.insert(bytes.end(), rest.begin(), rest.end());
  return bytes;
}

class ProgramE2eTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(screen_.connected()) << "needs X"; }

  peer_testing::TempDir dir_;
  Screen screen_;
};

TEST_F(ProgramE2eTest, WindowShowsAfterItsFirstFrameUndecoratedAtItsSizes) {
  // The Dart side takes its time with the first frame, as a real one can.
  Program program(dir_, "slow", {"--first-frame-delay-ms=3000"});
  ASSERT_TRUE(program.Serving());
  ASSERT_TRUE(
      Eventually([&] { return screen_.WindowsTitled(kTitle).size() == 1; }));
  const Window window = screen_.WindowsTitled(kTitle)[0];
  EXPECT_NE(screen_.Attributes(window).map_state, IsViewable)
      << "shown before the first frame";

  ASSERT_TRUE(Eventually([&] { return screen_.ViewableCount(kTitle) == 1; }));
  const XWindowAttributes attributes = screen_.Attributes(window);
  EXPECT_EQ(attributes.width, 1080);
  EXPECT_EQ(attributes.height, 680);
  const XSizeHints hints = screen_.SizeHints(window);
  EXPECT_TRUE(hints.flags & PMinSize);
  EXPECT_EQ(hints.min_width, 900);
  EXPECT_EQ(hints.min_height, 600);
  const std::vector<long> motif = screen_.MotifHints(window);
  ASSERT_EQ(motif.size(), 5u) << "no request for an undecorated window";
  constexpr long kDecorationsFlag = 1L << 1;
  EXPECT_TRUE(motif[0] & kDecorationsFlag);
  EXPECT_EQ(motif[2], 0) << "decorations asked for";

  // Every launch is its own instance with its own window.
  Program second(dir_, "second");
  ASSERT_TRUE(second.Serving());
  EXPECT_TRUE(Eventually([&] { return screen_.ViewableCount(kTitle) == 2; }));
}

TEST_F(ProgramE2eTest, ArgumentsReachTheDartSideUnchanged) {
  // Options that GApplication or GTK would take for their own included.
  const std::vector<std::string> arguments = {
      "--help",
      "--gapplication-service",
      "--display=:99",
      "two words",
      "",
      "ünïcödé",
      "--peer-socket=" + dir_.File("a.sock")};
  Program program(dir_, "a", arguments);
  ASSERT_TRUE(program.Serving());
  PeerRun run = program.Peer({"send", FL_ENGINE_DART_ARGUMENTS_CHANNEL});
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_TRUE(g_str_has_prefix(run.out.c_str(), "reply "));
  std::optional<flutter_testing::Bytes> reply =
      flutter_testing::FromHex(run.out.substr(6));
  ASSERT_TRUE(reply.has_value());
  g_autoptr(FlStandardMessageCodec) codec = fl_standard_message_codec_new();
  g_autoptr(GBytes) bytes = flutter_testing::ToGBytes(*reply);
  g_autoptr(FlValue) received =
      fl_message_codec_decode_message(FL_MESSAGE_CODEC(codec), bytes, nullptr);
  ASSERT_NE(received, nullptr);
  std::vector<std::string> strings;
  for (size_t i = 0; i < fl_value_get_length(received); i++) {
    strings.push_back(
        fl_value_get_string(fl_value_get_list_value(received, i)));
  }
  EXPECT_EQ(strings, arguments);
  EXPECT_TRUE(Eventually([&] { return screen_.ViewableCount(kTitle) == 1; }));
}

TEST_F(ProgramE2eTest, ControllerAndPermissionMethodsThroughThePeerSocket) {
  Program program(dir_, "host");
  ASSERT_TRUE(program.Serving());
  const std::string ready = UinputReady() ? "true" : "false";
  // One call per line; the script stops at the first that fails.
  PeerRun run = program.Peer({"script", "-"},
                             "# a session\n"
                             "getDriverHealth\n"
                             "hasDesktopInputPermission\n"
                             "hasScreenRecordingPermission\n"
                             "requestScreenRecordingPermission\n"
                             "\n"
                             "unmountVirtualController player_number=3\n"
                             "unmountAllControllers\n"
                             "pushControllerFrame player_number=1\n"
                             "send no.such.channel\n"
                             "getDriverHealth\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, ExpectedHealth() + "\n" + ready +
                         "\ntrue\ntrue\ntrue\nnull\nnull\n");
  EXPECT_TRUE(Contains(run.err, "no handler on no.such.channel")) << run.err;
  EXPECT_TRUE(Contains(run.err, "script stopped at line 10")) << run.err;

  // A declined repair: the new health goes out as an event first, then as
  // the reply, both as the node is afterwards.
  PeerRun repair = program.Peer({"setupOrRepairDriver"});
  EXPECT_EQ(repair.status, 0) << repair.err;
  EXPECT_EQ(repair.out, "onDriverHealthChanged " + ExpectedHealth() + "\n" +
                            ExpectedHealth() + "\n");
  PeerRun permission = program.Peer({"requestDesktopInputPermission"});
  EXPECT_EQ(permission.out, ready + "\n");
  if (!UinputReady()) {
    const std::string log = program.PkexecLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    EXPECT_TRUE(g_str_has_prefix(log.c_str(), "sh -c modprobe uinput")) << log;
  }

  for (const std::vector<std::string>& wrong :
       {std::vector<std::string>{"mountVirtualController", "colour=red"},
        {"unmountVirtualController"},
        {"noSuchMethod"},
        {"send", "any.channel", "0x1"}}) {
    EXPECT_EQ(program.Peer(wrong).status, 2) << wrong[0];
  }
}

TEST_F(ProgramE2eTest, ListenerThatConnectedLastReceivesTheEvents) {
  Program program(dir_, "host");
  ASSERT_TRUE(program.Serving());
  // The caller reads its script from standard input; once it has answered a
  // first call it is surely connected, so the listener started after it is
  // the newest peer when the repair raises its event.
  g_autoptr(GSubprocess) caller = program.StartPeer({"script", "-"});
  GOutputStream* to_caller = g_subprocess_get_stdin_pipe(caller);
  g_autoptr(GDataInputStream) caller_output =
      g_data_input_stream_new(g_subprocess_get_stdout_pipe(caller));
  const std::string first = "hasScreenRecordingPermission\n";
  ASSERT_TRUE(g_output_stream_write_all(to_caller, first.data(), first.size(),
                                        nullptr, nullptr, nullptr));
  ASSERT_EQ(ReadLine(caller_output), "true");

  g_autoptr(GSubprocess) listener =
      program.StartPeer({"--timeout=20", "listen", "1"});
  g_autoptr(GDataInputStream) listener_status =
      g_data_input_stream_new(g_subprocess_get_stderr_pipe(listener));
  ASSERT_EQ(ReadLine(listener_status), "korvane-peer: listening");

  const std::string repair = "setupOrRepairDriver\n";
  ASSERT_TRUE(g_output_stream_write_all(to_caller, repair.data(), repair.size(),
                                        nullptr, nullptr, nullptr));
  ASSERT_TRUE(g_output_stream_close(to_caller, nullptr, nullptr));
  EXPECT_EQ(ReadLine(caller_output), ExpectedHealth());
  EXPECT_EQ(ReadLine(caller_output), "") << "nothing else reached the caller";
  ASSERT_TRUE(g_subprocess_wait(caller, nullptr, nullptr));
  EXPECT_EQ(g_subprocess_get_exit_status(caller), 0);

  PeerRun listened = Program::Finish(listener);
  EXPECT_EQ(listened.status, 0) << listened.err;
  EXPECT_EQ(listened.out, "onDriverHealthChanged " + ExpectedHealth() + "\n");
}

TEST_F(ProgramE2eTest, TerminationAndClosingTheWindowShutDownCleanly) {
  {
    Program program(dir_, "terminated");
    ASSERT_TRUE(program.Serving());
    ASSERT_TRUE(Eventually([&] { return screen_.ViewableCount(kTitle) == 1; }));
    program.Signal(SIGTERM);
    EXPECT_TRUE(program.ExitsCleanly()) << program.Stderr();
    EXPECT_FALSE(g_file_test(program.socket().c_str(), G_FILE_TEST_EXISTS));
    PeerRun late = program.Peer({"getDriverHealth"});
    EXPECT_EQ(late.status, 1);
    EXPECT_TRUE(Contains(late.err, "cannot connect")) << late.err;
  }
  {
    Program program(dir_, "closed");
    ASSERT_TRUE(program.Serving());
    ASSERT_TRUE(Eventually([&] { return screen_.ViewableCount(kTitle) == 1; }));
    screen_.AskToClose(screen_.WindowsTitled(kTitle)[0]);
    EXPECT_TRUE(program.ExitsCleanly()) << program.Stderr();
    EXPECT_FALSE(g_file_test(program.socket().c_str(), G_FILE_TEST_EXISTS));
  }
}

// The status panel and a deck button as the app uses them, with a sound
// server of the test's own: PulseAudio, reached through pactl alone.
TEST_F(ProgramE2eTest, TelemetryAndAVolumeStepWithAPrivateSoundServer) {
  desktop_testing::ToolPath tools({"wpctl", "playerctl"});
  desktop_testing::PrivatePulseAudio pulse;
  ASSERT_TRUE(pulse.ready());
  ASSERT_TRUE(pulse.SetVolume("40%"));
  Program program(dir_, "sound");
  ASSERT_TRUE(program.Serving());
  const auto snapshot_shows = [&](const std::string& volume) {
    return Eventually([&] {
      const std::string snapshot =
          program.Peer({"getSystemTelemetrySnapshot"}).out;
      return Contains(snapshot, "has_active_media: false") &&
             Contains(snapshot, "volume_percent: " + volume +
                                    ", is_muted: false, cpu_usage_percent: ");
    });
  };
  EXPECT_TRUE(snapshot_shows("40"));

  PeerRun up =
      program.Peer({"triggerDeckAction", "action_id=up", "action_type=3"});
  EXPECT_EQ(up.out, "true\n") << up.err;
  EXPECT_TRUE(Contains(pulse.Volume(), "45%")) << pulse.Volume();
  EXPECT_TRUE(snapshot_shows("45"));
}

// A desktop tool that never exits holds up only the deck press that ran it:
// the program answers meanwhile, and the press once the tool's time limit
// has ended it.
TEST_F(ProgramE2eTest, AToolThatNeverExitsHoldsUpOnlyItsOwnPress) {
  desktop_testing::ToolPath tools({"wpctl", "pactl"});
  tools.Script("playerctl",
               "exec '" + desktop_testing::RealTool("sleep") + "' 600");
  Program program(dir_, "hang");
  ASSERT_TRUE(program.Serving());
  const gint64 start = g_get_monotonic_time();
  g_autoptr(GSubprocess) press = program.StartPeer(
      {"triggerDeckAction", "action_id=play", "action_type=0"});
  PeerRun snapshot = program.Peer({"getSystemTelemetrySnapshot"});
  EXPECT_EQ(snapshot.status, 0) << snapshot.err;
  EXPECT_LT(g_get_monotonic_time() - start, 4 * G_USEC_PER_SEC)
      << "the snapshot waited for the tool";
  PeerRun pressed = Program::Finish(press);
  EXPECT_GE(g_get_monotonic_time() - start, 5 * G_USEC_PER_SEC);
  EXPECT_EQ(pressed.status, 0) << pressed.err;
  EXPECT_TRUE(pressed.out == "true\n" || pressed.out == "false\n")
      << pressed.out;
  EXPECT_EQ(program.Peer({"getDriverHealth"}).status, 0);
}

// The second screen as the app uses it: the window list, then the desktop
// saved as a JPEG file that any image reader opens.
TEST_F(ProgramE2eTest, DesktopListedAndCapturedToAJpegFile) {
  Program program(dir_, "screen");
  ASSERT_TRUE(program.Serving());
  EXPECT_TRUE(Eventually([&] { return screen_.ViewableCount(kTitle) == 1; }));
  PeerRun list = program.Peer({"listCapturableWindows"});
  ASSERT_EQ(list.status, 0) << list.err;
  const std::string desktop = list.out.substr(0, list.out.find('\n'));
  EXPECT_TRUE(
      Contains(desktop, "window_title: \"Linux Desktop (Full Screen)\""))
      << desktop;
  EXPECT_TRUE(Contains(desktop, "width: 1280, height: 1024")) << desktop;
  EXPECT_FALSE(Contains(list.out, kTitle)) << "the program's own window";

  const std::string root_id = std::to_string(screen_.root());
  EXPECT_TRUE(Contains(desktop, "window_id: " + root_id + ",")) << desktop;
  const std::string jpeg = dir_.File("desktop.jpg");
  PeerRun capture = program.Peer({"captureWindowFrame", "--save", jpeg,
                                  "window_id=" + root_id, "target_width=640",
                                  "target_height=360", "jpeg_quality=80",
                                  "previous_frame_hash=0"});
  ASSERT_EQ(capture.status, 0) << capture.err;
  EXPECT_TRUE(Contains(capture.out,
                       "source_width: 1280, source_height: 1024, "
                       "encoded_width: 640, encoded_height: 360"))
      << capture.out.substr(capture.out.find("source_width"));
  g_autoptr(GError) error = nullptr;
  g_autoptr(GdkPixbuf) decoded = gdk_pixbuf_new_from_file(jpeg.c_str(), &error);
  ASSERT_NE(decoded, nullptr) << error->message;
  EXPECT_EQ(gdk_pixbuf_get_width(decoded), 640);
  EXPECT_EQ(gdk_pixbuf_get_height(decoded), 360);
}

TEST_F(ProgramE2eTest,
       SocketThatCannotBeServedIsReportedAndTheWindowStillShows) {
  Program program(dir_, "unserved",
                  {"--peer-socket=" + dir_.File("no/such/dir.sock")});
  program.ExpectWarnings();
  EXPECT_TRUE(Eventually([&] { return screen_.ViewableCount(kTitle) == 1; }));
  EXPECT_TRUE(Eventually([&] {
    return Contains(program.Stderr(), "Failed to start Flutter engine");
  }));
}

// Peers that break off, break the rules, come and go by the thousand and
// stop reading: after each, the program still answers a new peer, a peer
// connected before it all still gets the same answers, and nothing that the
// faults took stays taken.
TEST_F(ProgramE2eTest, FaultyPeersLeaveTheProgramServingAsBefore) {
  Program program(dir_, "faults");
  program.ExpectWarnings();
  ASSERT_TRUE(program.Serving());
  RawPeer kept(program.socket());
  ASSERT_TRUE(kept.connected());
  const std::optional<korvane_peer::Bytes> health =
      kept.Call("getDriverHealth");
  const std::optional<korvane_peer::Bytes> windows =
      kept.Call("listCapturableWindows");
  ASSERT_TRUE(health && windows);
  const size_t files = program.OpenFiles();
  const long rss_before = program.RssKib();

  const auto still_serving = [&](const char* after) {
    SCOPED_TRACE(after);
    EXPECT_EQ(kept.Call("getDriverHealth"), health);
    EXPECT_EQ(kept.Call("listCapturableWindows"), windows);
    PeerRun fresh = program.Peer({"getDriverHealth"});
    EXPECT_EQ(fresh.out, ExpectedHealth() + "\n") << fresh.err;
    EXPECT_TRUE(Eventually([&] { return program.OpenFiles() == files; }))
        << program.OpenFiles() << " open files, " << files << " before";
  };

  {
    RawPeer half(program.socket());
    korvane_peer::Bytes whole = Request(1, "getDriverHealth");
    whole.resize(whole.size() / 2);
    ASSERT_TRUE(half.Send(whole));
  }
  still_serving("half a frame");
  for (uint32_t length : {0u, korvane_peer::kMaxFrameLength + 1, 0xffffffffu}) {
    RawPeer bad(program.socket());
    ASSERT_TRUE(bad.Send(LengthThen(length, {1, 0, 0, 0, 0})));
    EXPECT_TRUE(bad.ClosedByHost()) << "length " << length;
  }
  // Judged on its header: the peer need not send the 64 MiB it announced.
  RawPeer announced(program.socket());
  ASSERT_TRUE(announced.Send(LengthThen(0xfffffff0u)));
  EXPECT_TRUE(announced.ClosedByHost());
  still_serving("frames that break the rules");
  const std::string log = program.Stderr();
  EXPECT_TRUE(Contains(log, "frame length 0")) << log;
  EXPECT_TRUE(Contains(log, "over the limit")) << log;

  // In batches, so that a hundred are connected at once; a quarter drop
  // with a whole message in flight and a quarter in the middle of one.
  const korvane_peer::Bytes message = Request(7, "listCapturableWindows");
  const korvane_peer::Bytes part(message.begin(),
                                 message.begin() + message.size() / 2);
  for (int batch = 0; batch < 10; batch++) {
    std::vector<std::unique_ptr<RawPeer>> peers;
    for (int i = 0; i < 100; i++) {
      peers.push_back(std::make_unique<RawPeer>(program.socket()));
      ASSERT_TRUE(peers.back()->connected()) << batch << " " << i;
      if (i % 4 == 1) {
        ASSERT_TRUE(peers.back()->Send(message));
      } else if (i % 4 == 2) {
        ASSERT_TRUE(peers.back()->Send(part));
      }
    }
  }
  still_serving("1000 peers gone");

  // Peers that only send: the host stops taking their requests once the
  // replies pile up unread, instead of holding them all. One of them goes
  // with its replies unread; the other then reads, and gets every reply.
  {
    korvane_peer::Bytes requests;
    size_t count = 0;
    const size_t request_bytes = (kAddressSanitized ? 3 : 16) * 1024 * 1024;
    while (requests.size() < request_bytes) {
      const korvane_peer::Bytes one = Request(++count, "getDriverHealth");
      requests.insert(requests.end(), one.begin(), one.end());
    }
    RawPeer reads_later(program.socket());
    size_t taken = 0;
    {
      RawPeer never_reads(program.socket());
      taken = never_reads.SendWhileTaken(requests, 2000);
      const size_t taken_later = reads_later.SendWhileTaken(requests, 2000);
      long rss_peak = 0;
      gint64 slowest_us = 0;
      for (int i = 0; i < 5; i++) {
        const gint64 start = g_get_monotonic_time();
        EXPECT_EQ(kept.Call("getDriverHealth"), health);
        EXPECT_EQ(program.Peer({"getDriverHealth"}).status, 0);
        slowest_us = std::max(slowest_us, g_get_monotonic_time() - start);
        rss_peak = std::max(rss_peak, program.RssKib());
        g_usleep(100000);
      }
      std::printf(
          "figure: two peers that do not read: %zu and %zu of %zu request "
          "bytes taken; RSS %ld KiB before, %ld KiB at most while they "
          "stalled; slowest other call %" G_GINT64_FORMAT " ms\n",
          taken, taken_later, requests.size(), rss_before, rss_peak,
          slowest_us / 1000);
      EXPECT_LT(taken, requests.size()) << "the host took every request";
      if (!kAddressSanitized) {
        EXPECT_LT(rss_peak - rss_before, 24 * 1024);
      }
      EXPECT_LT(slowest_us, 3 * G_USEC_PER_SEC);
      taken = taken_later;
    }
    const gint64 start = g_get_monotonic_time();
    EXPECT_EQ(reads_later.CatchUp(requests, taken, count), count);
    std::printf("figure: %zu replies caught up in order in %" G_GINT64_FORMAT
                " ms\n",
                count, (g_get_monotonic_time() - start) / 1000);
  }
  still_serving("a peer that never read");
  std::printf("figure: RSS %ld KiB after all faults\n", program.RssKib());
}

// Windows closed while their captures and strokes are still on the way:
// every request gets its one reply and the program carries on.
TEST_F(ProgramE2eTest, WindowsDestroyedUnderCapturesAndStrokes) {
  Program program(dir_, "vanishing");
  ASSERT_TRUE(program.Serving());
  RawPeer kept(program.socket());
  const std::optional<korvane_peer::Bytes> windows =
      kept.Call("listCapturableWindows");
  ASSERT_TRUE(windows.has_value());

  RawPeer peer(program.socket());
  uint32_t next_id = 1;
  std::map<uint32_t, int> replies;
  for (int round = 0; round < 4; round++) {
    const Window window = screen_.CreateWindow(320, 240);
    const std::string id = "window_id=" + std::to_string(window);
    const auto send = [&](const std::string& method,
                          const std::vector<std::string>& arguments) {
      replies[next_id] = 0;
      ASSERT_TRUE(peer.Send(Request(next_id++, method, arguments)));
    };
    const auto burst = [&](int phase) {
      for (int i = 0; i < 20; i++) {
        send("captureWindowFrame",
             {id, "target_width=320", "target_height=240", "jpeg_quality=70"});
        send("injectWindowStylusEvent",
             {id, "normalized_u=0." + std::to_string(i % 10),
              "normalized_v=0.5", "phase=" + std::to_string(phase)});
      }
    };
    burst(0);
    burst(1);
    // Half a stroke later the window goes, the requests for it still coming.
    screen_.DestroyWindow(window);
    burst(1);
    burst(2);
  }
  size_t answered = 0;
  while (answered < replies.size()) {
    std::optional<korvane_peer::Frame> frame = peer.Next();
    ASSERT_TRUE(frame.has_value()) << answered << " of " << replies.size();
    ASSERT_EQ(frame->kind, korvane_peer::FrameKind::kReply);
    ASSERT_EQ(replies.count(frame->id), 1u) << frame->id;
    EXPECT_EQ(++replies[frame->id], 1) << "answered twice: " << frame->id;
    answered++;
  }
  EXPECT_EQ(kept.Call("listCapturableWindows"), windows);
  PeerRun fresh = program.Peer({"getDriverHealth"});
  EXPECT_EQ(fresh.out, ExpectedHealth() + "\n") << fresh.err;
}

}  // namespace
