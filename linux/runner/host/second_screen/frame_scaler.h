#ifndef LINUX_RUNNER_HOST_SECOND_SCREEN_FRAME_SCALER_H_
#define LINUX_RUNNER_HOST_SECOND_SCREEN_FRAME_SCALER_H_

// A grabbed window image brought to the size the handheld asked for,
// resampled in the server's own pixel layout: every byte of a pixel is
// treated alike, so the channels are sorted out only by the encoder.

#include <X11/Xlib.h>
#include <stdint.h>

#include <optional>
#include <vector>

#include "host/second_screen/pixel_bytes.h"

namespace korvane_bridge {

// The layout of 24- or 32-bit pixels whose three 8-bit channels sit on
// whole bytes, in either byte order; nothing for any other layout or for
// rows shorter than their pixels.
std::optional<PixelBytes> ReadPixelBytes(const XImage& image);

// Resamples images to the requested size, bilinear through pixman (whose
// vector code does it in a fraction of a millisecond), after halving an
// axis by 2x2 averages while it would shrink by more than half, so that
// every source pixel still counts. Keeps its buffers between frames, so
// that a stream of frames of one size allocates nothing. Not thread-safe.
class FrameScaler {
 public:
  struct Frame {
    // `height` rows of `width` pixels, `stride` bytes apart; valid until
    // the next call. Null, with nothing read, when the layout cannot be
    // read.
    const uint8_t* pixels = nullptr;
    int stride = 0;
    PixelBytes layout;
  };
  Frame Scale(const XImage& image, int width, int height);

 private:
  std::vector<uint8_t> halved_[2];
  std::vector<uint8_t> scaled_;
};

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_SECOND_SCREEN_FRAME_SCALER_H_
