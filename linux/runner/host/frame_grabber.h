#ifndef LINUX_RUNNER_HOST_FRAME_GRABBER_H_
#define LINUX_RUNNER_HOST_FRAME_GRABBER_H_

// The window pixels of every capture, through one connection kept open
// between captures. Where the server offers shared memory (MIT-SHM) the
// pixels arrive in a segment both processes map instead of through the
// socket; where it does not, or attaching fails (a server on another
// machine), XGetImage takes over.

#include <X11/Xlib.h>

#include <memory>

namespace korvane_bridge {

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

  // The whole window as the server holds it, read at the size, depth and
  // visual of `attributes`; valid until the next Grab or Close. Null when
  // the server gives none (the window vanished, or lies partly off screen).
  const XImage* Grab(Window window, const XWindowAttributes& attributes);

  // Whether grabs use shared memory now.
  bool UsesSharedMemory() const;

  void Close();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_FRAME_GRABBER_H_
