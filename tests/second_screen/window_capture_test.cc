// Window frames grabbed from the X server, decoded back from their JPEG.
#include <gtest/gtest.h>

// Last: Xlib's macros break the headers above.
#include "second_screen_fixture.h"

namespace second_screen_testing {
namespace {

// Red, green and blue thirds: a swapped channel order shows at once.
WindowLook ThreeBands(int x, int y, int width, int height) {
  WindowLook look{x, y, width, height, "Bands"};
  look.bands = {0xFF0000, 0x00FF00, 0x0000FF};
  return look;
}

// Typed on the keyboard (XTest) into `window`, made the active one first.
bool TypeInto(Window window, const std::string& text) {
  const std::string id = std::to_string(window);
  const Process xdotool = Start({"xdotool", "windowactivate", "--sync", id,
                                 "type", "--delay", "0", text});
  return xdotool != nullptr &&
         g_subprocess_wait_check(xdotool.get(), nullptr, nullptr);
}

using WindowCaptureTest = SecondScreenTest;

// Redirection costs the window's owner: it lasts only while the window is
// mirrored. A window that went gives the closed frame, whatever the hash.
TEST_F(WindowCaptureTest, EncodesTheWindowWholeSkipsUnchangedFramesLetsGo) {
  const Window window = screen_.Create(ThreeBands(100, 100, 360, 240));

  // Stretched to the target, not cropped or letterboxed.
  const CapturedFrame first = Capture(window, 300, 100, 95);
  EXPECT_EQ(first.window_id, static_cast<int64_t>(window));
  EXPECT_EQ(first.sizes, (Sizes{360, 240, 300, 100}));
  EXPECT_FALSE(first.null || first.unchanged || first.closed);
  EXPECT_TRUE(Shows(
      first, {{50, 50, 0xFF0000}, {150, 50, 0x00FF00}, {250, 50, 0x0000FF}}));
  EXPECT_TRUE(screen_.Redirected(window));

  const CapturedFrame same = Capture(window, 300, 100, 90, first.hash);
  EXPECT_TRUE(same.unchanged);
  EXPECT_FALSE(same.closed);
  EXPECT_TRUE(same.jpeg.empty());
  EXPECT_EQ(same.hash, first.hash);
  EXPECT_EQ(same.sizes, first.sizes);

  // Without a previous frame the Dart side needs the picture.
  const CapturedFrame fresh = Capture(window, 300, 100, 20, 0);
  EXPECT_FALSE(fresh.unchanged);
  EXPECT_EQ(fresh.hash, first.hash);
  EXPECT_FALSE(fresh.jpeg.empty());
  EXPECT_LT(fresh.jpeg.size(), first.jpeg.size()) << "quality 20, then 95";

  // The desktop shows the window, and changes with it.
  const int64_t desktop = Capture(screen_.root(), 64, 64, 50).hash;
  screen_.PaintTop(window, 120, 0xFFFFFF);
  const CapturedFrame desktop_changed =
      Capture(screen_.root(), 64, 64, 50, desktop);
  EXPECT_FALSE(desktop_changed.null || desktop_changed.unchanged);
  const CapturedFrame changed = Capture(window, 300, 100, 90, first.hash);
  EXPECT_FALSE(changed.unchanged);
  EXPECT_NE(changed.hash, first.hash);
  EXPECT_TRUE(Shows(changed, {{150, 20, 0xFFFFFF}, {150, 80, 0x00FF00}}));

  // The server refuses to read a window's pixels off the screen; the mirror
  // has them all. Red and green lie on screen, blue beyond the right edge,
  // the lower half below the bottom edge. The window is one pixel wider and
  // taller than twice the frame, so that it is halved before it is scaled:
  // its odd last column and row, in white, still make the frame's edges.
  WindowLook look = ThreeBands(1280 - 400, 1024 - 150, 601, 301);
  look.edge = 0xFFFFFF;
  const Window over_edges = screen_.Create(look);
  ASSERT_GE(screen_.Origin(over_edges).x, 1280 - 400);
  ASSERT_GE(screen_.Origin(over_edges).y, 1024 - 150);
  const CapturedFrame frame = Capture(over_edges, 300, 150, 95);
  EXPECT_EQ(frame.sizes, (Sizes{601, 301, 300, 150}));
  EXPECT_TRUE(Shows(frame, {{40, 20, 0xFF0000},
                            {150, 130, 0x00FF00},
                            {260, 130, 0x0000FF},
                            {299, 75, 0xFFFFFF},
                            {260, 149, 0xFFFFFF}}));
  EXPECT_FALSE(screen_.Redirected(window)) << "another window is mirrored";
  EXPECT_TRUE(screen_.Redirected(over_edges));

  screen_.Hide(over_edges, false);
  const Window destroyed = screen_.Create(ThreeBands(700, 100, 200, 150));
  screen_.Destroy(destroyed);
  for (Window gone : {over_edges, destroyed, Window{0}}) {
    SCOPED_TRACE(gone);
    const CapturedFrame closed = Capture(gone, 320, 240, 80, 77);
    EXPECT_EQ(closed.window_id, static_cast<int64_t>(gone));
    EXPECT_TRUE(closed.closed);
    EXPECT_FALSE(closed.unchanged);
    EXPECT_TRUE(closed.jpeg.empty());
    EXPECT_EQ(closed.sizes, (Sizes{0, 0, 0, 0}));
    EXPECT_EQ(closed.hash, 0);
  }
  screen_.Show(over_edges);
  EXPECT_FALSE(screen_.Redirected(over_edges)) << "it closed under the mirror";

  Capture(window, 64, 64, 50);
  EXPECT_TRUE(screen_.Redirected(window));
  EXPECT_TRUE(Eventually([&] { return !screen_.Redirected(window); }))
      << "no frame was asked for for seconds";

  Capture(over_edges, 64, 64, 50);
  bridge_.reset();
  EXPECT_FALSE(screen_.Redirected(over_edges)) << "the bridge went";
}

// A real client that paints straight to the screen: the X server keeps no
// pixels for its covered part, and one character changes a few dozen pixels
// of its 3 MB. A key is drawn a moment after it is typed, so frames are
// asked for until one comes changed, then until the terminal is still.
TEST_F(WindowCaptureTest, ATerminalCoveredAndTypedIntoComesAsItPaintsItself) {
  // cat echoes nothing itself: the terminal's own echo shows each key.
  const Process terminal =
      Start({"xterm", "-T", "Terminal", "-geometry", "150x45+0+0", "-bg",
             "blue", "-fg", "white", "-e", "cat"});
  ListedWindow listed;
  ASSERT_TRUE(Eventually([&] {
    for (const ListedWindow& window : List()) {
      if (window.title == "Terminal") {
        listed = window;
      }
    }
    return listed.id != 0;
  }));
  const Window window = listed.id;
  const Point origin = screen_.Origin(window);
  WindowLook cover =
      ThreeBands(origin.x + listed.width / 4, origin.y + listed.height / 4,
                 listed.width / 2, listed.height / 2);
  cover.bands = {0xFF0000};
  screen_.Create(cover);

  const int middle_x = origin.x + listed.width / 2;
  const int middle_y = origin.y + listed.height / 2;
  EXPECT_TRUE(Shows(Capture(screen_.root(), 640, 512, 90),
                    {{middle_x / 2, middle_y / 2, 0xFF0000}}))
      << "the red window covers the terminal's middle";
  const CapturedFrame frame = Capture(window, 320, 200, 90);
  EXPECT_EQ(frame.sizes[0], listed.width);
  EXPECT_TRUE(Shows(frame, {{160, 100, 0x0000FF}}));

  int64_t hash = frame.hash;
  const auto next_frame = [&](bool changed) {
    return Eventually([&] {
      const CapturedFrame next = Capture(window, 640, 400, 80, hash);
      hash = next.null ? hash : next.hash;
      return !next.null && next.unchanged != changed;
    });
  };
  // Made the active window, raised over the cover, with the first character.
  ASSERT_TRUE(TypeInto(window, "-"));
  ASSERT_TRUE(next_frame(true));
  ASSERT_TRUE(next_frame(false));

  // Each on a line of its own, echoed and repeated by cat: the characters
  // land in every band of the terminal's rows.
  for (char character : std::string("the quick brown fox")) {
    ASSERT_TRUE(TypeInto(window, std::string(1, character) + "\n"));
    EXPECT_TRUE(next_frame(true)) << "no changed frame for " << character;
    ASSERT_TRUE(next_frame(false));
  }
}

// Also the size clamps, on the desktop: far too large while the second
// request comes in, far too small once the slot is free again.
TEST_F(WindowCaptureTest,
       ASecondRequestWhileOneRunsGetsNullAndTheFirstAnswers) {
  // The desktop at the largest size takes far longer than the main loop
  // takes to hand over the second request.
  auto first = dart_.Send(CaptureMethod(),
                          CaptureArguments(screen_.root(), 5000, 3000, 100, 0));
  auto second = dart_.Send(CaptureMethod(),
                           CaptureArguments(screen_.root(), 64, 64, 20, 0));
  ASSERT_TRUE(InProcessDart::RunUntil([&] { return second->answered; }));
  EXPECT_TRUE(FrameOf(host_testing::Element(second->bytes)).null);
  ASSERT_TRUE(InProcessDart::RunUntil([&] { return first->answered; }));

  const std::pair<CapturedFrame, Sizes> cases[] = {
      {FrameOf(host_testing::Element(first->bytes)), {1280, 1024, 1920, 1080}},
      {Capture(screen_.root(), 0, 0, 0), {1280, 1024, 64, 64}}};
  for (const auto& [frame, sizes] : cases) {
    EXPECT_EQ(frame.sizes, sizes);
    EXPECT_TRUE(Shows(frame, {}));
  }
}

// Servers of the test's own without a window manager: two-byte pixels are
// not read as three; without MIT-SHM the pixels come through the socket;
// without Composite the part beyond the screen's right edge comes black.
TEST(OwnServerCaptureTest, EachServerGivesWhatItCan) {
  {
    // Before the bridge exists: its threads read the environment.
    peer_testing::ScopedEnv no_display("DISPLAY", std::nullopt);
    SecondScreenCalls bridge;
    EXPECT_TRUE(bridge.List().empty()) << "not even the desktop";
    EXPECT_TRUE(bridge.Capture(1, 320, 240, 80).null);
    EXPECT_FALSE(bridge.Stylus(1, 0.5, 0.5, kDown));
  }
  const struct {
    int depth;
    std::vector<const char*> disabled_extensions;
    int window_x;
    // At a sixth, a half and five sixths of the frame's width; none when
    // the capture gives null.
    std::vector<uint32_t> colours;
  } servers[] = {
      {16, {}, 10, {}},
      {24, {"MIT-SHM"}, 10, {0xFF0000, 0x00FF00, 0x0000FF}},
      {24, {"Composite"}, 200, {0xFF0000, 0x00FF00, 0x000000}},
  };
  for (const auto& server : servers) {
    SCOPED_TRACE(server.depth);
    PrivateXServer x_server("320x240x" + std::to_string(server.depth),
                            server.disabled_extensions);
    ASSERT_FALSE(x_server.name().empty()) << "no second X server";
    peer_testing::ScopedEnv on_server("DISPLAY", x_server.name());
    TestDisplay screen;
    ASSERT_TRUE(screen.connected());
    ASSERT_EQ(DefaultDepth(screen.display(), DefaultScreen(screen.display())),
              server.depth);
    WindowLook look = ThreeBands(server.window_x, 10, 210, 150);
    look.wait = false;
    const Window window = screen.Create(look);
    ASSERT_TRUE(Eventually([&] { return screen.Viewable(window); }));

    SecondScreenCalls bridge;
    const CapturedFrame frame = bridge.Capture(window, 105, 75, 90);
    ASSERT_EQ(frame.null, server.colours.empty());
    if (frame.null) {
      continue;
    }
    EXPECT_EQ(frame.sizes, (Sizes{210, 150, 105, 75}));
    EXPECT_TRUE(Shows(frame, {{17, 37, server.colours[0]},
                              {52, 37, server.colours[1]},
                              {87, 37, server.colours[2]}}));
    EXPECT_TRUE(bridge.Capture(window, 105, 75, 90, frame.hash).unchanged);
  }
}

}  // namespace
}  // namespace second_screen_testing
