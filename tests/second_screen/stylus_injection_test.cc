// Stylus samples turned into pointer input on real windows: what the test
// window's event queue received, and where the server's pointer went.
#include <gtest/gtest.h>
#include <linux/input.h>

#include <limits>
#include <tuple>

#include "fake_kernel.h"
// Last: Xlib's macros break the headers above.
#include "second_screen_fixture.h"

namespace second_screen_testing {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Away from every test window.
constexpr Point kRestingPointer = {3, 3};

// Of the events sent to a window: type, x, y, x_root, y_root, state, button.
using Seen = std::tuple<int, int, int, int, int, unsigned, unsigned>;

std::vector<Seen> SentOnly(const std::vector<PointerEvent>& events) {
  std::vector<Seen> sent;
  for (const PointerEvent& e : events) {
    if (e.sent) {
      sent.emplace_back(e.type, e.x, e.y, e.x_root, e.y_root, e.state,
                        e.button);
    }
  }
  return sent;
}

// A sent event as the stroke's phase makes it: the button held after the
// press, button 1 named on press and release.
Seen Sent(int type, Point at, Point origin, int x, int y) {
  const unsigned state = type == ButtonPress ? 0u : unsigned{Button1Mask};
  const unsigned button = type == MotionNotify ? 0u : 1u;
  return {type, at.x, at.y, origin.x + x, origin.y + y, state, button};
}

using StylusInjectionTest = SecondScreenTest;

// A covered point gets only sent events, and the pointer stays; a visible
// one gets the pointer, and without a virtual mouse sent buttons.
TEST_F(StylusInjectionTest, CoveredPointsGetSentEventsVisibleOnesThePointer) {
  const auto make = [&](int x, int y, Window parent, int width, int height) {
    WindowLook look{x, y, width, height, "Sketch"};
    look.parent = parent;
    return screen_.Create(look);
  };
  const Window covered = make(100, 400, 0, 300, 200);
  const Window covered_child = make(10, 10, covered, 120, 100);
  // On top of the child's area.
  const Window cover = make(120, 380, 0, 300, 200);
  const Point o = screen_.Origin(covered);
  const Window window = make(500, 300, 0, 300, 200);
  const Window child = make(20, 20, window, 100, 80);
  const Point origin = screen_.Origin(window);
  screen_.WarpPointer(kRestingPointer);

  // (80, 60) of the covered window, (70, 50) of its child; phase 7 is a move.
  ASSERT_TRUE(Stylus(covered, 80.0 / 300, 0.3, kDown));
  ASSERT_TRUE(Stylus(covered, 0.3, 0.4, 7));
  ASSERT_TRUE(Stylus(covered, 0.3, 0.4, kUp));
  // Points that are not numbers or lie outside the window: NaN counts as 0,
  // everything else is held to the window's edges (one past the last pixel).
  ASSERT_TRUE(Stylus(covered, kNaN, kInfinity, kDown));
  ASSERT_TRUE(Stylus(covered, -0.5, 1.7, kMove));
  ASSERT_TRUE(Stylus(covered, kInfinity, -kInfinity, kMove));
  ASSERT_TRUE(Stylus(covered, kNaN, kNaN, kUp));

  // Each event sent, none from the pointer.
  const std::pair<Window, std::vector<Seen>> sent_to[] = {
      {covered_child,
       {Sent(ButtonPress, {70, 50}, o, 80, 60),
        Sent(MotionNotify, {80, 70}, o, 90, 80),
        Sent(ButtonRelease, {80, 70}, o, 90, 80)}},
      {covered,
       {Sent(ButtonPress, {80, 60}, o, 80, 60),
        Sent(MotionNotify, {90, 80}, o, 90, 80),
        Sent(ButtonRelease, {90, 80}, o, 90, 80),
        Sent(ButtonPress, {0, 200}, o, 0, 200),
        Sent(MotionNotify, {0, 200}, o, 0, 200),
        Sent(MotionNotify, {300, 0}, o, 300, 0),
        Sent(ButtonRelease, {0, 0}, o, 0, 0)}},
  };
  for (const auto& [target, sent] : sent_to) {
    const std::vector<PointerEvent> got =
        screen_.WaitForEvents(target, sent.size());
    EXPECT_EQ(got.size(), sent.size());
    EXPECT_EQ(SentOnly(got), sent);
  }
  EXPECT_TRUE(screen_.Received(cover).empty());
  EXPECT_EQ(screen_.Pointer(), kRestingPointer);
  EXPECT_TRUE(input_testing::OpenedDescriptors(kernel_.Calls()).empty())
      << "the virtual mouse is not used";
  // No device to create from here on: nothing slows the strokes down.
  kernel_.FailOpens(1000);

  // (60, 50) of the window is (40, 30) of its child: the press goes to the
  // child alone.
  ASSERT_TRUE(Stylus(window, 0.2, 0.25, kDown));
  EXPECT_EQ(SentOnly(screen_.WaitForEvents(child, 1, ButtonPress)),
            std::vector<Seen>{Sent(ButtonPress, {40, 30}, origin, 60, 50)});
  // Sent after the pointer warp on the same connection, so the warp is done.
  EXPECT_EQ(screen_.Pointer(), (Point{origin.x + 60, origin.y + 50}));

  ASSERT_TRUE(Stylus(window, 0.5, 0.75, kMove));
  EXPECT_TRUE(screen_.WaitForPointer({origin.x + 150, origin.y + 150}));
  ASSERT_TRUE(Stylus(window, 0.5, 0.75, kUp));
  const std::vector<PointerEvent> on_window =
      screen_.WaitForEvents(window, 1, ButtonRelease);
  EXPECT_EQ(
      SentOnly(on_window),
      std::vector<Seen>{Sent(ButtonRelease, {150, 150}, origin, 150, 150)})
      << "the move is the pointer's own motion";
  EXPECT_EQ(SentOnly(screen_.Received(child)).size(), 1u);

  // A vanished window: the size read at the press still serves the moves
  // right after it, the next stroke fails.
  ASSERT_TRUE(Stylus(window, 0.5, 0.5, kDown));
  screen_.Destroy(window, false);
  EXPECT_TRUE(Stylus(window, 0.6, 0.6, kMove));
  EXPECT_FALSE(Stylus(window, 0.6, 0.6, kDown));
  EXPECT_FALSE(Stylus(window, 0.6, 0.6, kMove));
  EXPECT_FALSE(Stylus(0, 0.5, 0.5, kDown));
}

TEST_F(StylusInjectionTest,
       TheVirtualMouseGetsTheButtonAndThePointerReturnsWhenAsked) {
  const Window window =
      screen_.Create(WindowLook{500, 300, 300, 200, "Sketch"});
  const Point origin = screen_.Origin(window);
  const Point before = {7, 9};
  screen_.WarpPointer(before);

  ASSERT_TRUE(Stylus(window, 0.5, 0.5, kDown, true));
  EXPECT_TRUE(screen_.WaitForPointer({origin.x + 150, origin.y + 100}));
  ASSERT_TRUE(Stylus(window, 0.25, 0.25, kMove, true));
  EXPECT_TRUE(screen_.WaitForPointer({origin.x + 75, origin.y + 50}));
  ASSERT_TRUE(Stylus(window, 0.25, 0.25, kUp, true));
  EXPECT_TRUE(screen_.WaitForPointer(before));

  // Without the flag the pointer stays where the stroke ended.
  ASSERT_TRUE(Stylus(window, 0.75, 0.75, kDown));
  ASSERT_TRUE(Stylus(window, 0.75, 0.75, kUp));
  EXPECT_TRUE(screen_.WaitForPointer({origin.x + 225, origin.y + 150}));

  const std::vector<int> opened =
      input_testing::OpenedDescriptors(kernel_.Calls());
  ASSERT_EQ(opened.size(), 1u);
  std::vector<int> button_values;
  for (const auto& batch : input_testing::Batches(kernel_.Calls(), opened[0])) {
    ASSERT_EQ(batch.size(), 2u);
    EXPECT_EQ(batch[0].type, EV_KEY);
    EXPECT_EQ(batch[0].code, BTN_LEFT);
    EXPECT_EQ(batch[1].type, EV_SYN);
    button_values.push_back(batch[0].value);
  }
  EXPECT_EQ(button_values, (std::vector<int>{1, 0, 1, 0}));
  for (const PointerEvent& event : screen_.Received(window)) {
    EXPECT_EQ(event.type, MotionNotify) << "no button event besides the device";
  }
}

}  // namespace
}  // namespace second_screen_testing
