#include "host/second_screen/window_capture.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "host/second_screen/frame_hash.h"
#include "host/second_screen/frame_scaler.h"
#include "host/second_screen/jpeg_encoder.h"
#include "host/second_screen/window_pixels.h"
#include "host/second_screen/x11_connection.h"

namespace korvane_bridge {

namespace {

constexpr int kMinTargetSize = 64;
constexpr int kMaxTargetWidth = 1920;
constexpr int kMaxTargetHeight = 1080;
constexpr int kMinQuality = 20;
constexpr int kMaxQuality = 95;

using Clock = std::chrono::steady_clock;

int Clamp(int64_t value, int low, int high) {
  return static_cast<int>(
      std::min<int64_t>(std::max<int64_t>(value, low), high));
}

KorvaneBridgeCapturedWindowFrame* WindowClosedFrame(int64_t window_id) {
  return korvane_bridge_captured_window_frame_new(window_id, nullptr, 0, 0, 0,
                                                  0, 0, 0, FALSE, TRUE);
}

}  // namespace

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
  // Keeps the mirrored window redirected while frames of it are asked for;
  // `redirected_before` is the window redirected before the capture.
  void NoteCapture(Window redirected_before);
  // The releaser's loop: lets the window go once no frame was asked for
  // during the idle time, until the capturer closes.
  void ReleaseWhenIdle();

  // Guards everything below.
  std::mutex mutex;
  WindowPixels pixels;
  // Of the last window read, which `pixels` may know unchanged since.
  uint64_t last_hash = 0;
  FrameScaler scaler;
  JpegEncoder encoder;
  std::condition_variable wake_releaser;
  Clock::time_point last_capture;
  bool closing = false;
  std::thread releaser;
};

void WindowCapturer::Parts::NoteCapture(Window redirected_before) {
  last_capture = Clock::now();
  if (pixels.Redirected() == None) {
    return;
  }
  if (!releaser.joinable()) {
    // std::thread reports a refused thread only by throwing.
    try {
      releaser = std::thread([this] { ReleaseWhenIdle(); });
    } catch (const std::system_error&) {
      // Nothing would let the window go later: it goes now.
      pixels.StopRedirecting();
      return;
    }
  }
  // A releaser that waits for a deadline finds the later capture when it
  // comes: waking it for every frame would cost each one a thread switch.
  if (redirected_before == None) {
    wake_releaser.notify_one();
  }
}

void WindowCapturer::Parts::ReleaseWhenIdle() {
  std::unique_lock<std::mutex> lock(mutex);
  while (!closing) {
    if (pixels.Redirected() == None) {
      wake_releaser.wait(lock);
      continue;
    }
    const Clock::time_point deadline = last_capture + kRedirectionIdleTime;
    if (Clock::now() < deadline) {
      wake_releaser.wait_until(lock, deadline);
      continue;
    }
    ScopedX11ErrorTrap trap;
    pixels.StopRedirecting();
  }
}

WindowCapturer::WindowCapturer() : parts_(std::make_unique<Parts>()) {}

WindowCapturer::~WindowCapturer() {
  Close();
}

KorvaneBridgeCapturedWindowFrame* WindowCapturer::Capture(
    const CaptureSettings& settings) {
  Parts& parts = *parts_;
  std::lock_guard<std::mutex> lock(parts.mutex);
  ScopedX11ErrorTrap trap;
  Display* display = parts.pixels.Connection();
  if (display == nullptr) {
    return nullptr;
  }
  const auto window = static_cast<Window>(settings.window_id);
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, window, &attributes) == 0 ||
      attributes.map_state != IsViewable || attributes.width < 1 ||
      attributes.height < 1) {
    // The mirror of a window ends with it.
    if (window == parts.pixels.Redirected()) {
      parts.pixels.StopRedirecting();
    }
    return WindowClosedFrame(settings.window_id);
  }
  const Window redirected_before = parts.pixels.Redirected();
  // Nothing drawn since the frame the handheld holds: no grab needed.
  if (settings.previous_frame_hash != 0 &&
      static_cast<uint64_t>(settings.previous_frame_hash) == parts.last_hash &&
      parts.pixels.Unchanged(window, attributes)) {
    parts.NoteCapture(redirected_before);
    return korvane_bridge_captured_window_frame_new(
        settings.window_id, nullptr, 0, attributes.width, attributes.height,
        settings.target_width, settings.target_height,
        settings.previous_frame_hash, TRUE, FALSE);
  }
  const XImage* image = parts.pixels.Read(window, attributes);
  parts.NoteCapture(redirected_before);
  if (image == nullptr) {
    return nullptr;
  }
  const uint64_t hash = FrameHash(*image);
  parts.last_hash = hash;
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
  Parts& parts = *parts_;
  {
    std::lock_guard<std::mutex> lock(parts.mutex);
    parts.closing = true;
    parts.wake_releaser.notify_one();
  }
  if (parts.releaser.joinable()) {
    parts.releaser.join();
  }
  std::lock_guard<std::mutex> lock(parts.mutex);
  parts.closing = false;
  parts.pixels.Close();
}

}  // namespace korvane_bridge
