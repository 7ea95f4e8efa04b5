#ifndef TESTS_SECOND_SCREEN_X_SERVER_TESTING_H_
#define TESTS_SECOND_SCREEN_X_SERVER_TESTING_H_

// X servers, clients and windows of a test's own. Include this last: Xlib's
// macros (None, Status, Bool) break other headers.

#include <gio/gio.h>

#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "host/second_screen/x11_connection.h"
#include "peer_test_support.h"

namespace x_server_testing {

using peer_testing::Eventually;
using peer_testing::Process;
// Null, with a failed expectation, when it does not start; stderr is dropped.
Process Start(const std::vector<std::string>& command,
              GSubprocessFlags out = G_SUBPROCESS_FLAGS_STDOUT_SILENCE);

class PrivateXServer {
 public:
  // `screen` as Xvfb takes it: width x height x depth.
  explicit PrivateXServer(const std::string& screen,
                          std::vector<const char*> disabled_extensions = {});

  // ":N", or empty when the server did not start.
  const std::string& name() const { return name_; }

 private:
  Process process_;
  std::string name_;
};

struct Point {
  int x = 0, y = 0;
  friend bool operator==(Point l, Point r) { return l.x == r.x && l.y == r.y; }
};
inline void PrintTo(const Point& point, std::ostream* out) {
  *out << "(" << point.x << ", " << point.y << ")";
}

// Colours are 0xRRGGBB.
struct WindowLook {
  // Within the parent; openbox is asked to keep a top-level's position.
  int x = 40, y = 40, width = 200, height = 150;
  // _NET_WM_NAME (UTF-8); null leaves it unset.
  const char* title = nullptr;
  // WM_CLASS is set when either part is given; a null part is stored empty.
  const char* res_name = nullptr;
  const char* res_class = nullptr;
  const char* legacy_title = nullptr;  // WM_NAME
  // Vertical bands of equal width, left to right, kept by the server as the
  // background so that they survive any exposure; grey when empty.
  std::vector<uint32_t> bands{};
  // The last column and the last row, when not 0.
  uint32_t edge = 0;
  // 0: a top-level window.
  Window parent = 0;
  bool mapped = true;
  // Whether to wait until openbox manages the window and it is viewable.
  bool wait = true;
};

struct PointerEvent {
  int type = 0;
  int x = 0, y = 0, x_root = 0, y_root = 0;
  unsigned int state = 0, button = 0;
  bool sent = false;  // from XSendEvent, not from the server's pointer
};

using Events = std::vector<PointerEvent>;

// The test's connection to $DISPLAY; its windows go with it.
class TestDisplay {
 public:
  TestDisplay();
  ~TestDisplay();

  Display* display() const { return display_; }
  bool connected() const { return display_ != nullptr; }
  Window root() const { return DefaultRootWindow(display_); }

  Window Create(const WindowLook& look);
  // With `wait`, until the window manager let go of it.
  void Destroy(Window window, bool wait = true);
  // Unmapped, or minimised through the window manager.
  void Hide(Window window, bool iconify);
  void Show(Window window);
  // Draws over the top `rows` of the window's pixels (not its background).
  void PaintTop(Window window, int rows, uint32_t colour);

  // A property's items of 32 bits; empty when unset.
  std::vector<long> Property(Window window, const char* name) const;
  std::vector<Window> ClientList() const;  // in the window manager's order
  bool Managed(Window window) const;
  // The root's children with that WM_NAME (without a WM, the top-levels).
  std::vector<Window> TopLevelsNamed(const char* name) const;
  XWindowAttributes Attributes(Window window) const;
  bool Viewable(Window window) const;
  // Whether a client keeps it in a pixmap through Composite (if viewable).
  bool Redirected(Window window) const;
  Point Origin(Window window) const;
  Point Pointer() const;
  // Also forgets the events received so far.
  void WarpPointer(Point to);
  bool WaitForPointer(Point to);

  // The button and motion events `window` received so far, in order.
  Events Received(Window window);
  // Waits for `count` events of `type` (0: any); returns all of them.
  Events WaitForEvents(Window window, size_t count, int type = 0);

 private:
  korvane_bridge::X11Connection connection_;
  Display* const display_;
  // Destroyed before the connection closes: the server would do it too,
  // but only once it notices, and the next test's listing could be first.
  std::vector<Window> top_level_;
  std::map<Window, Events> events_;
};

}  // namespace x_server_testing

#endif  // TESTS_SECOND_SCREEN_X_SERVER_TESTING_H_
