// The real program on a private X server, driven from outside as the Dart
// side and the desktop would: korvane-peer, a raw peer socket and signals.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <numeric>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bridge_methods.h"
#include "bytes.h"
#include "fl_engine_private.h"
#include "frame.h"
#include "pigeon/korvane_bridge_codec.h"
#include "private_desktop.h"
#include "program_under_test.h"

// Last: Xlib's macros (None, Status, ...) break the headers above.
#include "x_server_testing.h"

#include <X11/Xutil.h>

namespace {

using korvane_peer::Bytes;
using program_testing::Contains;
using program_testing::Eventually;
using program_testing::ExpectedHealth;
using program_testing::PeerRun;
using program_testing::Program;

constexpr char kTitle[] = "Korvane Desktop";

// A method call as the Dart side encodes it, framed as a message with `id`.
Bytes Request(uint32_t id,
              const std::string& method,
              const std::vector<std::string>& arguments = {}) {
  const korvane_peer_tool::BridgeMethod* found =
      korvane_peer_tool::FindBridgeMethod(method);
  std::string error;
  g_autoptr(FlValue) request =
      korvane_peer_tool::BuildRequest(*found, arguments, &error);
  EXPECT_NE(request, nullptr) << method << ": " << error;
  g_autoptr(FlMessageCodec) codec = FL_MESSAGE_CODEC(
      g_object_new(korvane_bridge_message_codec_get_type(), nullptr));
  const Bytes payload = flutter_testing::EncodeMessage(codec, request);
  return *korvane_peer::EncodeMessage(id, found->channel, payload.data(),
                                      payload.size());
}

// A raw peer that keeps the ids of the replies it read, in order.
class RawPeer : public peer_testing::RawPeer {
 public:
  using peer_testing::RawPeer::RawPeer;

  // False when the host closed or went quiet before `count` replies came.
  bool Read(size_t count) {
    korvane_peer::Frame frame;
    while (reply_ids.size() < count) {
      if (!ReadFrame(&frame)) {
        return false;
      }
      if (frame.kind == korvane_peer::FrameKind::kReply) {
        reply_ids.push_back(frame.id);
        last_reply_ = frame.payload;
      }
    }
    return true;
  }

  std::optional<Bytes> Call(const std::string& method) {
    const size_t count = reply_ids.size() + 1;
    if (!SendAll(Request(count, method)) || !Read(count)) {
      return std::nullopt;
    }
    return last_reply_;
  }

  // Of the replies read so far, in order.
  std::vector<uint32_t> reply_ids;

 private:
  Bytes last_reply_;
};

// 1 to `count`.
std::vector<uint32_t> Ids(size_t count) {
  std::vector<uint32_t> ids(count);
  std::iota(ids.begin(), ids.end(), 1u);
  return ids;
}

// Without a window manager, the program's windows are the root's children.
class ProgramE2eTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(screen_.connected()) << "needs X"; }

  size_t ShownWindows() {
    const std::vector<Window> windows = screen_.TopLevelsNamed(kTitle);
    return std::count_if(windows.begin(), windows.end(),
                         [&](Window w) { return screen_.Viewable(w); });
  }

  peer_testing::TempDir dir_;
  x_server_testing::TestDisplay screen_;
};

TEST_F(ProgramE2eTest, WindowArgumentsAndMethodsAsTheDartSideSeesThem) {
  // Options that GApplication or GTK would take reach the Dart side too,
  // which takes its time with the first frame, as a real one can.
  const std::vector<std::string> arguments = {
      "--help",  "--gapplication-service",     "--display=:99", "two words", "",
      "ünïcödé", "--first-frame-delay-ms=3000"};
  Program program(dir_, "slow", arguments);
  ASSERT_TRUE(program.Serving());
  ASSERT_TRUE(
      Eventually([&] { return screen_.TopLevelsNamed(kTitle).size() == 1; }));
  const Window window = screen_.TopLevelsNamed(kTitle)[0];
  EXPECT_FALSE(screen_.Viewable(window)) << "shown before the first frame";

  ASSERT_TRUE(Eventually([&] { return ShownWindows() == 1; }));
  const XWindowAttributes attributes = screen_.Attributes(window);
  EXPECT_EQ(attributes.width, 1080);
  EXPECT_EQ(attributes.height, 680);
  XSizeHints hints{};
  long supplied = 0;
  XGetWMNormalHints(screen_.display(), window, &hints, &supplied);
  EXPECT_TRUE(hints.flags & PMinSize);
  EXPECT_EQ(hints.min_width, 900);
  EXPECT_EQ(hints.min_height, 600);
  // The Motif hints through which GTK asks window managers for no frame:
  // flags, functions, decorations, input mode, status.
  const std::vector<long> decorations =
      screen_.Property(window, "_MOTIF_WM_HINTS");
  ASSERT_EQ(decorations.size(), 5u) << "no request for an undecorated window";
  EXPECT_TRUE(decorations[0] & (1L << 1)) << "no decorations field";
  EXPECT_EQ(decorations[2], 0) << "decorations asked for";

  g_autoptr(FlValue) dart_arguments = flutter_testing::List(
      {fl_value_new_string(("--peer-socket=" + program.socket()).c_str())});
  for (const std::string& argument : arguments) {
    fl_value_append_take(dart_arguments, fl_value_new_string(argument.c_str()));
  }
  g_autoptr(FlStandardMessageCodec) codec = fl_standard_message_codec_new();
  EXPECT_EQ(program.Peer({"send", FL_ENGINE_DART_ARGUMENTS_CHANNEL}).out,
            "reply " +
                flutter_testing::ToHex(flutter_testing::EncodeMessage(
                    FL_MESSAGE_CODEC(codec), dart_arguments)) +
                "\n");

  const std::string health = ExpectedHealth();
  const std::string usable =
      Contains(health, "keyboard: true") ? "true\n" : "false\n";
  // One call per line; the script stops at the first that fails.
  PeerRun run = program.Peer(
      {"script", "-"},
      "# a session\ngetDriverHealth\nhasDesktopInputPermission\n"
      "hasScreenRecordingPermission\nrequestScreenRecordingPermission\n\n"
      "unmountVirtualController player_number=3\nunmountAllControllers\n"
      "pushControllerFrame player_number=1\nsend no.such.channel\n"
      "getDriverHealth\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, health + usable + "true\ntrue\ntrue\nnull\nnull\n");
  EXPECT_TRUE(Contains(run.err, "no handler on no.such.channel")) << run.err;
  EXPECT_TRUE(Contains(run.err, "script stopped at line 10")) << run.err;

  // A declined repair: the new health goes out as an event first, then as
  // the reply, both as the node is afterwards.
  PeerRun repair = program.Peer({"setupOrRepairDriver"});
  EXPECT_EQ(repair.status, 0) << repair.err;
  EXPECT_EQ(repair.out, "onDriverHealthChanged " + health + health);
  EXPECT_EQ(program.Peer({"requestDesktopInputPermission"}).out, usable);

  for (const std::vector<std::string>& wrong :
       {std::vector<std::string>{"mountVirtualController", "colour=red"},
        {"unmountVirtualController"},
        {"noSuchMethod"},
        {"send", "any.channel", "0x1"}}) {
    EXPECT_EQ(program.Peer(wrong).status, 2) << wrong[0];
  }

  // Every launch is its own instance, even one that cannot serve its socket.
  Program second(dir_, "unserved",
                 {"--peer-socket=" + dir_.File("no/such/dir.sock")});
  second.ExpectWarnings();
  EXPECT_TRUE(Eventually([&] { return ShownWindows() == 2; }));
  EXPECT_TRUE(Eventually([&] {
    return Contains(second.Stderr(), "Failed to start Flutter engine");
  }));

  // The window manager's close request, as the user's session sends it.
  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = window;
  close.xclient.message_type =
      XInternAtom(screen_.display(), "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] =
      XInternAtom(screen_.display(), "WM_DELETE_WINDOW", False);
  XSendEvent(screen_.display(), window, False, NoEventMask, &close);
  XFlush(screen_.display());
  EXPECT_TRUE(program.ExitsCleanly()) << program.Stderr();
}

// Sound through a private PulseAudio (pactl alone) and a media tool that
// never exits: a volume step shows in the snapshot, and the tool holds up
// only its own press, which answers once the tool's time limit ends it.
TEST_F(ProgramE2eTest, DeckPressesAndTelemetryWithToolsOfItsOwn) {
  desktop_testing::ToolPath tools({"wpctl"});
  tools.Script("playerctl",
               "exec '" + desktop_testing::RealTool("sleep") + "' 600");
  desktop_testing::PrivatePulseAudio pulse;
  ASSERT_TRUE(pulse.ready());
  ASSERT_TRUE(pulse.SetVolume("40%"));
  Program program(dir_, "deck");
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
  EXPECT_EQ(
      program.Peer({"triggerDeckAction", "action_id=up", "action_type=3"}).out,
      "true\n");
  EXPECT_TRUE(Contains(pulse.Volume(), "45%")) << pulse.Volume();
  EXPECT_TRUE(snapshot_shows("45"));

  const gint64 start = g_get_monotonic_time();
  g_autoptr(GSubprocess) press = program.StartPeer(
      {"triggerDeckAction", "action_id=play", "action_type=0"});
  EXPECT_EQ(program.Peer({"getSystemTelemetrySnapshot"}).status, 0);
  EXPECT_LT(g_get_monotonic_time() - start, 4 * G_USEC_PER_SEC)
      << "the snapshot waited for the tool";
  PeerRun pressed = Program::Finish(press);
  EXPECT_GE(g_get_monotonic_time() - start, 5 * G_USEC_PER_SEC);
  EXPECT_EQ(pressed.status, 0) << pressed.err;
}

// Windows vanishing under captures and strokes, peers that break the rules,
// come by the thousand or stop reading: afterwards every peer gets the same
// answers and no descriptor stays taken. SIGINT ends it cleanly.
TEST_F(ProgramE2eTest, ServesOnThroughVanishingWindowsAndFaultyPeers) {
  Program program(dir_, "faults");
  program.ExpectWarnings();
  ASSERT_TRUE(program.Serving());
  const std::string root_id = std::to_string(screen_.root());
  const PeerRun list = program.Peer({"listCapturableWindows"});
  EXPECT_TRUE(Contains(list.out, "window_id: " + root_id)) << list.err;
  EXPECT_FALSE(Contains(list.out, kTitle)) << "the program's own window";
  const std::string jpeg = dir_.File("desktop.jpg");
  PeerRun capture = program.Peer({"captureWindowFrame", "--save", jpeg,
                                  "window_id=" + root_id, "target_width=640",
                                  "target_height=360", "jpeg_quality=80"});
  EXPECT_TRUE(Contains(capture.out,
                       "source_width: 1280, source_height: 1024, "
                       "encoded_width: 640, encoded_height: 360"))
      << capture.err;
  g_autoptr(GError) error = nullptr;
  g_autoptr(GdkPixbuf) decoded = gdk_pixbuf_new_from_file(jpeg.c_str(), &error);
  ASSERT_NE(decoded, nullptr) << error->message;
  EXPECT_EQ(gdk_pixbuf_get_width(decoded), 640);
  EXPECT_EQ(gdk_pixbuf_get_height(decoded), 360);

  RawPeer kept(program.socket());
  uint32_t sent = 0;
  for (int round = 0; round < 4; round++) {
    x_server_testing::WindowLook look{10, 10, 320, 240};
    look.wait = false;
    const Window window = screen_.Create(look);
    const std::string id = "window_id=" + std::to_string(window);
    const auto burst = [&](int phase) {
      for (int i = 0; i < 20; i++) {
        ASSERT_TRUE(kept.SendAll(Request(
            ++sent, "captureWindowFrame",
            {id, "target_width=320", "target_height=240", "jpeg_quality=70"})));
        ASSERT_TRUE(kept.SendAll(
            Request(++sent, "injectWindowStylusEvent",
                    {id, "normalized_u=0." + std::to_string(i % 10),
                     "normalized_v=0.5", "phase=" + std::to_string(phase)})));
      }
    };
    burst(0);
    burst(1);
    // Half a stroke later the window goes, the requests for it still coming.
    screen_.Destroy(window, false);
    burst(1);
    burst(2);
  }
  ASSERT_TRUE(kept.Read(sent));
  std::vector<uint32_t> answered = kept.reply_ids;
  std::sort(answered.begin(), answered.end());
  EXPECT_TRUE(answered == Ids(sent))
      << answered.size() << " replies of " << sent << ", each once";
  EXPECT_EQ(program.Peer({"listCapturableWindows"}).out, list.out);
  EXPECT_FALSE(Contains(program.Stderr(), "WARNING")) << program.Stderr();

  const std::optional<Bytes> health = kept.Call("getDriverHealth");
  ASSERT_TRUE(health);
  const size_t files = program.OpenFiles();
  const auto still_serving = [&](const char* after) {
    SCOPED_TRACE(after);
    EXPECT_EQ(kept.Call("getDriverHealth"), health);
    EXPECT_EQ(program.Peer({"listCapturableWindows"}).out, list.out);
    EXPECT_TRUE(Eventually([&] { return program.OpenFiles() == files; }))
        << program.OpenFiles() << " open files, " << files << " before";
  };

  // The peer need not send the megabytes that it announced.
  for (uint32_t length : {0u, korvane_peer::kMaxFrameLength + 1, 0xffffffffu}) {
    RawPeer bad(program.socket());
    ASSERT_TRUE(bad.SendAll({static_cast<uint8_t>(length),
                             static_cast<uint8_t>(length >> 8),
                             static_cast<uint8_t>(length >> 16),
                             static_cast<uint8_t>(length >> 24)}));
    EXPECT_TRUE(bad.ClosedByHost()) << "length " << length;
  }
  still_serving("frames that break the rules");
  EXPECT_TRUE(Contains(program.Stderr(), "frame length 0"));
  EXPECT_TRUE(Contains(program.Stderr(), "over the limit"));

  // In batches, so that a hundred are connected at once; a quarter drop
  // with a whole message in flight and a quarter in the middle of one.
  const Bytes message = Request(7, "listCapturableWindows");
  const Bytes part(message.begin(), message.begin() + message.size() / 2);
  for (int batch = 0; batch < 10; batch++) {
    std::deque<RawPeer> peers;
    for (int i = 0; i < 100; i++) {
      ASSERT_TRUE(peers.emplace_back(program.socket())
                      .SendAll(i % 4 == 1   ? message
                               : i % 4 == 2 ? part
                                            : Bytes{}));
    }
  }
  still_serving("1000 peers gone");

  // Peers that only send: the host stops reading them once their replies
  // pile up, and keeps answering others. One goes with its replies unread;
  // the other then reads, and gets every reply in order.
  Bytes requests;
  size_t count = 0;
  // Their replies come to far more than the host lets wait.
  while (requests.size() < 3u * 1024 * 1024) {
    const Bytes one = Request(++count, "getDriverHealth");
    requests.insert(requests.end(), one.begin(), one.end());
  }
  {
    RawPeer reads_later(program.socket(), std::chrono::seconds(2));
    size_t taken = 0;
    {
      RawPeer never_reads(program.socket(), std::chrono::seconds(2));
      EXPECT_LT(never_reads.Send(requests), requests.size())
          << "the host took every request";
      taken = reads_later.Send(requests);
      EXPECT_LT(taken, requests.size());
      EXPECT_EQ(kept.Call("getDriverHealth"), health);
      EXPECT_EQ(program.Peer({"getDriverHealth"}).status, 0);
    }
    reads_later.Patience(std::chrono::seconds(20));
    std::thread rest([&] { reads_later.Send(requests, taken); });
    EXPECT_TRUE(reads_later.Read(count));
    rest.join();
    EXPECT_TRUE(reads_later.reply_ids == Ids(count))
        << reads_later.reply_ids.size() << " replies of " << count;
  }
  still_serving("a peer that never read");

  program.Signal(SIGINT);
  EXPECT_TRUE(program.ExitsCleanly()) << program.Stderr();
  PeerRun late = program.Peer({"getDriverHealth"});
  EXPECT_EQ(late.status, 1);
  EXPECT_TRUE(Contains(late.err, "cannot connect")) << late.err;
}

}  // namespace
