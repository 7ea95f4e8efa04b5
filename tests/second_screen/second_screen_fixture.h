#ifndef TESTS_SECOND_SCREEN_SECOND_SCREEN_FIXTURE_H_
#define TESTS_SECOND_SCREEN_SECOND_SCREEN_FIXTURE_H_

// The second-screen methods called as the Dart side calls them, on windows
// of the test's own X connection under a real window manager (openbox,
// started once per binary). The bridge reaches the same server through its
// own connections, so it sees what any other client would.
//
// Include this last: Xlib's macros (None, Status, Bool) break other headers.

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host_bridge_harness.h"
#include "peer_test_support.h"
#include "x_server_testing.h"

namespace second_screen_testing {

using host_testing::Bytes;
using x_server_testing::Eventually;
using x_server_testing::Point;
using x_server_testing::PointerEvent;
using x_server_testing::TestDisplay;
using x_server_testing::WindowLook;

struct ListedWindow {
  int64_t id = 0;
  std::string title, owner, name;
  int64_t width = 0, height = 0;
  bool on_screen = false, emulator = false;
};

// Source width and height, then encoded width and height.
using Sizes = std::array<int64_t, 4>;

struct CapturedFrame {
  int64_t window_id = 0;
  std::vector<uint8_t> jpeg;
  Sizes sizes{};
  int64_t hash = 0;
  bool unchanged = false, closed = false;
};

// A JPEG decoded by GdkPixbuf; width 0 when it does not decode.
struct DecodedImage {
  int width = 0, height = 0, rowstride = 0, channels = 0;
  std::vector<uint8_t> pixels;

  // Whether the pixel is within JPEG's loss of the colour (0xRRGGBB).
  ::testing::AssertionResult Near(int x, int y, uint32_t rgb) const;
};
DecodedImage DecodeJpeg(const std::vector<uint8_t>& jpeg);

inline std::string CaptureMethod() {
  return host_testing::Method("captureWindowFrame");
}
inline std::string StylusMethod() {
  return host_testing::Method("injectWindowStylusEvent");
}
Bytes CaptureArguments(int64_t window,
                       int64_t width,
                       int64_t height,
                       int64_t quality,
                       int64_t previous_hash);
Bytes StylusArguments(int64_t window,
                      double u,
                      double v,
                      int phase,
                      bool restore = false);
// Nothing for a null reply; a failed expectation for anything but a frame.
std::optional<CapturedFrame> FrameOf(FlValue* reply);

inline constexpr int kDown = 0;
inline constexpr int kMove = 1;
inline constexpr int kUp = 2;

struct SecondScreenCalls : host_testing::HostBridgeHarness {
  std::vector<ListedWindow> List();
  std::optional<CapturedFrame> Capture(int64_t window,
                                       int64_t width,
                                       int64_t height,
                                       int64_t quality,
                                       int64_t previous_hash = 0);
  // Nothing when the reply is not a bool.
  std::optional<bool> Stylus(int64_t window,
                             double u,
                             double v,
                             int phase,
                             bool restore = false);
};

// A terminal (xterm) that shows what is typed into it and nothing else, as
// a user's window, on $DISPLAY until it goes.
class Terminal {
 public:
  // `geometry` in characters and pixels, as "80x24+100+100".
  Terminal(const char* title, const char* geometry, const char* background);
  ~Terminal();
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

 private:
  GSubprocess* process_ = nullptr;
};

// Typed on the keyboard (XTest, through xdotool) into `window`, made the
// active window first.
::testing::AssertionResult TypeInto(Window window, const std::string& text);

class SecondScreenTest : public ::testing::Test, public SecondScreenCalls {
 protected:
  TestDisplay screen_;
};

}  // namespace second_screen_testing

#endif  // TESTS_SECOND_SCREEN_SECOND_SCREEN_FIXTURE_H_
