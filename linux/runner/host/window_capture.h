#ifndef LINUX_RUNNER_HOST_WINDOW_CAPTURE_H_
#define LINUX_RUNNER_HOST_WINDOW_CAPTURE_H_

// One frame of an X11 window for the second screen: grabbed, compared with
// the frame the handheld already shows by a sampled hash, and only when it
// changed scaled to the requested size and encoded as JPEG.

#include <stdint.h>

#include "korvane_bridge_records.h"

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

// The encoded, unchanged or window-closed frame, or null when no frame can
// be made (no display, no image, a pixel layout it cannot read, a failed
// encode). Opens a connection of its own: callable from any thread. The
// caller owns the reference.
KorvaneBridgeCapturedWindowFrame* CaptureWindowFrame(
    const CaptureSettings& settings);

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_WINDOW_CAPTURE_H_
