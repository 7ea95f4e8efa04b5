#ifndef LINUX_RUNNER_HOST_SECOND_SCREEN_WINDOW_CAPTURE_H_
#define LINUX_RUNNER_HOST_SECOND_SCREEN_WINDOW_CAPTURE_H_

// One frame of an X11 window for the second screen: its own pixels
// grabbed, compared with the frame the handheld already shows by a hash of
// every pixel, and only when it changed scaled to the requested size and
// encoded as JPEG.

#include <stdint.h>

#include <chrono>
#include <memory>

#include "pigeon/korvane_bridge_records.h"

namespace korvane_bridge {

// A capture request with its sizes and quality brought into range.
struct CaptureSettings {
  int64_t window_id;
  int target_width;
  int target_height;
  int jpeg_quality;
  int64_t previous_frame_hash;
};
CaptureSettings ClampCaptureConfig(
    KorvaneBridgeSecondScreenCaptureConfig* config);

// Captures frames one after another from any thread, keeping its X11
// connection, shared memory, scaling weights and buffers between them.
// The mirrored window stays redirected (see WindowPixels) until another
// window is captured, it closes, no frame of it was asked for during
// kRedirectionIdleTime, or the capturer closes.
class WindowCapturer {
 public:
  WindowCapturer();
  ~WindowCapturer();
  WindowCapturer(const WindowCapturer&) = delete;
  WindowCapturer& operator=(const WindowCapturer&) = delete;

  static constexpr std::chrono::milliseconds kRedirectionIdleTime{2000};

  // The encoded, unchanged or window-closed frame, or null when no frame
  // can be made (no display, no image, a pixel layout it cannot read, a
  // failed encode). The caller owns the reference.
  KorvaneBridgeCapturedWindowFrame* Capture(const CaptureSettings& settings);

  // Lets the mirrored window go and closes the connection; a later capture
  // opens a new one.
  void Close();

 private:
  // Kept out of this header, so that Xlib's macros stay out of the
  // bridge's.
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_SECOND_SCREEN_WINDOW_CAPTURE_H_
