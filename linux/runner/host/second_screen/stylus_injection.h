#ifndef LINUX_RUNNER_HOST_SECOND_SCREEN_STYLUS_INJECTION_H_
#define LINUX_RUNNER_HOST_SECOND_SCREEN_STYLUS_INJECTION_H_

// Stylus strokes drawn on the mirrored window, turned into left-button input
// on the X11 window: through the real pointer and the virtual mouse where
// the point is visible, through events sent to the window where it is
// covered. Keeps one X11 connection for the strokes and the window's size
// for a moment, since a stroke is a stream of samples.

#include <memory>

#include "input/uinput_pad_backend.h"
#include "pigeon/korvane_bridge_records.h"

namespace korvane_bridge {

class StylusInjector {
 public:
  StylusInjector();
  ~StylusInjector();
  StylusInjector(const StylusInjector&) = delete;
  StylusInjector& operator=(const StylusInjector&) = delete;

  // False when no display can be reached or the window has no size (it is
  // gone); true once the sample was delivered as well as it could be.
  bool InjectWindowStylusEvent(
      KorvaneBridgeNativeStylusInjectionRequest* request,
      UinputPadBackend& backend);

  void CloseDisplay();

 private:
  // The connection, the cached size and the stroke, with the X11 types that
  // stay out of this header.
  struct State;
  const std::unique_ptr<State> state_;
};

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_SECOND_SCREEN_STYLUS_INJECTION_H_
