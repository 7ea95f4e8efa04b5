#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

// Last: Xlib's macros break the headers above.
#include "x_server_testing.h"

#include <X11/Xutil.h>
#include <X11/extensions/Xcomposite.h>

namespace x_server_testing {

using korvane_bridge::XData;

Process Start(const std::vector<std::string>& command, GSubprocessFlags out) {
  g_autoptr(GSubprocessLauncher) launcher = g_subprocess_launcher_new(
      static_cast<GSubprocessFlags>(out | G_SUBPROCESS_FLAGS_STDERR_SILENCE));
  return Process(peer_testing::Spawn(launcher, command));
}

PrivateXServer::PrivateXServer(const std::string& screen,
                               std::vector<const char*> disabled_extensions) {
  // Its number comes on stdout once it accepts connections. Without -noreset
  // it refuses connections while it resets after its last client leaves.
  std::vector<std::string> command = {"Xvfb",      "-displayfd", "1",
                                      "-nolisten", "tcp",        "-noreset",
                                      "-screen",   "0",          screen};
  for (const char* extension : disabled_extensions) {
    command.insert(command.end(), {"-extension", extension});
  }
  process_ = Start(command, G_SUBPROCESS_FLAGS_STDOUT_PIPE);
  if (process_ == nullptr) {
    return;
  }
  g_autoptr(GDataInputStream) out =
      g_data_input_stream_new(g_subprocess_get_stdout_pipe(process_.get()));
  // Null at end of file, when the server fails.
  g_autofree gchar* number =
      g_data_input_stream_read_line(out, nullptr, nullptr, nullptr);
  name_ = number != nullptr ? std::string(":") + number : "";
}

static unsigned long PixelOf(Display* display, uint32_t colour) {
  XColor exact{};
  exact.red = (colour >> 16 & 0xFF) * 257;
  exact.green = (colour >> 8 & 0xFF) * 257;
  exact.blue = (colour & 0xFF) * 257;
  XAllocColor(display, DefaultColormap(display, DefaultScreen(display)),
              &exact);
  return exact.pixel;
}

TestDisplay::TestDisplay()
    : connection_(XOpenDisplay(nullptr)), display_(connection_.get()) {
  EXPECT_NE(display_, nullptr) << "no X server at $DISPLAY";
}

TestDisplay::~TestDisplay() {
  for (Window window : top_level_) {
    XDestroyWindow(display_, window);
  }
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
    XSetForeground(display_, gc, PixelOf(display_, colours[i]));
    XFillRectangle(display_, background, gc, left, 0,
                   look.width * (i + 1) / bands - left, look.height);
  }
  if (look.edge != 0) {
    XSetForeground(display_, gc, PixelOf(display_, look.edge));
    XFillRectangle(display_, background, gc, look.width - 1, 0, 1, look.height);
    XFillRectangle(display_, background, gc, 0, look.height - 1, look.width, 1);
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
  // A child is viewable only once its parent is.
  EXPECT_TRUE(!look.mapped || !look.wait || Eventually([&] {
    return (look.parent != 0 || Managed(window)) && Viewable(window);
  })) << "the window manager never took the window";
  return window;
}

void TestDisplay::Destroy(Window window, bool wait) {
  top_level_.erase(std::remove(top_level_.begin(), top_level_.end(), window),
                   top_level_.end());
  XDestroyWindow(display_, window);
  XSync(display_, False);
  EXPECT_TRUE(!wait || Eventually([&] { return !Managed(window); }));
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

void TestDisplay::PaintTop(Window window, int rows, uint32_t colour) {
  GC gc = XCreateGC(display_, window, 0, nullptr);
  XSetForeground(display_, gc, PixelOf(display_, colour));
  XFillRectangle(display_, window, gc, 0, 0, Attributes(window).width, rows);
  XFreeGC(display_, gc);
  XSync(display_, False);
}

std::vector<long> TestDisplay::Property(Window window, const char* name) const {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  XGetWindowProperty(display_, window, XInternAtom(display_, name, False), 0,
                     4096, False, AnyPropertyType, &type, &format, &count,
                     &after, &data);
  const XData<unsigned char> owned(data);
  const auto* longs = reinterpret_cast<long*>(data);
  return {longs, longs + (format == 32 ? count : 0)};
}

std::vector<Window> TestDisplay::ClientList() const {
  const std::vector<long> clients = Property(root(), "_NET_CLIENT_LIST");
  return {clients.begin(), clients.end()};
}

bool TestDisplay::Managed(Window window) const {
  const std::vector<Window> clients = ClientList();
  return std::count(clients.begin(), clients.end(), window) == 1;
}

std::vector<Window> TestDisplay::TopLevelsNamed(const char* name) const {
  std::vector<Window> found;
  Window unused = 0, *children = nullptr;
  unsigned int count = 0;
  XQueryTree(display_, root(), &unused, &unused, &children, &count);
  const XData<Window> owned_children(children);
  for (unsigned int i = 0; i < count; i++) {
    char* window_name = nullptr;
    XFetchName(display_, children[i], &window_name);
    const XData<char> owned_name(window_name);
    if (g_strcmp0(window_name, name) == 0) {
      found.push_back(children[i]);
    }
  }
  return found;
}

XWindowAttributes TestDisplay::Attributes(Window window) const {
  XWindowAttributes attributes{};
  XGetWindowAttributes(display_, window, &attributes);
  return attributes;
}

bool TestDisplay::Viewable(Window window) const {
  return Attributes(window).map_state == IsViewable;
}

// Only a redirected window's pixmap can be named. The program's own trap:
// its capture thread must not put back the exiting handler meanwhile.
bool TestDisplay::Redirected(Window window) const {
  korvane_bridge::ScopedX11ErrorTrap trap;
  const Pixmap pixmap = XCompositeNameWindowPixmap(display_, window);
  // Only whether the pixmap has a geometry counts.
  Window root_return = None;
  int at = 0;
  unsigned int size = 0;
  const bool named = XGetGeometry(display_, pixmap, &root_return, &at, &at,
                                  &size, &size, &size, &size) != 0;
  if (named) {
    XFreePixmap(display_, pixmap);
  }
  XSync(display_, False);
  return named;
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
  XSync(display_, True);  // drops what came before
  events_.clear();
}

bool TestDisplay::WaitForPointer(Point to) {
  return Eventually([&] { return Pointer() == to; });
}

Events TestDisplay::Received(Window window) {
  while (XPending(display_) > 0) {
    XEvent event{};
    XNextEvent(display_, &event);
    // Motion events lay out their fields as button events, up to the button.
    const XButtonEvent& e = event.xbutton;
    if (e.type == ButtonPress || e.type == ButtonRelease ||
        e.type == MotionNotify) {
      events_[e.window].push_back(
          {e.type, e.x, e.y, e.x_root, e.y_root, e.state,
           e.type == MotionNotify ? 0 : e.button, e.send_event != 0});
    }
  }
  return events_[window];
}

Events TestDisplay::WaitForEvents(Window window, size_t count, int type) {
  Events events;
  Eventually([&] {
    events = Received(window);
    return static_cast<size_t>(std::count_if(
               events.begin(), events.end(), [type](const PointerEvent& e) {
                 return type == 0 || e.type == type;
               })) >= count;
  });
  return events;
}

}  // namespace x_server_testing
