#include "window_capture.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "window_capture_steps.h"
#include "x11_connection.h"

namespace korvane_bridge {

namespace {

constexpr int kMinTargetSize = 64;
constexpr int kMaxTargetWidth = 1920;
constexpr int kMaxTargetHeight = 1080;
constexpr int kMinQuality = 20;
constexpr int kMaxQuality = 95;

constexpr uint64_t kHashSamples = 16384;
constexpr uint64_t kFnvOffsetBasis = 0xCBF29CE484222325ull;
constexpr uint64_t kFnvPrime = 0x100000001B3ull;

int Clamp(int64_t value, int low, int high) {
  return static_cast<int>(
      std::min<int64_t>(std::max<int64_t>(value, low), high));
}

// Where red, green and blue sit in one pixel of a TrueColor image.
struct PixelLayout {
  int bytes_per_pixel;
  bool most_significant_byte_first;
  int red_shift;
  int green_shift;
  int blue_shift;
};

// The shift of an 8-bit channel mask inside a pixel of `bits` bits.
std::optional<int> ChannelShift(unsigned long mask, int bits) {
  for (int shift = 0; shift + 8 <= bits; ++shift) {
    if (mask == 0xFFul << shift) {
      return shift;
    }
  }
  return std::nullopt;
}

// Nothing for layouts other than 24 or 32 bits with 8 bits per channel, or
// for an image whose rows are shorter than its pixels need.
std::optional<PixelLayout> ReadPixelLayout(const XImage& image) {
  const int bits = image.bits_per_pixel;
  if ((bits != 24 && bits != 32) || image.width <= 0 || image.height <= 0 ||
      static_cast<int64_t>(image.bytes_per_line) <
          static_cast<int64_t>(image.width) * (bits / 8)) {
    return std::nullopt;
  }
  const std::optional<int> red = ChannelShift(image.red_mask, bits);
  const std::optional<int> green = ChannelShift(image.green_mask, bits);
  const std::optional<int> blue = ChannelShift(image.blue_mask, bits);
  if (!red || !green || !blue) {
    return std::nullopt;
  }
  return PixelLayout{bits / 8, image.byte_order == MSBFirst, *red, *green,
                     *blue};
}

void CopyPixels(const XImage& image,
                const PixelLayout& layout,
                guchar* destination,
                int rowstride) {
  for (int y = 0; y < image.height; ++y) {
    const auto* source = reinterpret_cast<const unsigned char*>(image.data) +
                         static_cast<size_t>(y) * image.bytes_per_line;
    guchar* row = destination + static_cast<size_t>(y) * rowstride;
    for (int x = 0; x < image.width; ++x) {
      uint32_t pixel = 0;
      for (int i = 0; i < layout.bytes_per_pixel; ++i) {
        const int byte = layout.most_significant_byte_first
                             ? i
                             : layout.bytes_per_pixel - 1 - i;
        pixel = (pixel << 8) | source[byte];
      }
      row[0] = static_cast<guchar>(pixel >> layout.red_shift);
      row[1] = static_cast<guchar>(pixel >> layout.green_shift);
      row[2] = static_cast<guchar>(pixel >> layout.blue_shift);
      source += layout.bytes_per_pixel;
      row += 3;
    }
  }
}

KorvaneBridgeCapturedWindowFrame* WindowClosedFrame(int64_t window_id) {
  return korvane_bridge_captured_window_frame_new(window_id, nullptr, 0, 0, 0,
                                                  0, 0, 0, FALSE, TRUE);
}

// The image scaled to the target size and encoded; null on any failure.
KorvaneBridgeCapturedWindowFrame* EncodedFrame(const XImage& image,
                                               const CaptureSettings& settings,
                                               uint64_t hash) {
  PixbufPtr full = RgbPixbufFromImage(image);
  if (full == nullptr) {
    return nullptr;
  }
  PixbufPtr scaled =
      ScalePixbuf(full.get(), settings.target_width, settings.target_height);
  full.reset();
  if (scaled == nullptr) {
    return nullptr;
  }
  gsize size = 0;
  JpegBuffer jpeg = EncodeJpeg(scaled.get(), settings.jpeg_quality, &size);
  if (jpeg == nullptr) {
    return nullptr;
  }
  return korvane_bridge_captured_window_frame_new(
      settings.window_id, reinterpret_cast<const uint8_t*>(jpeg.get()), size,
      image.width, image.height, settings.target_width, settings.target_height,
      static_cast<int64_t>(hash), FALSE, FALSE);
}

}  // namespace

ImagePtr GrabWindowImage(Display* display,
                         Window window,
                         int width,
                         int height) {
  ImagePtr image(
      XGetImage(display, window, 0, 0, width, height, AllPlanes, ZPixmap));
  if (image != nullptr && image->data == nullptr) {
    image.reset();
  }
  return image;
}

uint64_t SampledFrameHash(const XImage& image) {
  const uint64_t total = static_cast<uint64_t>(image.bytes_per_line) *
                         static_cast<uint64_t>(image.height);
  const uint64_t step = std::max<uint64_t>(total / kHashSamples, 1);
  const auto* bytes = reinterpret_cast<const unsigned char*>(image.data);
  uint64_t hash = kFnvOffsetBasis;
  for (uint64_t offset = 0; offset < total; offset += step) {
    hash = (hash ^ bytes[offset]) * kFnvPrime;
  }
  return hash;
}

PixbufPtr RgbPixbufFromImage(const XImage& image) {
  const std::optional<PixelLayout> layout = ReadPixelLayout(image);
  if (!layout) {
    return nullptr;
  }
  PixbufPtr pixbuf(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, image.width,
                                  image.height));
  if (pixbuf != nullptr) {
    CopyPixels(image, *layout, gdk_pixbuf_get_pixels(pixbuf.get()),
               gdk_pixbuf_get_rowstride(pixbuf.get()));
  }
  return pixbuf;
}

PixbufPtr ScalePixbuf(const GdkPixbuf* pixbuf, int width, int height) {
  return PixbufPtr(
      gdk_pixbuf_scale_simple(pixbuf, width, height, GDK_INTERP_BILINEAR));
}

JpegBuffer EncodeJpeg(GdkPixbuf* pixbuf, int quality, gsize* size) {
  char quality_text[16];
  snprintf(quality_text, sizeof quality_text, "%d", quality);
  char* option_keys[] = {const_cast<char*>("quality"), nullptr};
  char* option_values[] = {quality_text, nullptr};
  gchar* bytes = nullptr;
  *size = 0;
  if (!gdk_pixbuf_save_to_bufferv(pixbuf, &bytes, size, "jpeg", option_keys,
                                  option_values, nullptr) ||
      bytes == nullptr || *size == 0) {
    g_free(bytes);
    *size = 0;
    return nullptr;
  }
  return JpegBuffer(bytes);
}

CaptureSettings ClampCaptureConfig(
    KorvaneBridgeSecondScreenCaptureConfig* config) {
  return CaptureSettings{
      korvane_bridge_second_screen_capture_config_get_window_id(config),
      Clamp(korvane_bridge_second_screen_capture_config_get_target_width(config),
            kMinTargetSize, kMaxTargetWidth),
      Clamp(
          korvane_bridge_second_screen_capture_config_get_target_height(config),
          kMinTargetSize, kMaxTargetHeight),
      Clamp(korvane_bridge_second_screen_capture_config_get_jpeg_quality(config),
            kMinQuality, kMaxQuality),
      korvane_bridge_second_screen_capture_config_get_previous_frame_hash(
          config)};
}

KorvaneBridgeCapturedWindowFrame* CaptureWindowFrame(
    const CaptureSettings& settings) {
  // Before the connection, so that it also covers the errors that closing
  // the connection reports.
  ScopedX11ErrorTrap trap;
  X11Connection connection = OpenDefaultDisplay();
  if (connection == nullptr) {
    return nullptr;
  }
  const auto window = static_cast<Window>(settings.window_id);
  XWindowAttributes attributes;
  if (XGetWindowAttributes(connection.get(), window, &attributes) == 0 ||
      attributes.map_state != IsViewable || attributes.width < 1 ||
      attributes.height < 1) {
    return WindowClosedFrame(settings.window_id);
  }
  ImagePtr image = GrabWindowImage(connection.get(), window, attributes.width,
                                   attributes.height);
  if (image == nullptr) {
    return nullptr;
  }
  const uint64_t hash = SampledFrameHash(*image);
  if (settings.previous_frame_hash != 0 &&
      static_cast<uint64_t>(settings.previous_frame_hash) == hash) {
    return korvane_bridge_captured_window_frame_new(
        settings.window_id, nullptr, 0, image->width, image->height,
        settings.target_width, settings.target_height,
        static_cast<int64_t>(hash), TRUE, FALSE);
  }
  return EncodedFrame(*image, settings, hash);
}

}  // namespace korvane_bridge
