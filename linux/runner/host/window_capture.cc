#include "window_capture.h"

#include <algorithm>
#include <mutex>

#include "frame_grabber.h"
#include "frame_scaler.h"
#include "jpeg_encoder.h"
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

KorvaneBridgeCapturedWindowFrame* WindowClosedFrame(int64_t window_id) {
  return korvane_bridge_captured_window_frame_new(window_id, nullptr, 0, 0, 0,
                                                  0, 0, 0, FALSE, TRUE);
}

}  // namespace

uint64_t SampledFrameHash(const uint8_t* bytes, size_t size) {
  const uint64_t step = std::max<uint64_t>(size / kHashSamples, 1);
  uint64_t hash = kFnvOffsetBasis;
  for (uint64_t offset = 0; offset < size; offset += step) {
    hash = (hash ^ bytes[offset]) * kFnvPrime;
  }
  return hash;
}

CaptureSettings ClampCaptureConfig(
    KorvaneBridgeSecondScreenCaptureConfig* config) {
  return CaptureSettings{
      korvane_bridge_second_screen_capture_config_get_window_id(config),
      Clamp(
          korvane_bridge_second_screen_capture_config_get_target_width(config),
          kMinTargetSize, kMaxTargetWidth),
      Clamp(
          korvane_bridge_second_screen_capture_config_get_target_height(config),
          kMinTargetSize, kMaxTargetHeight),
      Clamp(
          korvane_bridge_second_screen_capture_config_get_jpeg_quality(config),
          kMinQuality, kMaxQuality),
      korvane_bridge_second_screen_capture_config_get_previous_frame_hash(
          config)};
}

struct WindowCapturer::Parts {
  std::mutex mutex;
  FrameGrabber grabber;
  FrameScaler scaler;
  JpegEncoder encoder;
};

WindowCapturer::WindowCapturer() : parts_(std::make_unique<Parts>()) {}

WindowCapturer::~WindowCapturer() = default;

KorvaneBridgeCapturedWindowFrame* WindowCapturer::Capture(
    const CaptureSettings& settings) {
  Parts& parts = *parts_;
  std::lock_guard<std::mutex> lock(parts.mutex);
  ScopedX11ErrorTrap trap;
  Display* display = parts.grabber.Connection();
  if (display == nullptr) {
    return nullptr;
  }
  const auto window = static_cast<Window>(settings.window_id);
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, window, &attributes) == 0 ||
      attributes.map_state != IsViewable || attributes.width < 1 ||
      attributes.height < 1) {
    return WindowClosedFrame(settings.window_id);
  }
  const XImage* image = parts.grabber.Grab(window, attributes);
  if (image == nullptr) {
    return nullptr;
  }
  const uint64_t hash = SampledFrameHash(
      reinterpret_cast<const uint8_t*>(image->data),
      static_cast<size_t>(image->bytes_per_line) * image->height);
  const bool unchanged =
      settings.previous_frame_hash != 0 &&
      static_cast<uint64_t>(settings.previous_frame_hash) == hash;
  JpegEncoder::File jpeg;
  if (!unchanged) {
    const FrameScaler::Frame scaled = parts.scaler.Scale(
        *image, settings.target_width, settings.target_height);
    if (scaled.pixels == nullptr) {
      return nullptr;
    }
    jpeg = parts.encoder.Encode(scaled.pixels, scaled.layout,
                                settings.target_width, scaled.stride,
                                settings.target_height, settings.jpeg_quality);
    if (jpeg.data == nullptr) {
      return nullptr;
    }
  }
  return korvane_bridge_captured_window_frame_new(
      settings.window_id, jpeg.data, jpeg.size, image->width, image->height,
      settings.target_width, settings.target_height, static_cast<int64_t>(hash),
      unchanged, FALSE);
}

void WindowCapturer::Close() {
  std::lock_guard<std::mutex> lock(parts_->mutex);
  parts_->grabber.Close();
}

}  // namespace korvane_bridge
