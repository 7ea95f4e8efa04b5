#include "host/second_screen/frame_scaler.h"

#include <pixman.h>

#include <algorithm>
#include <memory>

namespace korvane_bridge {

namespace {

// Pixels in memory that the scaler owns or reads.
struct Plane {
  uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
};

std::optional<int> ChannelByte(unsigned long mask,
                               int bytes_per_pixel,
                               bool most_significant_first) {
  for (int byte = 0; byte < bytes_per_pixel; ++byte) {
    if (mask == 0xFFul << (8 * byte)) {
      return most_significant_first ? bytes_per_pixel - 1 - byte : byte;
    }
  }
  return std::nullopt;
}

// pixman rows start on 4-byte boundaries.
int StrideFor(int width, int bytes_per_pixel) {
  return (width * bytes_per_pixel + 3) / 4 * 4;
}

// Halves the axes that `halve_x` and `halve_y` name: each target pixel is
// the rounded mean of a 2x2 block (a 2x1 or 1x2 one when only one axis
// halves), an odd last row or column averaged with itself.
Plane Halve(const Plane& source,
            int bytes_per_pixel,
            bool halve_x,
            bool halve_y,
            std::vector<uint8_t>* storage) {
  Plane target;
  target.width = halve_x ? (source.width + 1) / 2 : source.width;
  target.height = halve_y ? (source.height + 1) / 2 : source.height;
  target.stride = StrideFor(target.width, bytes_per_pixel);
  storage->resize(static_cast<size_t>(target.stride) * target.height);
  target.pixels = storage->data();
  const int x_step = halve_x ? 2 : 1;
  for (int y = 0; y < target.height; ++y) {
    const int y0 = halve_y ? 2 * y : y;
    const int y1 = std::min(halve_y ? y0 + 1 : y0, source.height - 1);
    const uint8_t* row0 =
        source.pixels + static_cast<size_t>(y0) * source.stride;
    const uint8_t* row1 =
        source.pixels + static_cast<size_t>(y1) * source.stride;
    uint8_t* out = target.pixels + static_cast<size_t>(y) * target.stride;
    for (int x = 0; x < target.width; ++x) {
      const int x0 = x * x_step;
      const int x1 = std::min(halve_x ? x0 + 1 : x0, source.width - 1);
      for (int c = 0; c < bytes_per_pixel; ++c) {
        const int a = x0 * bytes_per_pixel + c;
        const int b = x1 * bytes_per_pixel + c;
        out[x * bytes_per_pixel + c] = static_cast<uint8_t>(
            (row0[a] + row0[b] + row1[a] + row1[b] + 2) >> 2);
      }
    }
  }
  return target;
}

struct PixmanImageUnref {
  void operator()(pixman_image_t* image) const { pixman_image_unref(image); }
};
using PixmanImage = std::unique_ptr<pixman_image_t, PixmanImageUnref>;

PixmanImage Wrap(const Plane& plane, pixman_format_code_t format) {
  return PixmanImage(pixman_image_create_bits(
      format, plane.width, plane.height,
      reinterpret_cast<uint32_t*>(plane.pixels), plane.stride));
}

}  // namespace

std::optional<PixelBytes> ReadPixelBytes(const XImage& image) {
  const int bits = image.bits_per_pixel;
  if ((bits != 24 && bits != 32) || image.width <= 0 || image.height <= 0 ||
      image.data == nullptr ||
      static_cast<int64_t>(image.bytes_per_line) <
          static_cast<int64_t>(image.width) * (bits / 8)) {
    return std::nullopt;
  }
  const int bytes = bits / 8;
  const bool msb_first = image.byte_order == MSBFirst;
  const std::optional<int> red = ChannelByte(image.red_mask, bytes, msb_first);
  const std::optional<int> green =
      ChannelByte(image.green_mask, bytes, msb_first);
  const std::optional<int> blue =
      ChannelByte(image.blue_mask, bytes, msb_first);
  if (!red || !green || !blue) {
    return std::nullopt;
  }
  return PixelBytes{bytes, *red, *green, *blue};
}

FrameScaler::Frame FrameScaler::Scale(const XImage& image,
                                      int width,
                                      int height) {
  const std::optional<PixelBytes> layout = ReadPixelBytes(image);
  // pixman reads whole 32-bit words, so rows must start on them.
  if (!layout || width <= 0 || height <= 0 || image.bytes_per_line % 4 != 0) {
    return {};
  }
  const int bytes_per_pixel = layout->bytes_per_pixel;
  Plane plane{reinterpret_cast<uint8_t*>(image.data), image.width, image.height,
              image.bytes_per_line};
  for (int round = 0;; round = 1 - round) {
    const bool halve_x = plane.width > 2 * width;
    const bool halve_y = plane.height > 2 * height;
    if (!halve_x && !halve_y) {
      break;
    }
    plane = Halve(plane, bytes_per_pixel, halve_x, halve_y, &halved_[round]);
  }

  // Every byte is carried alike: a four-byte pixel as pixman's a8r8g8b8,
  // whose bilinear filter treats its four channels the same way.
  const pixman_format_code_t format =
      bytes_per_pixel == 4 ? PIXMAN_a8r8g8b8 : PIXMAN_r8g8b8;
  Plane target{nullptr, width, height, StrideFor(width, bytes_per_pixel)};
  scaled_.resize(static_cast<size_t>(target.stride) * height);
  target.pixels = scaled_.data();
  PixmanImage source = Wrap(plane, format);
  PixmanImage destination = Wrap(target, format);
  if (source == nullptr || destination == nullptr) {
    return {};
  }
  pixman_transform_t transform;
  pixman_transform_init_scale(
      &transform,
      pixman_double_to_fixed(static_cast<double>(plane.width) / width),
      pixman_double_to_fixed(static_cast<double>(plane.height) / height));
  pixman_image_set_transform(source.get(), &transform);
  pixman_image_set_filter(source.get(), PIXMAN_FILTER_BILINEAR, nullptr, 0);
  // The edge pixels stand in for what lies beyond them.
  pixman_image_set_repeat(source.get(), PIXMAN_REPEAT_PAD);
  pixman_image_composite32(PIXMAN_OP_SRC, source.get(), nullptr,
                           destination.get(), 0, 0, 0, 0, 0, 0, width, height);
  return {target.pixels, target.stride, *layout};
}

}  // namespace korvane_bridge
