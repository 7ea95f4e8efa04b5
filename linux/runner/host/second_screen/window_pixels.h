#ifndef LINUX_RUNNER_HOST_SECOND_SCREEN_WINDOW_PIXELS_H_
#define LINUX_RUNNER_HOST_SECOND_SCREEN_WINDOW_PIXELS_H_

// A window's own pixels, whatever covers it and wherever it lies. The X
// server keeps no pixels for the covered or off-screen parts of a window
// that it paints straight to the screen, so while a window is mirrored it
// is redirected through Composite: the server then keeps the whole window
// in a pixmap of its own (and still shows it on screen), and grabs read
// that pixmap. Without Composite only the part on screen can be read; the
// rest stays black. The root window is read as the screen shows it.

#include <X11/Xlib.h>

#include "host/second_screen/frame_grabber.h"
#include "host/second_screen/window_damage.h"
#include "host/second_screen/x11_connection.h"

namespace korvane_bridge {

class WindowPixels {
 public:
  WindowPixels();
  ~WindowPixels();
  WindowPixels(const WindowPixels&) = delete;
  WindowPixels& operator=(const WindowPixels&) = delete;

  // As FrameGrabber::Connection.
  Display* Connection();

  // The whole window at the size of `attributes`, which must say that it
  // is viewable; valid until the next Read or Close. Redirects the window
  // unless it already is, and lets the one before it go. Null when the
  // server gives no pixels (the window vanished meanwhile, or a pixel layout
  // that cannot be padded).
  const XImage* Read(Window window, const XWindowAttributes& attributes);

  // True when `window` was the last one read, at the size of `attributes`,
  // and the server reported no drawing on it since: its pixels are those of
  // that read. Reads are watched so for the root window and for windows
  // kept redirected.
  bool Unchanged(Window window, const XWindowAttributes& attributes);

  // The window kept redirected, or None.
  Window Redirected() const { return redirected_; }

  // Lets the server paint the redirected window straight to the screen
  // again. A window that is gone meanwhile took its redirection with it.
  void StopRedirecting();

  bool UsesSharedMemory() const { return grabber_.UsesSharedMemory(); }

  // Stops redirecting and closes the connection.
  void Close();

 private:
  const XImage* ReadRedirected(Window window,
                               const XWindowAttributes& attributes);
  const XImage* ReadOnScreenPart(Window window,
                                 const XWindowAttributes& attributes);

  FrameGrabber grabber_;
  WindowDamage damage_;
  int last_width_ = 0;
  int last_height_ = 0;
  Window redirected_ = None;
  // A window partly off screen: its on-screen part over black.
  XImagePtr padded_;
};

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_SECOND_SCREEN_WINDOW_PIXELS_H_
