// Stylus samples turned into pointer input on real windows: what the test
// window received, and where the server's pointer went.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/input.h>

#include <cmath>
#include <limits>

#include "fake_kernel.h"
#include "second_screen_calls.h"
// Last: Xlib's macros break the headers above.
#include "x11_test_windows.h"

namespace {

using second_screen_testing::kDown;
using second_screen_testing::kMove;
using second_screen_testing::kUp;
using ::testing::Optional;
using x11_testing::Point;
using x11_testing::PointerEvent;
using x11_testing::TestDisplay;
using x11_testing::WindowLook;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Away from every test window.
constexpr Point kRestingPointer = {3, 3};

std::vector<PointerEvent> Sent(const std::vector<PointerEvent>& events) {
  std::vector<PointerEvent> sent;
  for (const PointerEvent& event : events) {
    if (event.sent) {
      sent.push_back(event);
    }
  }
  return sent;
}

// One sent event as the stroke's phase makes it: where, and with which
// button state.
void ExpectSent(const char* what,
                const PointerEvent& event,
                int type,
                Point at,
                Point at_root) {
  SCOPED_TRACE(what);
  EXPECT_EQ(event.type, type);
  EXPECT_TRUE(event.sent);
  EXPECT_EQ(event.x, at.x);
  EXPECT_EQ(event.y, at.y);
  EXPECT_EQ(event.x_root, at_root.x);
  EXPECT_EQ(event.y_root, at_root.y);
  EXPECT_EQ(event.state, type == ButtonPress ? 0u : unsigned{Button1Mask});
  if (type != MotionNotify) {
    EXPECT_EQ(event.button, 1u);
  }
}

Point Plus(Point origin, int x, int y) {
  return {origin.x + x, origin.y + y};
}

class StylusInjectionTest : public ::testing::Test,
                            protected second_screen_testing::SecondScreenCalls {
 protected:
  Window Make(int x,
              int y,
              Window parent = 0,
              int width = 300,
              int height = 200) {
    WindowLook look;
    look.title = "Sketch";
    look.x = x;
    look.y = y;
    look.width = width;
    look.height = height;
    look.parent = parent;
    return screen_.Create(look);
  }

  TestDisplay screen_;
};

TEST_F(StylusInjectionTest,
       OnAVisiblePointThePointerMovesAndWithoutAVirtualMouseButtonsAreSent) {
  kernel_.FailOpens(1000);
  const Window window = Make(500, 300);
  const Window child = Make(20, 20, window, 100, 80);
  const Point origin = screen_.Origin(window);
  screen_.WarpPointer(kRestingPointer);
  screen_.ForgetEvents();

  // (60, 50) of the window is (40, 30) of its child: the press goes to the
  // child alone.
  ASSERT_THAT(Stylus(window, 0.2, 0.25, kDown), Optional(true));
  std::vector<PointerEvent> pressed =
      Sent(screen_.WaitForEvents(child, 1, ButtonPress));
  ASSERT_EQ(pressed.size(), 1u);
  ExpectSent("press on the child", pressed[0], ButtonPress, {40, 30},
             Plus(origin, 60, 50));
  // Sent after the pointer warp on the same connection, so the warp is done.
  EXPECT_EQ(screen_.Pointer(), Plus(origin, 60, 50));

  ASSERT_THAT(Stylus(window, 0.5, 0.75, kMove), Optional(true));
  EXPECT_TRUE(screen_.WaitForPointer(Plus(origin, 150, 150)));
  ASSERT_THAT(Stylus(window, 0.5, 0.75, kUp), Optional(true));
  std::vector<PointerEvent> on_window =
      screen_.WaitForEvents(window, 1, ButtonRelease);
  std::vector<PointerEvent> released = Sent(on_window);
  ASSERT_EQ(released.size(), 1u) << "the move is the pointer's own motion";
  ExpectSent("release on the window", released[0], ButtonRelease, {150, 150},
             Plus(origin, 150, 150));
  EXPECT_EQ(Sent(screen_.Received(child)).size(), 1u);

  bool moved_over_window = false;
  for (const PointerEvent& event : on_window) {
    moved_over_window |= event.type == MotionNotify && !event.sent &&
                         event.x == 150 && event.y == 150;
  }
  EXPECT_TRUE(moved_over_window) << "the server moved its pointer there";
}

TEST_F(StylusInjectionTest,
       TheVirtualMouseGetsTheButtonAndThePointerReturnsWhenAsked) {
  const Window window = Make(500, 300);
  const Point origin = screen_.Origin(window);
  const Point before = {7, 9};
  screen_.WarpPointer(before);
  screen_.ForgetEvents();

  ASSERT_THAT(Stylus(window, 0.5, 0.5, kDown, true), Optional(true));
  EXPECT_TRUE(screen_.WaitForPointer(Plus(origin, 150, 100)));
  ASSERT_THAT(Stylus(window, 0.25, 0.25, kMove, true), Optional(true));
  EXPECT_TRUE(screen_.WaitForPointer(Plus(origin, 75, 50)));
  ASSERT_THAT(Stylus(window, 0.25, 0.25, kUp, true), Optional(true));
  EXPECT_TRUE(screen_.WaitForPointer(before));

  // Without the flag the pointer stays where the stroke ended.
  ASSERT_THAT(Stylus(window, 0.75, 0.75, kDown), Optional(true));
  ASSERT_THAT(Stylus(window, 0.75, 0.75, kUp), Optional(true));
  EXPECT_TRUE(screen_.WaitForPointer(Plus(origin, 225, 150)));

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

TEST_F(StylusInjectionTest,
       OnACoveredPointOnlySentEventsArriveAndThePointerStays) {
  const Window window = Make(100, 400);
  const Window child = Make(10, 10, window, 120, 100);
  // On top of the child's area.
  const Window cover = Make(120, 380);
  const Point origin = screen_.Origin(window);
  screen_.WarpPointer(kRestingPointer);
  screen_.ForgetEvents();

  // (80, 60) of the window, (70, 50) of its child; phase 7 is a move.
  ASSERT_THAT(Stylus(window, 80.0 / 300, 0.3, kDown), Optional(true));
  ASSERT_THAT(Stylus(window, 0.3, 0.4, 7), Optional(true));
  ASSERT_THAT(Stylus(window, 0.3, 0.4, kUp), Optional(true));
  // Points that are not numbers or lie outside the window: NaN counts as 0,
  // everything else is held to the window's edges (one past the last pixel).
  ASSERT_THAT(Stylus(window, kNaN, kInfinity, kDown), Optional(true));
  ASSERT_THAT(Stylus(window, -0.5, 1.7, kMove), Optional(true));
  ASSERT_THAT(Stylus(window, kInfinity, -kInfinity, kMove), Optional(true));
  ASSERT_THAT(Stylus(window, kNaN, kNaN, kUp), Optional(true));

  std::vector<PointerEvent> on_child = screen_.WaitForEvents(child, 3);
  ASSERT_EQ(on_child.size(), 3u);
  ExpectSent("child press", on_child[0], ButtonPress, {70, 50},
             Plus(origin, 80, 60));
  ExpectSent("child move", on_child[1], MotionNotify, {80, 70},
             Plus(origin, 90, 80));
  ExpectSent("child release", on_child[2], ButtonRelease, {80, 70},
             Plus(origin, 90, 80));

  std::vector<PointerEvent> on_window = screen_.WaitForEvents(window, 7);
  ASSERT_EQ(on_window.size(), 7u);
  ExpectSent("window press", on_window[0], ButtonPress, {80, 60},
             Plus(origin, 80, 60));
  ExpectSent("window move", on_window[1], MotionNotify, {90, 80},
             Plus(origin, 90, 80));
  ExpectSent("window release", on_window[2], ButtonRelease, {90, 80},
             Plus(origin, 90, 80));
  ExpectSent("window NaN press", on_window[3], ButtonPress, {0, 200},
             Plus(origin, 0, 200));
  ExpectSent("window clamped move", on_window[4], MotionNotify, {0, 200},
             Plus(origin, 0, 200));
  ExpectSent("window infinite move", on_window[5], MotionNotify, {300, 0},
             Plus(origin, 300, 0));
  ExpectSent("window NaN release", on_window[6], ButtonRelease, {0, 0},
             Plus(origin, 0, 0));

  EXPECT_TRUE(screen_.Received(cover).empty());
  EXPECT_EQ(screen_.Pointer(), kRestingPointer);
  EXPECT_TRUE(input_testing::OpenedDescriptors(kernel_.Calls()).empty())
      << "the virtual mouse is not used";
}

TEST_F(StylusInjectionTest, AVanishedWindowFailsTheNextStrokeNotTheCurrentOne) {
  // No device to create: nothing slows the stroke down.
  kernel_.FailOpens(1000);
  const Window window = Make(500, 300);
  ASSERT_THAT(Stylus(window, 0.5, 0.5, kDown), Optional(true));
  screen_.Destroy(window, false);
  // The size read at the press still serves the moves right after it.
  EXPECT_THAT(Stylus(window, 0.6, 0.6, kMove), Optional(true));
  EXPECT_THAT(Stylus(window, 0.6, 0.6, kDown), Optional(false));
  EXPECT_THAT(Stylus(window, 0.6, 0.6, kMove), Optional(false));
  EXPECT_THAT(Stylus(0, 0.5, 0.5, kDown), Optional(false));
}

}  // namespace
