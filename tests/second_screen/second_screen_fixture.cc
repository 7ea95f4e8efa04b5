#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>

// After the others: Xlib's macros break GoogleTest's headers.
#include "second_screen_fixture.h"

#include <X11/Xatom.h>
#include <X11/extensions/Xcomposite.h>

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
  return host_testing::Arguments(
      bridge_testing::List({bridge_testing::RecordValue(
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
  return host_testing::Arguments(
      bridge_testing::List({bridge_testing::RecordValue(
          korvane_bridge_native_stylus_injection_request_type_id, request)}));
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
  return CapturedFrame{
      FRAME(window_id),         std::vector<uint8_t>(bytes, bytes + length),
      FRAME(source_width),      FRAME(source_height),
      FRAME(encoded_width),     FRAME(encoded_height),
      FRAME(frame_hash),        !!FRAME(is_unchanged),
      !!FRAME(is_window_closed)};
#undef FRAME
}

std::vector<ListedWindow> SecondScreenCalls::List() {
  g_autoptr(FlValue) reply =
      Call(host_testing::System("listCapturableWindows"));
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
      for (int poll = 0; poll < 20 && !managing; poll++) {
        g_usleep(10000);
        std::vector<Window> clients = screen.ClientList();
        managing = std::count(clients.begin(), clients.end(), window) == 1 &&
                   screen.Viewable(window);
      }
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

bool Eventually(const std::function<bool()>& condition) {
  return peer_testing::Eventually(condition, std::chrono::seconds(5));
}

TestDisplay::TestDisplay() : display_(XOpenDisplay(nullptr)) {
  EXPECT_NE(display_, nullptr) << "no X server at $DISPLAY";
}

TestDisplay::~TestDisplay() {
  if (display_ == nullptr) {
    return;
  }
  for (Window window : top_level_) {
    XDestroyWindow(display_, window);
  }
  XCloseDisplay(display_);
}

unsigned long TestDisplay::PixelOf(uint32_t colour) const {
  XColor exact{};
  exact.red = (colour >> 16 & 0xFF) * 257;
  exact.green = (colour >> 8 & 0xFF) * 257;
  exact.blue = (colour & 0xFF) * 257;
  XAllocColor(display_, DefaultColormap(display_, DefaultScreen(display_)),
              &exact);
  return exact.pixel;
}

Window TestDisplay::Create(const WindowLook& look) {
  // Painted once into a pixmap that the server uses as the background: no
  // exposure handling needed, and the bands are back after any covering.
  const Pixmap background =
      XCreatePixmap(display_, root(), look.width, look.height,
                    DefaultDepth(display_, DefaultScreen(display_)));
  GC gc = XCreateGC(display_, background, 0, nullptr);
  const std::vector<uint32_t> colours =
      look.bands.empty() ? std::vector<uint32_t>{0x808080} : look.bands;
  const int bands = static_cast<int>(colours.size());
  for (int i = 0; i < bands; i++) {
    const int left = look.width * i / bands;
    XSetForeground(display_, gc, PixelOf(colours[i]));
    XFillRectangle(display_, background, gc, left, 0,
                   look.width * (i + 1) / bands - left, look.height);
  }
  XFreeGC(display_, gc);
  XSetWindowAttributes attributes{};
  attributes.background_pixmap = background;
  attributes.event_mask =
      ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
  const Window window = XCreateWindow(
      display_, look.parent != 0 ? look.parent : root(), look.x, look.y,
      look.width, look.height, 0, CopyFromParent, InputOutput, CopyFromParent,
      CWBackPixmap | CWEventMask, &attributes);
  XFreePixmap(display_, background);

  if (look.title != nullptr) {
    XChangeProperty(
        display_, window, XInternAtom(display_, "_NET_WM_NAME", False),
        XInternAtom(display_, "UTF8_STRING", False), 8, PropModeReplace,
        reinterpret_cast<const unsigned char*>(look.title),
        static_cast<int>(strlen(look.title)));
  }
  if (look.legacy_title != nullptr) {
    XStoreName(display_, window, look.legacy_title);
  }
  if (look.res_name != nullptr || look.res_class != nullptr) {
    XClassHint hint{const_cast<char*>(look.res_name ? look.res_name : ""),
                    const_cast<char*>(look.res_class ? look.res_class : "")};
    XSetClassHint(display_, window, &hint);
  }
  if (look.parent == 0) {
    top_level_.push_back(window);
    // Asked by the user: openbox then keeps the position.
    XSizeHints hints{};
    hints.flags = USPosition | USSize;
    hints.x = look.x;
    hints.y = look.y;
    hints.width = look.width;
    hints.height = look.height;
    XSetWMNormalHints(display_, window, &hints);
  }
  if (look.mapped) {
    XMapWindow(display_, window);
  }
  XSync(display_, False);
  if (look.mapped && look.wait) {
    EXPECT_TRUE(look.parent != 0 || Eventually([&] {
                  std::vector<Window> clients = ClientList();
                  return std::count(clients.begin(), clients.end(), window);
                }))
        << "the window manager never took the window";
    // A child is viewable only once its parent is.
    EXPECT_TRUE(Eventually([&] { return Viewable(window); }));
  }
  return window;
}

void TestDisplay::Destroy(Window window, bool wait) {
  top_level_.erase(std::remove(top_level_.begin(), top_level_.end(), window),
                   top_level_.end());
  XDestroyWindow(display_, window);
  XSync(display_, False);
  EXPECT_TRUE(!wait || Eventually([&] {
    std::vector<Window> clients = ClientList();
    return !std::count(clients.begin(), clients.end(), window);
  }));
}

void TestDisplay::Hide(Window window, bool iconify) {
  if (iconify) {
    XIconifyWindow(display_, window, DefaultScreen(display_));
  } else {
    XUnmapWindow(display_, window);
  }
  XSync(display_, False);
  EXPECT_TRUE(Eventually([&] { return !Viewable(window); }));
}

void TestDisplay::Show(Window window) {
  XMapWindow(display_, window);
  XSync(display_, False);
  EXPECT_TRUE(Eventually([&] { return Viewable(window); }));
}

void TestDisplay::Paint(Window window,
                        int x,
                        int y,
                        int width,
                        int height,
                        uint32_t colour) {
  GC gc = XCreateGC(display_, window, 0, nullptr);
  XSetForeground(display_, gc, PixelOf(colour));
  XFillRectangle(display_, window, gc, x, y, width, height);
  XFreeGC(display_, gc);
  XSync(display_, False);
}

std::vector<Window> TestDisplay::ClientList() const {
  std::vector<Window> clients;
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display_, root(),
                         XInternAtom(display_, "_NET_CLIENT_LIST", False), 0,
                         4096, False, XA_WINDOW, &type, &format, &count, &after,
                         &data) == Success &&
      data != nullptr) {
    const auto* windows = reinterpret_cast<Window*>(data);
    clients.assign(windows, windows + (format == 32 ? count : 0));
    XFree(data);
  }
  return clients;
}

bool TestDisplay::Viewable(Window window) const {
  XWindowAttributes attributes{};
  return XGetWindowAttributes(display_, window, &attributes) != 0 &&
         attributes.map_state == IsViewable;
}

namespace {

bool x_request_failed = false;
int NoteXError(Display* /*display*/, XErrorEvent* /*error*/) {
  x_request_failed = true;
  return 0;
}

}  // namespace

// The server names the pixmap of a redirected window only.
bool TestDisplay::Redirected(Window window) const {
  XSync(display_, False);
  x_request_failed = false;
  const XErrorHandler previous = XSetErrorHandler(NoteXError);
  const Pixmap pixmap = XCompositeNameWindowPixmap(display_, window);
  XSync(display_, False);
  if (!x_request_failed) {
    XFreePixmap(display_, pixmap);
    XSync(display_, False);
  }
  XSetErrorHandler(previous);
  return !x_request_failed;
}

Point TestDisplay::Origin(Window window) const {
  Point origin;
  Window child = 0;
  XTranslateCoordinates(display_, window, root(), 0, 0, &origin.x, &origin.y,
                        &child);
  return origin;
}

Point TestDisplay::Pointer() const {
  Point at;
  Window root_return = 0, child = 0;
  int x = 0, y = 0;
  unsigned int mask = 0;
  XQueryPointer(display_, root(), &root_return, &child, &at.x, &at.y, &x, &y,
                &mask);
  return at;
}

void TestDisplay::WarpPointer(Point to) {
  XWarpPointer(display_, 0, root(), 0, 0, 0, 0, to.x, to.y);
  XSync(display_, False);
}

bool TestDisplay::WaitForPointer(Point to) {
  return Eventually([&] { return Pointer() == to; });
}

std::vector<PointerEvent> TestDisplay::Received(Window window) {
  while (XPending(display_) > 0) {
    XEvent event{};
    XNextEvent(display_, &event);
    if (event.type == ButtonPress || event.type == ButtonRelease) {
      const XButtonEvent& e = event.xbutton;
      events_.push_back({e.type, e.window, e.x, e.y, e.x_root, e.y_root,
                         e.state, e.button, e.send_event != 0});
    } else if (event.type == MotionNotify) {
      const XMotionEvent& e = event.xmotion;
      events_.push_back({e.type, e.window, e.x, e.y, e.x_root, e.y_root,
                         e.state, 0, e.send_event != 0});
    }
  }
  std::vector<PointerEvent> of_window;
  std::copy_if(events_.begin(), events_.end(), std::back_inserter(of_window),
               [&](const PointerEvent& e) { return e.window == window; });
  return of_window;
}

std::vector<PointerEvent> TestDisplay::WaitForEvents(Window window,
                                                     size_t count,
                                                     int type) {
  std::vector<PointerEvent> events;
  Eventually([&] {
    events = Received(window);
    return static_cast<size_t>(std::count_if(
               events.begin(), events.end(), [type](const PointerEvent& e) {
                 return type == 0 || e.type == type;
               })) >= count;
  });
  return events;
}

void TestDisplay::ForgetEvents() {
  Received(root());  // reads the queue
  events_.clear();
}

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
