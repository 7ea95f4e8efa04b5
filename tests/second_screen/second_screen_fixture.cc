#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <cstdlib>

// After the others: Xlib's macros break GoogleTest's headers.
#include "second_screen_fixture.h"

namespace second_screen_testing {

namespace {

// Null, with a failed expectation, for anything but a record of the type.
template <typename Record>
Record* RecordOf(FlValue* value, int type_id) {
  if (fl_value_get_type(value) != FL_VALUE_TYPE_CUSTOM ||
      fl_value_get_custom_type(value) != type_id) {
    ADD_FAILURE() << "not a record of type " << type_id;
    return nullptr;
  }
  return reinterpret_cast<Record*>(fl_value_get_custom_value_object(value));
}

Bytes RecordArgument(int type_id, gpointer record) {
  return host_testing::Arguments(
      bridge_testing::List({bridge_testing::RecordValue(type_id, record)}));
}

}  // namespace

::testing::AssertionResult DecodedImage::Near(int x,
                                              int y,
                                              uint32_t rgb) const {
  const uint8_t* p = pixels.data() + y * rowstride + x * channels;
  for (int i = 0; i < 3; i++) {
    if (std::abs(p[i] - int(rgb >> (16 - 8 * i) & 0xFF)) > 40) {
      return ::testing::AssertionFailure()
             << "(" << x << ", " << y << ") is " << int{p[0]} << "/"
             << int{p[1]} << "/" << int{p[2]};
    }
  }
  return ::testing::AssertionSuccess();
}

DecodedImage DecodeJpeg(const std::vector<uint8_t>& jpeg) {
  DecodedImage image;
  g_autoptr(GdkPixbufLoader) loader =
      gdk_pixbuf_loader_new_with_type("jpeg", nullptr);
  const bool written =
      gdk_pixbuf_loader_write(loader, jpeg.data(), jpeg.size(), nullptr);
  GdkPixbuf* pixbuf = gdk_pixbuf_loader_close(loader, nullptr) && written
                          ? gdk_pixbuf_loader_get_pixbuf(loader)
                          : nullptr;
  if (pixbuf != nullptr) {
    image.width = gdk_pixbuf_get_width(pixbuf);
    image.height = gdk_pixbuf_get_height(pixbuf);
    image.rowstride = gdk_pixbuf_get_rowstride(pixbuf);
    image.channels = gdk_pixbuf_get_n_channels(pixbuf);
    const guint8* data = gdk_pixbuf_read_pixels(pixbuf);
    image.pixels.assign(data, data + gdk_pixbuf_get_byte_length(pixbuf));
  }
  return image;
}

Bytes CaptureArguments(int64_t window,
                       int64_t width,
                       int64_t height,
                       int64_t quality,
                       int64_t previous_hash) {
  g_autoptr(KorvaneBridgeSecondScreenCaptureConfig) config =
      korvane_bridge_second_screen_capture_config_new(window, width, height,
                                                      quality, previous_hash);
  return RecordArgument(korvane_bridge_second_screen_capture_config_type_id,
                        config);
}

Bytes StylusArguments(int64_t window,
                      double u,
                      double v,
                      int phase,
                      bool restore) {
  g_autoptr(KorvaneBridgeNativeStylusInjectionRequest) request =
      korvane_bridge_native_stylus_injection_request_new(
          window, u, v, static_cast<KorvaneBridgeStylusPhase>(phase), restore);
  return RecordArgument(korvane_bridge_native_stylus_injection_request_type_id,
                        request);
}

std::optional<CapturedFrame> FrameOf(FlValue* reply) {
  if (fl_value_get_type(reply) == FL_VALUE_TYPE_NULL) {
    return std::nullopt;
  }
  auto* record = RecordOf<KorvaneBridgeCapturedWindowFrame>(
      reply, korvane_bridge_captured_window_frame_type_id);
  if (record == nullptr) {
    return std::nullopt;
  }
#define FRAME(field) korvane_bridge_captured_window_frame_get_##field(record)
  size_t length = 0;
  const uint8_t* bytes =
      korvane_bridge_captured_window_frame_get_jpeg_bytes(record, &length);
  return CapturedFrame{FRAME(window_id),
                       std::vector<uint8_t>(bytes, bytes + length),
                       {FRAME(source_width), FRAME(source_height),
                        FRAME(encoded_width), FRAME(encoded_height)},
                       FRAME(frame_hash),
                       !!FRAME(is_unchanged),
                       !!FRAME(is_window_closed)};
#undef FRAME
}

std::vector<ListedWindow> SecondScreenCalls::List() {
  g_autoptr(FlValue) reply =
      Call(host_testing::Method("listCapturableWindows"));
  std::vector<ListedWindow> windows;
  if (fl_value_get_type(reply) != FL_VALUE_TYPE_LIST) {
    ADD_FAILURE() << "the listing is not a list";
    return windows;
  }
  for (size_t i = 0; i < fl_value_get_length(reply); i++) {
    auto* info = RecordOf<KorvaneBridgeCapturableWindowInfo>(
        fl_value_get_list_value(reply, i),
        korvane_bridge_capturable_window_info_type_id);
    if (info == nullptr) {
      continue;
    }
#define INFO(field) korvane_bridge_capturable_window_info_get_##field(info)
    windows.push_back({INFO(window_id), INFO(window_title),
                       INFO(owner_app_name), INFO(bundle_or_exe_id),
                       INFO(width), INFO(height), !!INFO(is_on_screen),
                       !!INFO(is_emulator_candidate)});
#undef INFO
  }
  return windows;
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

namespace {

// Every binary of this folder runs under one openbox, started before its
// first test and stopped after its last.
class WindowManagerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    g_autoptr(GError) error = nullptr;
    // --sm-disable: no session manager to look for.
    process_ = g_subprocess_new(
        static_cast<GSubprocessFlags>(G_SUBPROCESS_FLAGS_STDOUT_SILENCE |
                                      G_SUBPROCESS_FLAGS_STDERR_SILENCE),
        &error, "openbox", "--sm-disable", nullptr);
    ASSERT_NE(process_, nullptr) << "openbox: " << error->message;
    TestDisplay screen;
    ASSERT_TRUE(screen.connected());
    // Published hints are not yet management: openbox drops map requests
    // that come in while it is still starting. A probe that shows up in its
    // client list tells that it took over.
    bool managing = false;
    for (int attempt = 0; attempt < 50 && !managing; attempt++) {
      WindowLook probe;
      probe.width = probe.height = 10;
      probe.wait = false;
      const Window window = screen.Create(probe);
      managing = peer_testing::Eventually(
          [&] { return screen.Managed(window) && screen.Viewable(window); },
          std::chrono::milliseconds(200), std::chrono::milliseconds(10));
      screen.Destroy(window, managing);
    }
    ASSERT_TRUE(managing) << "openbox does not manage windows";
  }
  void TearDown() override { x_server_testing::StopProcess(process_); }

 private:
  GSubprocess* process_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const kWindowManager =
    ::testing::AddGlobalTestEnvironment(new WindowManagerEnvironment);

}  // namespace

Terminal::Terminal(const char* title,
                   const char* geometry,
                   const char* background) {
  g_autoptr(GError) error = nullptr;
  // cat echoes nothing itself: the terminal's own echo shows each key.
  process_ = g_subprocess_new(
      static_cast<GSubprocessFlags>(G_SUBPROCESS_FLAGS_STDOUT_SILENCE |
                                    G_SUBPROCESS_FLAGS_STDERR_SILENCE),
      &error, "xterm", "-T", title, "-geometry", geometry, "-bg", background,
      "-fg", "white", "-e", "cat", nullptr);
  EXPECT_NE(process_, nullptr) << "xterm: " << error->message;
}

Terminal::~Terminal() {
  x_server_testing::StopProcess(process_);
}

::testing::AssertionResult TypeInto(Window window, const std::string& text) {
  const std::string id = std::to_string(window);
  const gchar* command[] = {"xdotool",  "windowactivate", "--sync",
                            id.c_str(), "type",           "--delay",
                            "0",        text.c_str(),     nullptr};
  gint status = -1;
  g_autoptr(GError) error = nullptr;
  if (!g_spawn_sync(nullptr, const_cast<gchar**>(command), nullptr,
                    static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH |
                                             G_SPAWN_STDOUT_TO_DEV_NULL |
                                             G_SPAWN_STDERR_TO_DEV_NULL),
                    nullptr, nullptr, nullptr, nullptr, &status, &error) ||
      !g_spawn_check_wait_status(status, nullptr)) {
    return ::testing::AssertionFailure()
           << "xdotool: " << (error != nullptr ? error->message : "failed");
  }
  return ::testing::AssertionSuccess();
}

}  // namespace second_screen_testing
