#include "host/second_screen/window_list.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "host/second_screen/x11_connection.h"
#include "pigeon/korvane_native_bridge.g.h"

namespace korvane_bridge {

namespace {

constexpr char kDesktopTitle[] = "Linux Desktop (Full Screen)";
constexpr char kDesktopOwner[] = "Desktop";
constexpr char kDesktopName[] = "root_desktop";
// Smaller windows are tool tips, menus and docks, not worth mirroring.
constexpr int kMinWidth = 120;
constexpr int kMinHeight = 90;
// The root's children are window manager frames; the clients sit a level or
// two below them.
constexpr int kMaxTreeDepth = 2;
// In 32-bit units: up to 1024 windows, and titles of up to 4 KiB.
constexpr long kPropertyLength = 1024;
// The host's own windows are not offered for mirroring.
constexpr char kOwnWindowWord[] = "korvane";
constexpr const char* kEmulatorWords[] = {
    "azahar", "lime3ds", "citra",   "melonds", "desmume",
    "cemu",   "dolphin", "ryujinx", "yuzu",    "retroarch",
    "ppsspp", "rpcs3",   "pcsx2",   "duckstation"};

struct Candidates {
  std::vector<Window> windows;
  std::set<Window> seen;

  void Add(Window window) {
    if (seen.insert(window).second) {
      windows.push_back(window);
    }
  }
};

void CollectX11WindowsFromProperty(Display* display,
                                   Window root,
                                   const char* property_name,
                                   Candidates* candidates) {
  const Atom property = XInternAtom(display, property_name, False);
  if (property == None) {
    return;
  }
  Atom actual_type = None;
  int actual_format = 0;
  unsigned long count = 0;
  unsigned long bytes_after = 0;
  unsigned char* raw = nullptr;
  if (XGetWindowProperty(display, root, property, 0, kPropertyLength, False,
                         XA_WINDOW, &actual_type, &actual_format, &count,
                         &bytes_after, &raw) != Success) {
    return;
  }
  XData<unsigned char> data(raw);
  // Anything but a list of window ids would be misread as one.
  if (data == nullptr || actual_type != XA_WINDOW || actual_format != 32) {
    return;
  }
  const auto* windows = reinterpret_cast<const Window*>(data.get());
  for (unsigned long i = 0; i < count; ++i) {
    candidates->Add(windows[i]);
  }
}

void CollectX11WindowsFromTree(Display* display,
                               Window window,
                               int depth,
                               Candidates* candidates) {
  if (depth > kMaxTreeDepth) {
    return;
  }
  Window root_return = None;
  Window parent = None;
  Window* raw_children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, window, &root_return, &parent, &raw_children,
                 &count) == 0) {
    return;
  }
  XData<Window> children(raw_children);
  if (children == nullptr) {
    return;
  }
  for (unsigned int i = 0; i < count; ++i) {
    candidates->Add(children.get()[i]);
    CollectX11WindowsFromTree(display, children.get()[i], depth + 1,
                              candidates);
  }
}

std::string WindowTitle(Display* display, Window window) {
  const Atom net_wm_name = XInternAtom(display, "_NET_WM_NAME", False);
  const Atom utf8_string = XInternAtom(display, "UTF8_STRING", False);
  Atom actual_type = None;
  int actual_format = 0;
  unsigned long count = 0;
  unsigned long bytes_after = 0;
  unsigned char* raw = nullptr;
  std::string title;
  if (XGetWindowProperty(display, window, net_wm_name, 0, kPropertyLength,
                         False, utf8_string, &actual_type, &actual_format,
                         &count, &bytes_after, &raw) == Success) {
    XData<unsigned char> data(raw);
    // Xlib ends property data with a NUL byte of its own.
    if (data != nullptr) {
      title = reinterpret_cast<const char*>(data.get());
    }
  }
  if (!title.empty()) {
    return title;
  }
  char* raw_name = nullptr;
  if (XFetchName(display, window, &raw_name) != 0) {
    XData<char> name(raw_name);
    if (name != nullptr) {
      title = name.get();
    }
  }
  return title;
}

std::string Lowercase(std::string text) {
  for (char& c : text) {
    c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  }
  return text;
}

void AppendWindow(FlValue* list,
                  Window window,
                  const std::string& title,
                  const std::string& owner,
                  const std::string& name,
                  int width,
                  int height,
                  bool is_emulator_candidate) {
  g_autoptr(KorvaneBridgeCapturableWindowInfo) info =
      korvane_bridge_capturable_window_info_new(
          static_cast<int64_t>(window), title.c_str(), owner.c_str(),
          name.c_str(), width, height, TRUE, is_emulator_candidate);
  fl_value_append_take(list, fl_value_new_custom_object(
                                 korvane_bridge_capturable_window_info_type_id,
                                 G_OBJECT(info)));
}

// Appends the window when it is viewable, large enough, has a name of some
// kind and is not one of the host's own.
void AppendIfCapturable(Display* display, Window window, FlValue* list) {
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, window, &attributes) == 0 ||
      attributes.map_state != IsViewable || attributes.width < kMinWidth ||
      attributes.height < kMinHeight) {
    return;
  }
  std::string title = WindowTitle(display, window);
  std::string owner;
  std::string name;
  XClassHint hint = {nullptr, nullptr};
  if (XGetClassHint(display, window, &hint) != 0) {
    XData<char> res_name(hint.res_name);
    XData<char> res_class(hint.res_class);
    if (res_class != nullptr) {
      owner = res_class.get();
    }
    if (res_name != nullptr) {
      name = res_name.get();
    }
  }
  if (title.empty()) {
    if (owner.empty()) {
      return;
    }
    title = owner;
  }
  if (owner.empty()) {
    owner = title;
  }
  if (name.empty()) {
    name = owner;
  }
  const std::string search = Lowercase(title + " " + owner + " " + name);
  if (search.find(kOwnWindowWord) != std::string::npos) {
    return;
  }
  const bool is_emulator_candidate = std::any_of(
      std::begin(kEmulatorWords), std::end(kEmulatorWords),
      [&search](const char* word) {
        return search.find(word) != std::string::npos;
      });
  AppendWindow(list, window, title, owner, name, attributes.width,
               attributes.height, is_emulator_candidate);
}

}  // namespace

FlValue* ListCapturableWindows() {
  FlValue* list = fl_value_new_list();
  // Before the connection, so that it also covers the errors that closing
  // the connection reports.
  ScopedX11ErrorTrap trap;
  X11Connection connection = OpenDefaultDisplay();
  if (connection == nullptr) {
    return list;
  }
  Display* display = connection.get();
  const int screen = DefaultScreen(display);
  const Window root = RootWindow(display, screen);
  AppendWindow(list, root, kDesktopTitle, kDesktopOwner, kDesktopName,
               std::max(DisplayWidth(display, screen), 1),
               std::max(DisplayHeight(display, screen), 1), false);

  Candidates candidates;
  candidates.seen.insert(root);
  CollectX11WindowsFromProperty(display, root, "_NET_CLIENT_LIST",
                                &candidates);
  CollectX11WindowsFromProperty(display, root, "_NET_CLIENT_LIST_STACKING",
                                &candidates);
  CollectX11WindowsFromTree(display, root, 0, &candidates);
  for (Window window : candidates.windows) {
    AppendIfCapturable(display, window, list);
  }
  return list;
}

}  // namespace korvane_bridge
