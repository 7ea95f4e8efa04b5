#include <glib-unix.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>

// After the others: Xlib's macros break GoogleTest's headers.
#include "x11_test_windows.h"

#include <X11/Xatom.h>

namespace x11_testing {

namespace {

constexpr gint64 kPatienceUs = 5 * G_USEC_PER_SEC;
constexpr long kEventMask =
    ButtonPressMask | ButtonReleaseMask | PointerMotionMask;

// A property of 32-bit items on `window`, or nothing when it is absent.
std::vector<unsigned long> CardinalProperty(Display* display,
                                            Window window,
                                            const char* name,
                                            Atom type) {
  std::vector<unsigned long> items;
  Atom actual_type = 0;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0,
                         4096, False, type, &actual_type, &format, &count,
                         &after, &data) == Success &&
      data != nullptr) {
    if (format == 32) {
      const unsigned long* values = reinterpret_cast<unsigned long*>(data);
      items.assign(values, values + count);
    }
    XFree(data);
  }
  return items;
}

// SIGTERM, then SIGKILL for a process that does not end by itself.
void Stop(GSubprocess* process) {
  if (process == nullptr) {
    return;
  }
  g_subprocess_send_signal(process, SIGTERM);
  // The identifier goes once GLib's worker has reaped the child.
  const gint64 deadline = g_get_monotonic_time() + kPatienceUs;
  while (g_subprocess_get_identifier(process) != nullptr &&
         g_get_monotonic_time() < deadline) {
    g_usleep(10000);
  }
  if (g_subprocess_get_identifier(process) != nullptr) {
    g_subprocess_force_exit(process);
  }
  g_subprocess_wait(process, nullptr, nullptr);
  g_object_unref(process);
}

// Every binary of this folder runs under one window manager, started before
// its first test and stopped after its last.
class WindowManagerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    manager_ = std::make_unique<WindowManager>();
    ASSERT_TRUE(manager_->running()) << "openbox does not manage windows";
  }
  void TearDown() override { manager_.reset(); }

 private:
  std::unique_ptr<WindowManager> manager_;
};

[[maybe_unused]] ::testing::Environment* const kWindowManager =
    ::testing::AddGlobalTestEnvironment(new WindowManagerEnvironment);

}  // namespace

bool Eventually(const std::function<bool()>& condition) {
  const gint64 deadline = g_get_monotonic_time() + kPatienceUs;
  while (!condition()) {
    if (g_get_monotonic_time() > deadline) {
      return false;
    }
    g_usleep(5000);
  }
  return true;
}

WindowManager::WindowManager() {
  g_autoptr(GError) error = nullptr;
  // --sm-disable: no session manager to look for; the menu file it
  // complains about on stderr is not needed.
  process_ = g_subprocess_new(
      static_cast<GSubprocessFlags>(G_SUBPROCESS_FLAGS_STDOUT_SILENCE |
                                    G_SUBPROCESS_FLAGS_STDERR_SILENCE),
      &error, "openbox", "--sm-disable", nullptr);
  if (process_ == nullptr) {
    ADD_FAILURE() << "openbox: " << error->message;
    return;
  }
  const gchar* identifier = g_subprocess_get_identifier(process_);
  if (identifier == nullptr) {
    ADD_FAILURE() << "openbox ended at once";
    return;
  }
  const std::string pid = identifier;
  TestDisplay screen;
  if (!screen.connected()) {
    return;
  }
  Display* display = screen.display();
  // Ours, not one left by an earlier run: a check window named on the root
  // could already be gone, and asking about it would end the test.
  const bool started = Eventually([&] {
    std::vector<unsigned long> owner =
        CardinalProperty(display, screen.root(), "_OPENBOX_PID", XA_CARDINAL);
    return !owner.empty() && std::to_string(owner[0]) == pid &&
           !CardinalProperty(display, screen.root(), "_NET_SUPPORTING_WM_CHECK",
                             XA_WINDOW)
                .empty();
  });
  if (!started) {
    return;
  }
  // Published hints are not yet management: openbox drops map requests that
  // come in while it is still starting. A probe that shows up in its client
  // list tells that it took over.
  for (int attempt = 0; attempt < 50 && !managing_; attempt++) {
    WindowLook probe;
    probe.title = "probe";
    probe.width = 10;
    probe.height = 10;
    probe.wait = false;
    const Window window = screen.Create(probe);
    for (int poll = 0; poll < 20 && !managing_; poll++) {
      g_usleep(10000);
      std::vector<Window> clients = screen.ClientList();
      managing_ = std::count(clients.begin(), clients.end(), window) == 1 &&
                  screen.Viewable(window);
    }
    screen.Destroy(window, managing_);
  }
}

WindowManager::~WindowManager() {
  Stop(process_);
}

TestDisplay::TestDisplay(const char* name) : display_(XOpenDisplay(name)) {
  EXPECT_NE(display_, nullptr)
      << "no X server at " << (name != nullptr ? name : "$DISPLAY");
}

TestDisplay::~TestDisplay() {
  if (display_ == nullptr) {
    return;
  }
  for (Window window : top_level_) {
    XDestroyWindow(display_, window);
  }
  XSync(display_, False);
  XCloseDisplay(display_);
}

Window TestDisplay::root() const {
  return DefaultRootWindow(display_);
}

int TestDisplay::screen_width() const {
  return DisplayWidth(display_, DefaultScreen(display_));
}

int TestDisplay::screen_height() const {
  return DisplayHeight(display_, DefaultScreen(display_));
}

unsigned long TestDisplay::PixelOf(Rgb colour) const {
  const Visual* visual = DefaultVisual(display_, DefaultScreen(display_));
  auto channel = [](uint8_t value, unsigned long mask) {
    const int shift = __builtin_ctzl(mask);
    const int bits = __builtin_popcountl(mask);
    return (static_cast<unsigned long>(value) >> (8 - bits)) << shift;
  };
  return channel(colour.red, visual->red_mask) |
         channel(colour.green, visual->green_mask) |
         channel(colour.blue, visual->blue_mask);
}

Window TestDisplay::Create(const WindowLook& look) {
  const int screen = DefaultScreen(display_);
  const Window parent = look.parent != 0 ? look.parent : root();
  const unsigned int depth = DefaultDepth(display_, screen);

  // Painted once into a pixmap that the server uses as the background: no
  // exposure handling needed, and the bands are back after any covering.
  const Pixmap background =
      XCreatePixmap(display_, root(), look.width, look.height, depth);
  GC gc = XCreateGC(display_, background, 0, nullptr);
  const std::vector<Rgb> colours =
      look.bands.empty() ? std::vector<Rgb>{kGrey} : look.bands;
  const int bands = static_cast<int>(colours.size());
  for (int i = 0; i < bands; i++) {
    const int left = look.width * i / bands;
    const int right = look.width * (i + 1) / bands;
    XSetForeground(display_, gc, PixelOf(colours[i]));
    XFillRectangle(display_, background, gc, left, 0, right - left,
                   look.height);
  }
  XFreeGC(display_, gc);

  XSetWindowAttributes attributes{};
  attributes.background_pixmap = background;
  attributes.event_mask = kEventMask;
  const Window window =
      XCreateWindow(display_, parent, look.x, look.y, look.width, look.height,
                    0, CopyFromParent, InputOutput, CopyFromParent,
                    CWBackPixmap | CWEventMask, &attributes);
  XFreePixmap(display_, background);
  if (look.parent == 0) {
    top_level_.push_back(window);
  }

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
    XClassHint hint{};
    hint.res_name =
        const_cast<char*>(look.res_name != nullptr ? look.res_name : "");
    hint.res_class =
        const_cast<char*>(look.res_class != nullptr ? look.res_class : "");
    XSetClassHint(display_, window, &hint);
  }
  if (look.parent == 0) {
    // Asked by the user: openbox then keeps the position instead of placing
    // the window itself.
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
    const bool managed =
        look.parent != 0 || Eventually([&] {
          std::vector<Window> clients = ClientList();
          return std::count(clients.begin(), clients.end(), window) == 1;
        });
    EXPECT_TRUE(managed) << "the window manager never took the window";
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
  if (wait) {
    EXPECT_TRUE(Eventually([&] {
      std::vector<Window> clients = ClientList();
      return std::count(clients.begin(), clients.end(), window) == 0;
    }));
  }
}

void TestDisplay::Unmap(Window window) {
  XUnmapWindow(display_, window);
  XSync(display_, False);
  EXPECT_TRUE(Eventually([&] { return !Viewable(window); }));
}

void TestDisplay::Iconify(Window window) {
  XIconifyWindow(display_, window, DefaultScreen(display_));
  XSync(display_, False);
  EXPECT_TRUE(Eventually([&] { return !Viewable(window); }));
}

void TestDisplay::Paint(Window window,
                        int x,
                        int y,
                        int width,
                        int height,
                        Rgb colour) {
  GC gc = XCreateGC(display_, window, 0, nullptr);
  XSetForeground(display_, gc, PixelOf(colour));
  XFillRectangle(display_, window, gc, x, y, width, height);
  XFreeGC(display_, gc);
  XSync(display_, False);
}

void TestDisplay::Sync() {
  XSync(display_, False);
}

std::vector<Window> TestDisplay::ClientList() const {
  std::vector<unsigned long> items =
      CardinalProperty(display_, root(), "_NET_CLIENT_LIST", XA_WINDOW);
  return std::vector<Window>(items.begin(), items.end());
}

bool TestDisplay::Viewable(Window window) const {
  XWindowAttributes attributes{};
  return XGetWindowAttributes(display_, window, &attributes) != 0 &&
         attributes.map_state == IsViewable;
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
  Window root_return = 0;
  Window child = 0;
  int x = 0;
  int y = 0;
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

void TestDisplay::ReadQueue() {
  while (XPending(display_) > 0) {
    XEvent event{};
    XNextEvent(display_, &event);
    PointerEvent received;
    received.type = event.type;
    received.sent = event.xany.send_event != 0;
    received.window = event.xany.window;
    switch (event.type) {
      case ButtonPress:
      case ButtonRelease:
        received.x = event.xbutton.x;
        received.y = event.xbutton.y;
        received.x_root = event.xbutton.x_root;
        received.y_root = event.xbutton.y_root;
        received.state = event.xbutton.state;
        received.button = event.xbutton.button;
        break;
      case MotionNotify:
        received.x = event.xmotion.x;
        received.y = event.xmotion.y;
        received.x_root = event.xmotion.x_root;
        received.y_root = event.xmotion.y_root;
        received.state = event.xmotion.state;
        break;
      default:
        continue;
    }
    events_.push_back(received);
  }
}

std::vector<PointerEvent> TestDisplay::Received(Window window) {
  ReadQueue();
  std::vector<PointerEvent> of_window;
  for (const PointerEvent& event : events_) {
    if (event.window == window) {
      of_window.push_back(event);
    }
  }
  return of_window;
}

std::vector<PointerEvent> TestDisplay::WaitForEvents(Window window,
                                                     size_t count,
                                                     int type) {
  std::vector<PointerEvent> events;
  Eventually([&] {
    events = Received(window);
    return static_cast<size_t>(std::count_if(
               events.begin(), events.end(), [type](const PointerEvent& event) {
                 return type == 0 || event.type == type;
               })) >= count;
  });
  return events;
}

void TestDisplay::ForgetEvents() {
  ReadQueue();
  events_.clear();
}

XImage* TestDisplay::Image(Window window) const {
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display_, window, &attributes) == 0) {
    return nullptr;
  }
  return XGetImage(display_, window, 0, 0, attributes.width, attributes.height,
                   AllPlanes, ZPixmap);
}

ScopedDisplayName::ScopedDisplayName(const char* name)
    : was_set_(g_getenv("DISPLAY") != nullptr) {
  if (was_set_) {
    saved_ = g_getenv("DISPLAY");
  }
  if (name != nullptr) {
    g_setenv("DISPLAY", name, TRUE);
  } else {
    g_unsetenv("DISPLAY");
  }
}

ScopedDisplayName::~ScopedDisplayName() {
  if (was_set_) {
    g_setenv("DISPLAY", saved_.c_str(), TRUE);
  } else {
    g_unsetenv("DISPLAY");
  }
}

PrivateServer::PrivateServer(int depth) {
  // The server writes its display number to this pipe once it accepts
  // connections.
  int ready[2];
  if (!g_unix_open_pipe(ready, FD_CLOEXEC, nullptr)) {
    ADD_FAILURE() << "no pipe";
    return;
  }
  {
    g_autoptr(GSubprocessLauncher) launcher = g_subprocess_launcher_new(
        static_cast<GSubprocessFlags>(G_SUBPROCESS_FLAGS_STDOUT_SILENCE |
                                      G_SUBPROCESS_FLAGS_STDERR_SILENCE));
    // The launcher's copy of the write end goes with it, so that a server
    // that fails to start ends the read below.
    g_subprocess_launcher_take_fd(launcher, ready[1], 3);
    const std::string screen = "320x240x" + std::to_string(depth);
    g_autoptr(GError) error = nullptr;
    process_ = g_subprocess_launcher_spawn(
        launcher, &error, "Xvfb", "-displayfd", "3", "-nolisten", "tcp",
        "-screen", "0", screen.c_str(), nullptr);
    if (process_ == nullptr) {
      ADD_FAILURE() << "Xvfb: " << error->message;
      close(ready[0]);
      return;
    }
  }
  std::string number;
  char c = 0;
  // Ends at the newline, or at end of file when the server fails.
  while (read(ready[0], &c, 1) == 1 && c != '\n') {
    number += c;
  }
  close(ready[0]);
  if (!number.empty()) {
    name_ = ":" + number;
  }
}

PrivateServer::~PrivateServer() {
  Stop(process_);
}

}  // namespace x11_testing
