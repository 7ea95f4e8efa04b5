#include "host/second_screen/stylus_injection.h"

#include <glib.h>
#include <linux/input-event-codes.h>

#include <X11/Xlib.h>

#include <algorithm>
#include <cmath>
#include <mutex>

#include "host/second_screen/x11_connection.h"

namespace korvane_bridge {

namespace {

// A stroke refreshes the window's size at most this often.
constexpr int64_t kGeometryCacheMicroseconds = 250000;
constexpr int kMaxTargetDepth = 8;
constexpr int kMaxHitTestDepth = 10;

// NaN has no place on the window: it counts as its left or top edge.
double ClampUnit(double value) {
  return std::isnan(value) ? 0.0 : std::clamp(value, 0.0, 1.0);
}

// The child of `window` under the point, with the point in the child's
// coordinates; false at the bottom of the tree or on failure.
bool DescendAt(Display* display,
               Window window,
               int x,
               int y,
               Window* child,
               int* child_x,
               int* child_y) {
  int same_x = 0;
  int same_y = 0;
  *child = None;
  if (!XTranslateCoordinates(display, window, window, x, y, &same_x, &same_y,
                             child) ||
      *child == None || *child == window) {
    return false;
  }
  Window unused = None;
  return XTranslateCoordinates(display, window, *child, x, y, child_x, child_y,
                               &unused);
}

enum class Phase { kDown, kMove, kUp };

struct Point {
  Window window;
  int x;
  int y;
};

}  // namespace

struct StylusInjector::State {
  // The window's size, from the cache within a stroke; false when the
  // window has none.
  bool WindowSizeLocked(Window window, Phase phase, int* width, int* height);
  // Decides at a stroke's start whether it follows the pointer, and keeps
  // to that decision for the rest of it.
  bool UsePointerPath(Phase phase, bool visible_hit, bool restore_cursor);
  void MovePointerAndPress(Phase phase,
                           const Point& window_point,
                           const Point& target,
                           const Point& root_point,
                           bool restore_cursor,
                           UinputPadBackend& backend);
  void SendEvents(Phase phase,
                  const Point& window_point,
                  const Point& target,
                  const Point& root_point);
  void SendStylusEvent(Phase phase,
                       const Point& destination,
                       const Point& root_point);

  // Guards the connection and the cached size; taken before stylus_mutex_.
  std::mutex x11_mutex_;
  X11Connection x11_display_;
  Window geometry_window_id_ = None;
  int geometry_width_ = 0;
  int geometry_height_ = 0;
  int64_t geometry_time_us_ = 0;

  std::mutex stylus_mutex_;
  bool saved_cursor_valid_ = false;
  bool stroke_synthetic_ = false;
  int saved_cursor_x_ = 0;
  int saved_cursor_y_ = 0;
};

StylusInjector::StylusInjector() : state_(std::make_unique<State>()) {}

StylusInjector::~StylusInjector() {
  CloseDisplay();
}

void StylusInjector::CloseDisplay() {
  State& state = *state_;
  std::lock_guard<std::mutex> lock(state.x11_mutex_);
  ScopedX11ErrorTrap trap;
  state.x11_display_.reset();
}

bool StylusInjector::InjectWindowStylusEvent(
    KorvaneBridgeNativeStylusInjectionRequest* request,
    UinputPadBackend& backend) {
  const auto window = static_cast<Window>(
      korvane_bridge_native_stylus_injection_request_get_window_id(request));
  const double u = ClampUnit(
      korvane_bridge_native_stylus_injection_request_get_normalized_u(request));
  const double v = ClampUnit(
      korvane_bridge_native_stylus_injection_request_get_normalized_v(request));
  const KorvaneBridgeStylusPhase raw_phase =
      korvane_bridge_native_stylus_injection_request_get_phase(request);
  const Phase phase = raw_phase == KORVANE_BRIDGE_STYLUS_PHASE_DOWN ? Phase::kDown
                      : raw_phase == KORVANE_BRIDGE_STYLUS_PHASE_UP
                          ? Phase::kUp
                          : Phase::kMove;
  const bool restore_cursor =
      korvane_bridge_native_stylus_injection_request_get_restore_cursor_on_release(
          request);

  State& state = *state_;
  std::lock_guard<std::mutex> lock(state.x11_mutex_);
  ScopedX11ErrorTrap trap;
  if (state.x11_display_ == nullptr) {
    state.x11_display_ = OpenDefaultDisplay();
    if (state.x11_display_ == nullptr) {
      return false;
    }
  }
  Display* display = state.x11_display_.get();
  int width = 0;
  int height = 0;
  if (!state.WindowSizeLocked(window, phase, &width, &height)) {
    return false;
  }

  const Point window_point{window, static_cast<int>(std::lround(u * width)),
                           static_cast<int>(std::lround(v * height))};
  const Window root = DefaultRootWindow(display);
  Point root_point{root, window_point.x, window_point.y};
  {
    int x = 0;
    int y = 0;
    Window unused = None;
    if (XTranslateCoordinates(display, window, root, window_point.x,
                              window_point.y, &x, &y, &unused)) {
      root_point.x = x;
      root_point.y = y;
    }
  }

  // The deepest window under the point receives sent events.
  Point target = window_point;
  for (int depth = 0; depth < kMaxTargetDepth; ++depth) {
    Point child{None, 0, 0};
    if (!DescendAt(display, target.window, target.x, target.y, &child.window,
                   &child.x, &child.y)) {
      break;
    }
    target = child;
  }

  // Visible when walking down from the root at the point reaches the window,
  // not another one covering it.
  bool visible_hit = false;
  Point at = root_point;
  for (int depth = 0; depth < kMaxHitTestDepth; ++depth) {
    Point child{None, 0, 0};
    const bool descended = DescendAt(display, at.window, at.x, at.y,
                                     &child.window, &child.x, &child.y);
    if (child.window == window || child.window == target.window) {
      visible_hit = child.window != None;
      break;
    }
    if (!descended) {
      break;
    }
    at = child;
  }

  if (state.UsePointerPath(phase, visible_hit, restore_cursor)) {
    state.MovePointerAndPress(phase, window_point, target, root_point,
                              restore_cursor, backend);
  } else {
    state.SendEvents(phase, window_point, target, root_point);
  }
  XFlush(display);
  return true;
}

bool StylusInjector::State::WindowSizeLocked(Window window,
                                      Phase phase,
                                      int* width,
                                      int* height) {
  const int64_t now = g_get_monotonic_time();
  if (phase != Phase::kDown && geometry_window_id_ == window &&
      geometry_width_ > 0 && geometry_height_ > 0 &&
      now - geometry_time_us_ <= kGeometryCacheMicroseconds) {
    *width = geometry_width_;
    *height = geometry_height_;
    return true;
  }
  XWindowAttributes attributes;
  if (XGetWindowAttributes(x11_display_.get(), window, &attributes) == 0 ||
      attributes.width <= 0 || attributes.height <= 0) {
    geometry_width_ = 0;
    geometry_height_ = 0;
    return false;
  }
  geometry_window_id_ = window;
  geometry_time_us_ = now;
  geometry_width_ = *width = attributes.width;
  geometry_height_ = *height = attributes.height;
  return true;
}

bool StylusInjector::State::UsePointerPath(Phase phase,
                                    bool visible_hit,
                                    bool restore_cursor) {
  std::lock_guard<std::mutex> lock(stylus_mutex_);
  if (phase != Phase::kDown) {
    return visible_hit && !stroke_synthetic_;
  }
  stroke_synthetic_ = !visible_hit;
  if (restore_cursor && visible_hit) {
    Display* display = x11_display_.get();
    Window root_return = None;
    Window child_return = None;
    int root_x = 0;
    int root_y = 0;
    int window_x = 0;
    int window_y = 0;
    unsigned int buttons = 0;
    if (XQueryPointer(display, DefaultRootWindow(display), &root_return,
                      &child_return, &root_x, &root_y, &window_x, &window_y,
                      &buttons)) {
      saved_cursor_x_ = root_x;
      saved_cursor_y_ = root_y;
      saved_cursor_valid_ = true;
    }
  }
  return visible_hit;
}

void StylusInjector::State::MovePointerAndPress(Phase phase,
                                         const Point& window_point,
                                         const Point& target,
                                         const Point& root_point,
                                         bool restore_cursor,
                                         UinputPadBackend& backend) {
  Display* display = x11_display_.get();
  XWarpPointer(display, None, window_point.window, 0, 0, 0, 0, window_point.x,
               window_point.y);
  XFlush(display);
  // The pointer's move is the motion; only the ends of a stroke press or
  // release. Without a virtual mouse the window still gets the button.
  if (phase != Phase::kMove &&
      !backend.SendMouseButton(BTN_LEFT, phase == Phase::kDown)) {
    SendStylusEvent(phase, target, root_point);
  }
  if (phase != Phase::kUp) {
    return;
  }
  std::lock_guard<std::mutex> lock(stylus_mutex_);
  stroke_synthetic_ = false;
  if (restore_cursor && saved_cursor_valid_) {
    XWarpPointer(display, None, DefaultRootWindow(display), 0, 0, 0, 0,
                 saved_cursor_x_, saved_cursor_y_);
    saved_cursor_valid_ = false;
  }
}

void StylusInjector::State::SendEvents(Phase phase,
                                const Point& window_point,
                                const Point& target,
                                const Point& root_point) {
  SendStylusEvent(phase, target, root_point);
  if (target.window != window_point.window) {
    SendStylusEvent(phase, window_point, root_point);
  }
  if (phase == Phase::kUp) {
    std::lock_guard<std::mutex> lock(stylus_mutex_);
    saved_cursor_valid_ = false;
    stroke_synthetic_ = false;
  }
}

void StylusInjector::State::SendStylusEvent(Phase phase,
                                            const Point& destination,
                                            const Point& root_point) {
  Display* display = x11_display_.get();
  // Motion and button events share these fields.
  const auto address = [&](auto& pointer_event) {
    pointer_event.display = display;
    pointer_event.window = destination.window;
    pointer_event.root = root_point.window;
    pointer_event.x = destination.x;
    pointer_event.y = destination.y;
    pointer_event.x_root = root_point.x;
    pointer_event.y_root = root_point.y;
    pointer_event.same_screen = True;
  };
  XEvent event = {};
  long mask = 0;
  if (phase == Phase::kMove) {
    address(event.xmotion);
    event.xmotion.type = MotionNotify;
    event.xmotion.state = Button1Mask;
    mask = PointerMotionMask | Button1MotionMask;
  } else {
    const bool down = phase == Phase::kDown;
    address(event.xbutton);
    event.xbutton.type = down ? ButtonPress : ButtonRelease;
    event.xbutton.state = down ? 0 : Button1Mask;
    event.xbutton.button = Button1;
    mask = down ? ButtonPressMask : ButtonReleaseMask;
  }
  XSendEvent(display, destination.window, True, mask, &event);
}

}  // namespace korvane_bridge
