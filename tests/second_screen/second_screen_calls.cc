#include "second_screen_calls.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace second_screen_testing {

namespace {

using bridge_testing::List;
using bridge_testing::RecordValue;

template <typename Record>
Record* RecordOf(FlValue* value) {
  return reinterpret_cast<Record*>(fl_value_get_custom_value_object(value));
}

}  // namespace

Pixel DecodedImage::At(int x, int y) const {
  const uint8_t* pixel = pixels.data() + y * rowstride + x * channels;
  return {pixel[0], pixel[1], pixel[2]};
}

DecodedImage DecodeJpeg(const std::vector<uint8_t>& jpeg) {
  DecodedImage image;
  g_autoptr(GdkPixbufLoader) loader =
      gdk_pixbuf_loader_new_with_type("jpeg", nullptr);
  if (loader == nullptr ||
      !gdk_pixbuf_loader_write(loader, jpeg.data(), jpeg.size(), nullptr)) {
    if (loader != nullptr) {
      gdk_pixbuf_loader_close(loader, nullptr);
    }
    return image;
  }
  if (!gdk_pixbuf_loader_close(loader, nullptr)) {
    return image;
  }
  GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
  if (pixbuf == nullptr) {
    return image;
  }
  image.width = gdk_pixbuf_get_width(pixbuf);
  image.height = gdk_pixbuf_get_height(pixbuf);
  image.rowstride = gdk_pixbuf_get_rowstride(pixbuf);
  image.channels = gdk_pixbuf_get_n_channels(pixbuf);
  const guint8* data = gdk_pixbuf_read_pixels(pixbuf);
  image.pixels.assign(data, data + gdk_pixbuf_get_byte_length(pixbuf));
  return image;
}

::testing::AssertionResult Near(const Pixel& pixel,
                                int red,
                                int green,
                                int blue) {
  constexpr int kTolerance = 40;
  if (std::abs(pixel.red - red) <= kTolerance &&
      std::abs(pixel.green - green) <= kTolerance &&
      std::abs(pixel.blue - blue) <= kTolerance) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "the pixel is (" << pixel.red << ", " << pixel.green << ", "
         << pixel.blue << "), not near (" << red << ", " << green << ", "
         << blue << ")";
}

Bytes CaptureArguments(int64_t window,
                       int64_t width,
                       int64_t height,
                       int64_t quality,
                       int64_t previous_hash) {
  g_autoptr(KorvaneBridgeSecondScreenCaptureConfig) config =
      korvane_bridge_second_screen_capture_config_new(window, width, height,
                                                      quality, previous_hash);
  return host_testing::Arguments(List({RecordValue(
      korvane_bridge_second_screen_capture_config_type_id, config)}));
}

Bytes StylusArguments(int64_t window,
                      double u,
                      double v,
                      int phase,
                      bool restore) {
  g_autoptr(KorvaneBridgeNativeStylusInjectionRequest) request =
      korvane_bridge_native_stylus_injection_request_new(
          window, u, v, static_cast<KorvaneBridgeStylusPhase>(phase), restore);
  return host_testing::Arguments(List({RecordValue(
      korvane_bridge_native_stylus_injection_request_type_id, request)}));
}

std::vector<ListedWindow> ListedWindows(FlValue* reply) {
  std::vector<ListedWindow> windows;
  if (fl_value_get_type(reply) != FL_VALUE_TYPE_LIST) {
    ADD_FAILURE() << "the listing is not a list";
    return windows;
  }
  for (size_t i = 0; i < fl_value_get_length(reply); i++) {
    FlValue* element = fl_value_get_list_value(reply, i);
    if (fl_value_get_type(element) != FL_VALUE_TYPE_CUSTOM ||
        fl_value_get_custom_type(element) !=
            korvane_bridge_capturable_window_info_type_id) {
      ADD_FAILURE() << "element " << i << " is not a window record";
      continue;
    }
    auto* info = RecordOf<KorvaneBridgeCapturableWindowInfo>(element);
    ListedWindow window;
    window.id = korvane_bridge_capturable_window_info_get_window_id(info);
    window.title = korvane_bridge_capturable_window_info_get_window_title(info);
    window.owner =
        korvane_bridge_capturable_window_info_get_owner_app_name(info);
    window.name =
        korvane_bridge_capturable_window_info_get_bundle_or_exe_id(info);
    window.width = korvane_bridge_capturable_window_info_get_width(info);
    window.height = korvane_bridge_capturable_window_info_get_height(info);
    window.on_screen =
        korvane_bridge_capturable_window_info_get_is_on_screen(info);
    window.emulator =
        korvane_bridge_capturable_window_info_get_is_emulator_candidate(info);
    windows.push_back(window);
  }
  return windows;
}

std::optional<CapturedFrame> FrameOf(FlValue* reply) {
  if (fl_value_get_type(reply) == FL_VALUE_TYPE_NULL) {
    return std::nullopt;
  }
  if (fl_value_get_type(reply) != FL_VALUE_TYPE_CUSTOM ||
      fl_value_get_custom_type(reply) !=
          korvane_bridge_captured_window_frame_type_id) {
    ADD_FAILURE() << "the capture reply is neither null nor a frame";
    return std::nullopt;
  }
  auto* record = RecordOf<KorvaneBridgeCapturedWindowFrame>(reply);
  CapturedFrame frame;
  frame.window_id = korvane_bridge_captured_window_frame_get_window_id(record);
  size_t length = 0;
  const uint8_t* bytes =
      korvane_bridge_captured_window_frame_get_jpeg_bytes(record, &length);
  if (length > 0) {
    frame.jpeg.assign(bytes, bytes + length);
  }
  frame.source_width =
      korvane_bridge_captured_window_frame_get_source_width(record);
  frame.source_height =
      korvane_bridge_captured_window_frame_get_source_height(record);
  frame.encoded_width =
      korvane_bridge_captured_window_frame_get_encoded_width(record);
  frame.encoded_height =
      korvane_bridge_captured_window_frame_get_encoded_height(record);
  frame.hash = korvane_bridge_captured_window_frame_get_frame_hash(record);
  frame.unchanged =
      korvane_bridge_captured_window_frame_get_is_unchanged(record);
  frame.closed =
      korvane_bridge_captured_window_frame_get_is_window_closed(record);
  return frame;
}

const std::string& ListMethod() {
  static const std::string method =
      host_testing::System("listCapturableWindows");
  return method;
}

const std::string& CaptureMethod() {
  static const std::string method = host_testing::System("captureWindowFrame");
  return method;
}

const std::string& StylusMethod() {
  static const std::string method =
      host_testing::System("injectWindowStylusEvent");
  return method;
}

std::vector<ListedWindow> SecondScreenCalls::List() {
  g_autoptr(FlValue) reply = Call(ListMethod());
  return ListedWindows(reply);
}

std::optional<CapturedFrame> SecondScreenCalls::Capture(int64_t window,
                                                        int64_t width,
                                                        int64_t height,
                                                        int64_t quality,
                                                        int64_t previous_hash) {
  g_autoptr(FlValue) reply =
      Call(CaptureMethod(),
           CaptureArguments(window, width, height, quality, previous_hash));
  return FrameOf(reply);
}

std::optional<bool> SecondScreenCalls::Stylus(int64_t window,
                                              double u,
                                              double v,
                                              int phase,
                                              bool restore) {
  g_autoptr(FlValue) reply =
      Call(StylusMethod(), StylusArguments(window, u, v, phase, restore));
  if (fl_value_get_type(reply) != FL_VALUE_TYPE_BOOL) {
    return std::nullopt;
  }
  return fl_value_get_bool(reply);
}

}  // namespace second_screen_testing
