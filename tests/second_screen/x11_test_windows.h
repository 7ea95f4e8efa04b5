#ifndef TESTS_SECOND_SCREEN_X11_TEST_WINDOWS_H_
#define TESTS_SECOND_SCREEN_X11_TEST_WINDOWS_H_

// Windows on the test's X server, made and watched through a connection of
// the test's own, under a real window manager (openbox). The bridge talks to
// the same server through its own connections, so everything here is what
// another client would see.
//
// Include this last: Xlib's macros (None, Status, Bool) break other headers.

#include <gio/gio.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace x11_testing {

struct Rgb {
  uint8_t red;
  uint8_t green;
  uint8_t blue;
};

inline constexpr Rgb kRed = {255, 0, 0};
inline constexpr Rgb kGreen = {0, 255, 0};
inline constexpr Rgb kBlue = {0, 0, 255};
inline constexpr Rgb kGrey = {128, 128, 128};
inline constexpr Rgb kWhite = {255, 255, 255};

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point& other) const {
    return x == other.x && y == other.y;
  }
};

// For test failure messages.
inline void PrintTo(const Point& point, std::ostream* out) {
  *out << "(" << point.x << ", " << point.y << ")";
}

// openbox on $DISPLAY while the object lives; the constructor returns once it
// manages windows (a probe window showed up in its client list).
class WindowManager {
 public:
  WindowManager();
  ~WindowManager();
  WindowManager(const WindowManager&) = delete;
  WindowManager& operator=(const WindowManager&) = delete;

  bool running() const { return managing_; }

 private:
  GSubprocess* process_ = nullptr;
  bool managing_ = false;
};

// A test window: its names, size, place, colours and whether it is shown.
struct WindowLook {
  // _NET_WM_NAME (UTF-8) and WM_NAME; null leaves the property unset.
  const char* title = nullptr;
  const char* legacy_title = nullptr;
  // WM_CLASS is set when either part is given; a null part is stored empty.
  const char* res_name = nullptr;
  const char* res_class = nullptr;
  // Position within the parent (top-level windows: on the screen, which the
  // window manager is asked to keep).
  int x = 40;
  int y = 40;
  int width = 200;
  int height = 150;
  // Vertical bands of equal width, left to right, kept by the server as the
  // window's background so that they survive any exposure; none is plain
  // grey.
  std::vector<Rgb> bands;
  bool mapped = true;
  // 0: a top-level window, managed by the window manager.
  Window parent = 0;
  // Whether to wait until a top-level window is managed and viewable; the
  // thread test maps windows without waiting.
  bool wait = true;
};

// A button or motion event that a test window received.
struct PointerEvent {
  int type = 0;
  Window window = 0;
  int x = 0;
  int y = 0;
  int x_root = 0;
  int y_root = 0;
  unsigned int state = 0;
  unsigned int button = 0;
  bool sent = false;  // came from XSendEvent, not from the server's pointer
};

// The test's own connection and the windows made on it, all destroyed at
// the end.
class TestDisplay {
 public:
  // The server named by $DISPLAY, or by `name`.
  explicit TestDisplay(const char* name = nullptr);
  ~TestDisplay();
  TestDisplay(const TestDisplay&) = delete;
  TestDisplay& operator=(const TestDisplay&) = delete;

  Display* display() const { return display_; }
  bool connected() const { return display_ != nullptr; }
  Window root() const;
  int screen_width() const;
  int screen_height() const;

  Window Create(const WindowLook& look);
  // Destroys a top-level window and waits until the window manager let go.
  void Destroy(Window window, bool wait = true);
  void Unmap(Window window);
  void Iconify(Window window);
  // Draws over the window's current pixels (not its background).
  void Paint(Window window, int x, int y, int width, int height, Rgb colour);
  void Sync();

  std::vector<Window> ClientList() const;
  bool Viewable(Window window) const;
  // Where the window's top-left pixel is on the screen.
  Point Origin(Window window) const;
  Point Pointer() const;
  void WarpPointer(Point to);
  // Waits until the pointer is at `to`; false when it never gets there.
  bool WaitForPointer(Point to);

  // The button and motion events `window` received so far, in order.
  std::vector<PointerEvent> Received(Window window);
  // Waits until `window` received at least `count` events of `type` (any
  // button or motion type when 0); returns all of its events.
  std::vector<PointerEvent> WaitForEvents(Window window,
                                          size_t count,
                                          int type = 0);
  void ForgetEvents();

  // The window's pixels as the server holds them.
  XImage* Image(Window window) const;

 private:
  unsigned long PixelOf(Rgb colour) const;
  void ReadQueue();

  Display* display_;
  // Destroyed before the connection closes: the server would do it too,
  // but only once it notices, and the next test's listing could be first.
  std::vector<Window> top_level_;
  std::vector<PointerEvent> events_;
};

// Sets $DISPLAY (unsets it for null) while the object lives. Only while no
// other thread runs: the bridge's threads read the environment.
class ScopedDisplayName {
 public:
  explicit ScopedDisplayName(const char* name);
  ~ScopedDisplayName();
  ScopedDisplayName(const ScopedDisplayName&) = delete;
  ScopedDisplayName& operator=(const ScopedDisplayName&) = delete;

 private:
  std::string saved_;
  bool was_set_;
};

// A second X server of the given depth, for pixel layouts the main one
// does not have; it picks a free display number itself.
class PrivateServer {
 public:
  explicit PrivateServer(int depth);
  ~PrivateServer();
  PrivateServer(const PrivateServer&) = delete;
  PrivateServer& operator=(const PrivateServer&) = delete;

  // ":N", or empty when the server did not start.
  const std::string& name() const { return name_; }

 private:
  GSubprocess* process_ = nullptr;
  std::string name_;
};

// Keeps polling `condition` for a few seconds; true once it holds.
bool Eventually(const std::function<bool()>& condition);

}  // namespace x11_testing

#endif  // TESTS_SECOND_SCREEN_X11_TEST_WINDOWS_H_
