#ifndef LINUX_RUNNER_HOST_SECOND_SCREEN_JPEG_ENCODER_H_
#define LINUX_RUNNER_HOST_SECOND_SCREEN_JPEG_ENCODER_H_

// JPEG files of scaled frames through libjpeg-turbo, into one buffer kept
// between frames.

#include <stddef.h>
#include <stdint.h>

#include "host/second_screen/pixel_bytes.h"

namespace korvane_bridge {

class JpegEncoder {
 public:
  JpegEncoder();
  ~JpegEncoder();
  JpegEncoder(const JpegEncoder&) = delete;
  JpegEncoder& operator=(const JpegEncoder&) = delete;

  struct File {
    const uint8_t* data = nullptr;  // null on failure
    size_t size = 0;
  };

  // `pixels` holds `height` rows of `width` pixels laid out as `layout`
  // says, `stride` bytes apart. Fails for a channel order that libjpeg-turbo
  // does not read (none that an X server uses). The file's bytes stay valid
  // until the next call.
  File Encode(const uint8_t* pixels,
              const PixelBytes& layout,
              int width,
              int stride,
              int height,
              int quality);

 private:
  void* handle_ = nullptr;
  unsigned char* buffer_ = nullptr;
  unsigned long capacity_ = 0;
};

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_SECOND_SCREEN_JPEG_ENCODER_H_
