#include "host/second_screen/jpeg_encoder.h"

#include <turbojpeg.h>

#include <climits>

namespace korvane_bridge {

namespace {

// What image viewers and the app's decoder expect of a photo-like frame:
// chroma at half resolution both ways, the accurate DCT.
constexpr int kSubsampling = TJSAMP_420;

// libjpeg-turbo's name for a layout, or -1.
int PixelFormatOf(const PixelBytes& layout) {
  struct Known {
    PixelBytes layout;
    int format;
  };
  static constexpr Known kKnown[] = {
      {{4, 2, 1, 0}, TJPF_BGRX}, {{4, 0, 1, 2}, TJPF_RGBX},
      {{4, 1, 2, 3}, TJPF_XRGB}, {{4, 3, 2, 1}, TJPF_XBGR},
      {{3, 2, 1, 0}, TJPF_BGR},  {{3, 0, 1, 2}, TJPF_RGB},
  };
  for (const Known& known : kKnown) {
    if (known.layout.bytes_per_pixel == layout.bytes_per_pixel &&
        known.layout.red == layout.red && known.layout.green == layout.green &&
        known.layout.blue == layout.blue) {
      return known.format;
    }
  }
  return -1;
}

}  // namespace

JpegEncoder::JpegEncoder() = default;

JpegEncoder::~JpegEncoder() {
  tjFree(buffer_);
  if (handle_ != nullptr) {
    tjDestroy(handle_);
  }
}

JpegEncoder::File JpegEncoder::Encode(const uint8_t* pixels,
                                      const PixelBytes& layout,
                                      int width,
                                      int stride,
                                      int height,
                                      int quality) {
  // Made at the first frame: most sessions never mirror a window.
  if (handle_ == nullptr) {
    handle_ = tjInitCompress();
  }
  const int format = PixelFormatOf(layout);
  if (handle_ == nullptr || format < 0 || width <= 0 || height <= 0) {
    return {};
  }
  // The worst case for these sizes, so that the library never has to
  // grow the buffer itself.
  const unsigned long needed = tjBufSize(width, height, kSubsampling);
  if (needed == static_cast<unsigned long>(-1) || needed > INT_MAX) {
    return {};
  }
  if (needed > capacity_) {
    tjFree(buffer_);
    buffer_ = tjAlloc(static_cast<int>(needed));
    capacity_ = buffer_ != nullptr ? needed : 0;
    if (buffer_ == nullptr) {
      return {};
    }
  }
  unsigned long size = capacity_;
  if (tjCompress2(handle_, pixels, width, stride, height, format, &buffer_,
                  &size, kSubsampling, quality, TJFLAG_NOREALLOC) != 0 ||
      size == 0) {
    return {};
  }
  return {buffer_, size};
}

}  // namespace korvane_bridge
