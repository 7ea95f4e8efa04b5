#ifndef LINUX_RUNNER_HOST_SECOND_SCREEN_X11_CONNECTION_H_
#define LINUX_RUNNER_HOST_SECOND_SCREEN_X11_CONNECTION_H_

// What every X11 operation of the second screen shares: a connection that
// closes itself, data that Xlib hands out, and the error handler that turns
// a protocol error (a window that vanished mid-request) into a failed call
// instead of the end of the process.

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>

namespace korvane_bridge {

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
// A connection of its own to the default display; null when there is none.
using X11Connection = std::unique_ptr<Display, DisplayCloser>;
X11Connection OpenDefaultDisplay();

struct XFreer {
  void operator()(void* data) const { XFree(data); }
};
template <typename T>
using XData = std::unique_ptr<T, XFreer>;

struct XImageDestroyer {
  void operator()(XImage* image) const { XDestroyImage(image); }
};
using XImagePtr = std::unique_ptr<XImage, XImageDestroyer>;

// Ignores every protocol error; the failing call reports its failure.
int IgnoreX11Error(Display* display, XErrorEvent* error);

// Keeps IgnoreX11Error installed while it lives. The handler is
// process-wide and several threads use X11 at once: it is installed by the
// first of them and the previous handler comes back only when the last one
// is done, so that no thread's request ever meets Xlib's default handler,
// which ends the process.
class ScopedX11ErrorTrap {
 public:
  ScopedX11ErrorTrap();
  ~ScopedX11ErrorTrap();
  ScopedX11ErrorTrap(const ScopedX11ErrorTrap&) = delete;
  ScopedX11ErrorTrap& operator=(const ScopedX11ErrorTrap&) = delete;
};

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_SECOND_SCREEN_X11_CONNECTION_H_
