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

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host_bridge_harness.h"
#include "peer_test_support.h"
#include "private_x_server.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace second_screen_testing {

using host_testing::Bytes;

struct ListedWindow {
  int64_t id = 0;
  std::string title, owner, name;
  int64_t width = 0, height = 0;
  bool on_screen = false, emulator = false;
};

struct CapturedFrame {
  int64_t window_id = 0;
  std::vector<uint8_t> jpeg;
  int64_t source_width = 0, source_height = 0;
  int64_t encoded_width = 0, encoded_height = 0;
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
  return host_testing::System("captureWindowFrame");
}
inline std::string StylusMethod() {
  return host_testing::System("injectWindowStylusEvent");
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
                      bool restore);
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

// Colours are 0xRRGGBB.

struct Point {
  int x = 0, y = 0;
  bool operator==(const Point& other) const {
    return x == other.x && y == other.y;
  }
};
inline void PrintTo(const Point& point, std::ostream* out) {
  *out << "(" << point.x << ", " << point.y << ")";
}

struct WindowLook {
  // _NET_WM_NAME (UTF-8) and WM_NAME; null leaves the property unset.
  const char* title = nullptr;
  const char* legacy_title = nullptr;
  // WM_CLASS is set when either part is given; a null part is stored empty.
  const char* res_name = nullptr;
  const char* res_class = nullptr;
  // Within the parent; openbox is asked to keep a top-level's position.
  int x = 40, y = 40, width = 200, height = 150;
  // Vertical bands of equal width, left to right, kept by the server as the
  // background so that they survive any exposure; grey when empty.
  std::vector<uint32_t> bands;
  bool mapped = true;
  // 0: a top-level window, managed by the window manager.
  Window parent = 0;
  // Whether to wait until the window is managed and viewable.
  bool wait = true;
};

// A button or motion event that a test window received.
struct PointerEvent {
  int type = 0;
  Window window = 0;
  int x = 0, y = 0, x_root = 0, y_root = 0;
  unsigned int state = 0, button = 0;
  bool sent = false;  // from XSendEvent, not from the server's pointer
};

// The test's connection to $DISPLAY; its windows go with it.
class TestDisplay {
 public:
  TestDisplay();
  ~TestDisplay();
  TestDisplay(const TestDisplay&) = delete;
  TestDisplay& operator=(const TestDisplay&) = delete;

  Display* display() const { return display_; }
  bool connected() const { return display_ != nullptr; }
  Window root() const { return DefaultRootWindow(display_); }

  Window Create(const WindowLook& look);
  // With `wait`, until the window manager let go of it.
  void Destroy(Window window, bool wait = true);
  // Unmapped, or minimised through the window manager.
  void Hide(Window window, bool iconify);
  // Mapped again, once viewable.
  void Show(Window window);
  // Draws over the window's current pixels (not its background).
  void Paint(Window window,
             int x,
             int y,
             int width,
             int height,
             uint32_t colour);

  std::vector<Window> ClientList() const;
  bool Viewable(Window window) const;
  // Whether some client keeps the window's contents in a pixmap of its own
  // through Composite; only a viewable window tells.
  bool Redirected(Window window) const;
  // Where the window's top-left pixel is on the screen.
  Point Origin(Window window) const;
  Point Pointer() const;
  void WarpPointer(Point to);
  bool WaitForPointer(Point to);

  // The button and motion events `window` received so far, in order.
  std::vector<PointerEvent> Received(Window window);
  // Waits for `count` events of `type` (0: any); returns all of them.
  std::vector<PointerEvent> WaitForEvents(Window window,
                                          size_t count,
                                          int type = 0);
  void ForgetEvents();

 private:
  unsigned long PixelOf(uint32_t colour) const;

  Display* display_;
  // Destroyed before the connection closes: the server would do it too,
  // but only once it notices, and the next test's listing could be first.
  std::vector<Window> top_level_;
  std::vector<PointerEvent> events_;
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

// Keeps polling `condition` for a few seconds; true once it holds.
bool Eventually(const std::function<bool()>& condition);

class SecondScreenTest : public ::testing::Test, public SecondScreenCalls {
 protected:
  TestDisplay screen_;
};

}  // namespace second_screen_testing

#endif  // TESTS_SECOND_SCREEN_SECOND_SCREEN_FIXTURE_H_
