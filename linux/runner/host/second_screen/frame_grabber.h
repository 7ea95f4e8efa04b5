#ifndef LINUX_RUNNER_HOST_SECOND_SCREEN_FRAME_GRABBER_H_
#define LINUX_RUNNER_HOST_SECOND_SCREEN_FRAME_GRABBER_H_

// The pixels of every capture, through one connection kept open between
// captures. Where the server offers shared memory (MIT-SHM) the pixels
// arrive in a segment both processes map instead of through the socket;
// where it does not, or attaching fails (a server on another machine),
// XGetImage takes over.

#include <X11/Xlib.h>

#include <memory>

namespace korvane_bridge {

// A rectangle in a drawable's own coordinates.
struct GrabArea {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

class FrameGrabber {
 public:
  FrameGrabber();
  ~FrameGrabber();
  FrameGrabber(const FrameGrabber&) = delete;
  FrameGrabber& operator=(const FrameGrabber&) = delete;

  // The connection to the default display, opened on first use and again
  // after a failed attempt; null when there is no display. Callers keep a
  // ScopedX11ErrorTrap while they use it.
  Display* Connection();

  // Whether the server of the connection can keep a window's contents in a
  // pixmap of its own and name that pixmap (Composite 0.2 or later).
  bool HasComposite() const;

  // `area` of a window or pixmap, read at the depth and visual of
  // `attributes`; valid until the next Grab or Close. Null when the server
  // gives none (the drawable vanished, or a window's area is not wholly on
  // screen).
  const XImage* Grab(Drawable drawable,
                     const GrabArea& area,
                     const XWindowAttributes& attributes);

  // Whether grabs use shared memory now.
  bool UsesSharedMemory() const;

  void Close();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_SECOND_SCREEN_FRAME_GRABBER_H_
