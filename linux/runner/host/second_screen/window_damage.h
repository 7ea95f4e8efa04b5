#ifndef LINUX_RUNNER_HOST_SECOND_SCREEN_WINDOW_DAMAGE_H_
#define LINUX_RUNNER_HOST_SECOND_SCREEN_WINDOW_DAMAGE_H_

// Whether a window was drawn on since its pixels were last read, from the
// X server's Damage reports: a window that nothing drew on needs no grab to
// be known unchanged. Every drawing the server does, for any client, is
// reported, also on a window's children and, for the root window, on every
// window on screen.

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

namespace korvane_bridge {

class WindowDamage {
 public:
  // Watches `window` from now on, just before its pixels are read: only
  // drawing after this counts. Does nothing on a server without Damage.
  void Restart(Display* display, Window window);

  // True only when `window` is the one watched and the reports that have
  // arrived tell of no drawing since Restart. A round trip to the server
  // just before (any request with a reply) brings every report of the
  // drawing done until then.
  bool Undrawn(Display* display, Window window);

  // Ends the watch; a window that is gone took its watch with it.
  void Stop(Display* display);

 private:
  // Takes the reports that have arrived.
  void TakeReports(Display* display);

  bool queried_ = false;
  // -1 on a server without Damage.
  int event_base_ = -1;
  Window window_ = None;
  Damage damage_ = None;
  bool drawn_ = true;
};

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_SECOND_SCREEN_WINDOW_DAMAGE_H_
