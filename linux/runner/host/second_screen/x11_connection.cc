#include "host/second_screen/x11_connection.h"

#include <mutex>

namespace korvane_bridge {

namespace {

std::mutex trap_mutex;
int trap_users = 0;
XErrorHandler handler_before_trap = nullptr;

}  // namespace

X11Connection OpenDefaultDisplay() {
  return X11Connection(XOpenDisplay(nullptr));
}

int IgnoreX11Error(Display* /*display*/, XErrorEvent* /*error*/) {
  return 0;
}

ScopedX11ErrorTrap::ScopedX11ErrorTrap() {
  std::lock_guard<std::mutex> lock(trap_mutex);
  if (trap_users++ == 0) {
    handler_before_trap = XSetErrorHandler(IgnoreX11Error);
  }
}

ScopedX11ErrorTrap::~ScopedX11ErrorTrap() {
  std::lock_guard<std::mutex> lock(trap_mutex);
  if (--trap_users == 0) {
    XSetErrorHandler(handler_before_trap);
  }
}

}  // namespace korvane_bridge
