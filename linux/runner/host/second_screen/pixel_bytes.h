#ifndef LINUX_RUNNER_HOST_SECOND_SCREEN_PIXEL_BYTES_H_
#define LINUX_RUNNER_HOST_SECOND_SCREEN_PIXEL_BYTES_H_

namespace korvane_bridge {

// Where red, green and blue lie within one pixel's bytes in memory, as the
// X server laid them out; frames keep that layout until they are encoded.
struct PixelBytes {
  int bytes_per_pixel = 0;
  int red = 0;
  int green = 0;
  int blue = 0;
};

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_SECOND_SCREEN_PIXEL_BYTES_H_
