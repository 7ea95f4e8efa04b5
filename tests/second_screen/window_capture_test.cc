// Window frames grabbed from the X server, decoded back from their JPEG.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "second_screen_calls.h"
// Last: Xlib's macros break the headers above.
#include "x11_test_windows.h"

namespace {

using second_screen_testing::CapturedFrame;
using second_screen_testing::CaptureMethod;
using second_screen_testing::DecodedImage;
using second_screen_testing::DecodeJpeg;
using second_screen_testing::Near;
using x11_testing::TestDisplay;
using x11_testing::WindowLook;

struct ImageDeleter {
  void operator()(XImage* image) const { XDestroyImage(image); }
};
using ImagePtr = std::unique_ptr<XImage, ImageDeleter>;

// Red, green and blue thirds: a swapped channel order shows at once.
WindowLook ThreeBands(int x, int y, int width, int height) {
  WindowLook look;
  look.title = "Bands";
  look.x = x;
  look.y = y;
  look.width = width;
  look.height = height;
  look.bands = {x11_testing::kRed, x11_testing::kGreen, x11_testing::kBlue};
  return look;
}

class WindowCaptureTest : public ::testing::Test,
                          protected second_screen_testing::SecondScreenCalls {
 protected:
  TestDisplay screen_;
};

TEST_F(WindowCaptureTest,
       EncodesTheWindowAndSkipsFramesWhoseSampleIsUnchanged) {
  const Window window = screen_.Create(ThreeBands(100, 100, 360, 240));

  // Stretched to the target, not cropped or letterboxed.
  std::optional<CapturedFrame> first = Capture(window, 300, 100, 90);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->window_id, static_cast<int64_t>(window));
  EXPECT_EQ(first->source_width, 360);
  EXPECT_EQ(first->source_height, 240);
  EXPECT_EQ(first->encoded_width, 300);
  EXPECT_EQ(first->encoded_height, 100);
  EXPECT_FALSE(first->unchanged);
  EXPECT_FALSE(first->closed);
  const DecodedImage image = DecodeJpeg(first->jpeg);
  ASSERT_EQ(image.width, 300);
  ASSERT_EQ(image.height, 100);
  EXPECT_TRUE(Near(image.At(50, 50), 255, 0, 0));
  EXPECT_TRUE(Near(image.At(150, 50), 0, 255, 0));
  EXPECT_TRUE(Near(image.At(250, 50), 0, 0, 255));

  std::optional<CapturedFrame> same =
      Capture(window, 300, 100, 90, first->hash);
  ASSERT_TRUE(same.has_value());
  EXPECT_TRUE(same->unchanged);
  EXPECT_TRUE(same->jpeg.empty());
  EXPECT_EQ(same->hash, first->hash);
  EXPECT_EQ(same->source_width, 360);
  EXPECT_EQ(same->encoded_height, 100);
  EXPECT_FALSE(same->closed);

  // Without a previous frame the Dart side needs the picture.
  std::optional<CapturedFrame> fresh = Capture(window, 300, 100, 90, 0);
  ASSERT_TRUE(fresh.has_value());
  EXPECT_FALSE(fresh->unchanged);
  EXPECT_FALSE(fresh->jpeg.empty());
  EXPECT_EQ(fresh->hash, first->hash);

  // One pixel that lies wholly between two sampled bytes of the raw image.
  ImagePtr before(screen_.Image(window));
  ASSERT_NE(before, nullptr);
  const int total = before->bytes_per_line * before->height;
  const int step = std::max(1, total / 16384);
  const int pixel_bytes = before->bits_per_pixel / 8;
  ASSERT_GT(step, pixel_bytes);
  const int row = 120;
  int column = 0;
  while ((row * before->bytes_per_line + column * pixel_bytes) % step == 0 ||
         (row * before->bytes_per_line + column * pixel_bytes) % step >
             step - pixel_bytes) {
    column++;
  }
  screen_.Paint(window, column, row, 1, 1, x11_testing::kWhite);
  ImagePtr after(screen_.Image(window));
  ASSERT_NE(after, nullptr);
  ASSERT_NE(memcmp(before->data, after->data, total), 0);
  std::optional<CapturedFrame> unseen =
      Capture(window, 300, 100, 90, first->hash);
  ASSERT_TRUE(unseen.has_value());
  EXPECT_TRUE(unseen->unchanged);
  EXPECT_EQ(unseen->hash, first->hash);

  screen_.Paint(window, 0, 0, 360, 120, x11_testing::kWhite);
  std::optional<CapturedFrame> changed =
      Capture(window, 300, 100, 90, first->hash);
  ASSERT_TRUE(changed.has_value());
  EXPECT_FALSE(changed->unchanged);
  EXPECT_NE(changed->hash, first->hash);
  const DecodedImage repainted = DecodeJpeg(changed->jpeg);
  ASSERT_EQ(repainted.width, 300);
  EXPECT_TRUE(Near(repainted.At(150, 20), 255, 255, 255));
  EXPECT_TRUE(Near(repainted.At(150, 80), 0, 255, 0));
}

TEST_F(WindowCaptureTest, TheDesktopIsCapturedAtTheClampedSize) {
  const struct {
    int64_t width, height, quality;
    int expected_width, expected_height;
  } cases[] = {{0, 0, 0, 64, 64}, {5000, 3000, 100, 1920, 1080}};
  for (const auto& c : cases) {
    std::optional<CapturedFrame> frame =
        Capture(screen_.root(), c.width, c.height, c.quality);
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->source_width, 1280);
    EXPECT_EQ(frame->source_height, 1024);
    EXPECT_EQ(frame->encoded_width, c.expected_width);
    EXPECT_EQ(frame->encoded_height, c.expected_height);
    const DecodedImage image = DecodeJpeg(frame->jpeg);
    EXPECT_EQ(image.width, c.expected_width);
    EXPECT_EQ(image.height, c.expected_height);
  }
}

TEST_F(WindowCaptureTest, GoneWindowsGiveTheClosedFrame) {
  const Window destroyed = screen_.Create(ThreeBands(100, 100, 200, 150));
  screen_.Destroy(destroyed);
  const Window unmapped = screen_.Create(ThreeBands(400, 100, 200, 150));
  screen_.Unmap(unmapped);
  for (Window window : {destroyed, unmapped, Window{0}}) {
    SCOPED_TRACE(window);
    // Whatever the Dart side last held.
    std::optional<CapturedFrame> frame = Capture(window, 320, 240, 80, 77);
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->window_id, static_cast<int64_t>(window));
    EXPECT_TRUE(frame->closed);
    EXPECT_FALSE(frame->unchanged);
    EXPECT_TRUE(frame->jpeg.empty());
    EXPECT_EQ(frame->source_width, 0);
    EXPECT_EQ(frame->source_height, 0);
    EXPECT_EQ(frame->encoded_width, 0);
    EXPECT_EQ(frame->encoded_height, 0);
    EXPECT_EQ(frame->hash, 0);
  }
}

TEST_F(WindowCaptureTest,
       ASecondRequestWhileOneRunsGetsNullAndTheFirstAnswers) {
  // The whole desktop at the largest size: far longer than the main loop
  // takes to hand over the second request.
  auto first =
      dart_.Send(CaptureMethod(), second_screen_testing::CaptureArguments(
                                      screen_.root(), 1920, 1080, 95, 0));
  auto second = dart_.Send(
      CaptureMethod(),
      second_screen_testing::CaptureArguments(screen_.root(), 64, 64, 20, 0));
  ASSERT_TRUE(flutter_testing::InProcessDart::RunUntil(
      [&] { return second->answered; }));
  g_autoptr(FlValue) refused = host_testing::Element(second->bytes);
  EXPECT_EQ(fl_value_get_type(refused), FL_VALUE_TYPE_NULL);

  ASSERT_TRUE(flutter_testing::InProcessDart::RunUntil(
      [&] { return first->answered; }));
  g_autoptr(FlValue) reply = host_testing::Element(first->bytes);
  std::optional<CapturedFrame> frame = second_screen_testing::FrameOf(reply);
  ASSERT_TRUE(frame.has_value());
  EXPECT_EQ(frame->encoded_width, 1920);
  EXPECT_FALSE(frame->jpeg.empty());

  // The slot is free again.
  EXPECT_TRUE(Capture(screen_.root(), 64, 64, 20).has_value());
}

TEST(SixteenBitScreenCaptureTest, APixelLayoutItCannotConvertGivesNull) {
  x11_testing::PrivateServer server(16);
  ASSERT_FALSE(server.name().empty()) << "no second X server";
  // Before the bridge exists: its threads read the environment.
  x11_testing::ScopedDisplayName on_server(server.name().c_str());
  TestDisplay screen;
  ASSERT_TRUE(screen.connected());
  ASSERT_EQ(DefaultDepth(screen.display(), DefaultScreen(screen.display())),
            16);
  // No window manager there: the window is mapped as it is.
  WindowLook look = ThreeBands(10, 10, 200, 150);
  look.wait = false;
  const Window window = screen.Create(look);
  ASSERT_TRUE(x11_testing::Eventually([&] { return screen.Viewable(window); }));

  struct Bridge : second_screen_testing::SecondScreenCalls {
    using SecondScreenCalls::Capture;
  } bridge;
  EXPECT_FALSE(bridge.Capture(window, 64, 64, 80).has_value())
      << "two-byte pixels are not read as three";
}

}  // namespace
