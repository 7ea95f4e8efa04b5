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

// Every binary of this folder runs under one openbox, started before its
// first test and stopped after its last.
struct WindowManagerEnvironment : ::testing::Environment {
  void SetUp() override {
    // --sm-disable: no session manager to look for.
    openbox_ = Start({"openbox", "--sm-disable"});
    TestDisplay screen;
    ASSERT_TRUE(screen.connected());
    // Published hints are not yet management: openbox drops map requests
    // that come in while it is still starting. A probe that shows up in its
    // client list tells that it took over.
    bool managing = false;
    for (int attempt = 0; attempt < 50 && !managing; attempt++) {
      WindowLook probe{40, 40, 10, 10};
      probe.wait = false;
      const Window window = screen.Create(probe);
      managing = peer_testing::Eventually(
          [&] { return screen.Managed(window) && screen.Viewable(window); },
          std::chrono::milliseconds(200), std::chrono::milliseconds(10));
      screen.Destroy(window, managing);
    }
    ASSERT_TRUE(managing) << "openbox does not manage windows";
  }
  void TearDown() override { openbox_.reset(); }
  Process openbox_;
};

[[maybe_unused]] ::testing::Environment* const kWindowManager =
    ::testing::AddGlobalTestEnvironment(new WindowManagerEnvironment);

}  // namespace

::testing::AssertionResult Shows(const CapturedFrame& frame,
                                 const std::vector<Pixel>& pixels) {
  g_autoptr(GdkPixbufLoader) loader =
      gdk_pixbuf_loader_new_with_type("jpeg", nullptr);
  const bool written = gdk_pixbuf_loader_write(loader, frame.jpeg.data(),
                                               frame.jpeg.size(), nullptr);
  GdkPixbuf* image = gdk_pixbuf_loader_close(loader, nullptr) && written
                         ? gdk_pixbuf_loader_get_pixbuf(loader)
                         : nullptr;
  if (image == nullptr || gdk_pixbuf_get_width(image) != frame.sizes[2] ||
      gdk_pixbuf_get_height(image) != frame.sizes[3]) {
    return ::testing::AssertionFailure() << "no JPEG of the encoded size";
  }
  for (const auto& [x, y, rgb] : pixels) {
    const guint8* p = gdk_pixbuf_read_pixels(image) +
                      y * gdk_pixbuf_get_rowstride(image) +
                      x * gdk_pixbuf_get_n_channels(image);
    const int got = p[0] << 16 | p[1] << 8 | p[2];
    for (int shift : {16, 8, 0}) {
      if (std::abs((got >> shift & 0xFF) - int(rgb >> shift & 0xFF)) > 40) {
        return ::testing::AssertionFailure()
               << "(" << x << ", " << y << ") is " << std::hex << got;
      }
    }
  }
  return ::testing::AssertionSuccess();
}

CapturedFrame FrameOf(FlValue* taken) {
  g_autoptr(FlValue) reply = taken;
  auto* record = fl_value_get_type(reply) == FL_VALUE_TYPE_NULL
                     ? nullptr
                     : RecordOf<KorvaneBridgeCapturedWindowFrame>(
                           reply, korvane_bridge_captured_window_frame_type_id);
  if (record == nullptr) {
    return {true};
  }
#define FRAME(field) korvane_bridge_captured_window_frame_get_##field(record)
  size_t length = 0;
  const uint8_t* bytes =
      korvane_bridge_captured_window_frame_get_jpeg_bytes(record, &length);
  return {false,
          FRAME(window_id),
          std::vector<uint8_t>(bytes, bytes + length),
          {FRAME(source_width), FRAME(source_height), FRAME(encoded_width),
           FRAME(encoded_height)},
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

}  // namespace second_screen_testing
