// Captures on their worker while listings and strokes run on the main
// thread, on windows that come and go, so X errors are frequent: Xlib's
// default handler, which ends the process, must never be in place while a
// request runs, and must be back once all is answered.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>

// Last: Xlib's macros break the headers above.
#include "second_screen_fixture.h"

namespace second_screen_testing {
namespace {

using SecondScreenThreadsTest = SecondScreenTest;

TEST_F(SecondScreenThreadsTest, EveryRequestIsAnsweredWhileWindowsComeAndGo) {
  // This test's connection makes no request that can fail.
  XSetErrorHandler(nullptr);
  const XErrorHandler default_handler = XSetErrorHandler(nullptr);

  std::deque<Window> live;
  std::vector<std::shared_ptr<const InProcessDart::Reply>> captures, strokes;
  for (int round = 0; round < 1000; round++) {
    WindowLook look{40 + (round % 5) * 160, 40 + (round % 3) * 120, 200, 150,
                    "Churn"};
    // Mapped without waiting: openbox takes it while the bridge looks at it.
    look.wait = false;
    live.push_back(screen_.Create(look));
    Window gone = 0;
    if (live.size() > 3) {
      gone = live.front();
      live.pop_front();
      screen_.Destroy(gone, false);
    }
    const Window target = (round % 2 == 0 || gone == 0) ? live.back() : gone;

    // Most of these find the previous capture still running.
    captures.push_back(dart_.Send(
        CaptureMethod(), CaptureArguments(target, 96, 64, 50, round % 3)));
    for (int phase : {kDown, kMove, kUp}) {
      strokes.push_back(
          dart_.Send(StylusMethod(), StylusArguments(target, 0.5, 0.5, phase)));
    }
    // A listing costs a request per window of openbox's: not every round.
    if (round % 10 == 0) {
      const std::vector<ListedWindow> listed = List();
      ASSERT_FALSE(listed.empty()) << "round " << round;
      ASSERT_EQ(listed[0].id, static_cast<int64_t>(screen_.root()));
    } else {
      InProcessDart::Drain();
    }
  }

  const auto answered = [](const auto& reply) { return reply->answered; };
  ASSERT_TRUE(InProcessDart::RunUntil(
      [&] {
        return std::all_of(captures.begin(), captures.end(), answered) &&
               std::all_of(strokes.begin(), strokes.end(), answered);
      },
      std::chrono::seconds(30)));
  int frames = 0;
  for (const auto& reply : captures) {
    frames += !FrameOf(host_testing::Element(reply->bytes)).null;
  }
  EXPECT_GT(frames, 0);
  for (const auto& reply : strokes) {
    g_autoptr(FlValue) value = host_testing::Element(reply->bytes);
    EXPECT_EQ(fl_value_get_type(value), FL_VALUE_TYPE_BOOL);
  }
  EXPECT_EQ(XSetErrorHandler(nullptr), default_handler)
      << "no handler is left behind";
}

}  // namespace
}  // namespace second_screen_testing
