#include "host/second_screen/window_pixels.h"

#include <X11/extensions/Xcomposite.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace korvane_bridge {

namespace {

// The part of `area` (in root coordinates) that lies on the screen; of no
// width or height when none does.
GrabArea OnScreen(const GrabArea& area, const Screen& screen) {
  const int left = std::max(area.x, 0);
  const int top = std::max(area.y, 0);
  const int right = std::min(area.x + area.width, WidthOfScreen(&screen));
  const int bottom = std::min(area.y + area.height, HeightOfScreen(&screen));
  return {left, top, std::max(right - left, 0), std::max(bottom - top, 0)};
}

}  // namespace

WindowPixels::WindowPixels() = default;

WindowPixels::~WindowPixels() {
  Close();
}

Display* WindowPixels::Connection() {
  return grabber_.Connection();
}

const XImage* WindowPixels::Read(Window window,
                                 const XWindowAttributes& attributes) {
  Display* display = Connection();
  if (display == nullptr) {
    return nullptr;
  }
  last_width_ = attributes.width;
  last_height_ = attributes.height;
  if (window == attributes.root) {
    damage_.Restart(display, window);
    return grabber_.Grab(window, {0, 0, attributes.width, attributes.height},
                         attributes);
  }
  if (grabber_.HasComposite()) {
    if (const XImage* image = ReadRedirected(window, attributes)) {
      return image;
    }
  }
  // What shows of a window on screen changes as it moves, which draws
  // nothing on it.
  damage_.Stop(display);
  return ReadOnScreenPart(window, attributes);
}

bool WindowPixels::Unchanged(Window window,
                             const XWindowAttributes& attributes) {
  Display* display = Connection();
  return display != nullptr &&
         (window == attributes.root || window == redirected_) &&
         attributes.width == last_width_ && attributes.height == last_height_ &&
         damage_.Undrawn(display, window);
}

const XImage* WindowPixels::ReadRedirected(
    Window window,
    const XWindowAttributes& attributes) {
  Display* display = Connection();
  if (redirected_ != window) {
    StopRedirecting();
    // Automatic: the server still paints the window on screen itself.
    // Several clients may redirect one window so; the server counts them.
    XCompositeRedirectWindow(display, window, CompositeRedirectAutomatic);
    redirected_ = window;
  }
  damage_.Restart(display, window);
  // Named afresh for every frame: a window that was resized or mapped again
  // has a new pixmap, and an old name would still show the old one.
  const Pixmap pixmap = XCompositeNameWindowPixmap(display, window);
  // The pixmap holds the border as well.
  const XImage* image =
      grabber_.Grab(pixmap,
                    {attributes.border_width, attributes.border_width,
                     attributes.width, attributes.height},
                    attributes);
  XFreePixmap(display, pixmap);
  return image;
}

// The server refuses to read any part of a window that is not on screen,
// so only the part that is gets read, and is laid over black.
const XImage* WindowPixels::ReadOnScreenPart(
    Window window,
    const XWindowAttributes& attributes) {
  Display* display = Connection();
  GrabArea on_root{0, 0, attributes.width, attributes.height};
  Window child = None;
  if (!XTranslateCoordinates(display, window, attributes.root, 0, 0, &on_root.x,
                             &on_root.y, &child)) {
    return nullptr;
  }
  const GrabArea visible = OnScreen(on_root, *attributes.screen);
  const GrabArea part_area{visible.x - on_root.x, visible.y - on_root.y,
                           visible.width, visible.height};
  if (visible.width == attributes.width &&
      visible.height == attributes.height) {
    return grabber_.Grab(window, part_area, attributes);
  }
  const XImage* part = nullptr;
  if (visible.width > 0 && visible.height > 0) {
    part = grabber_.Grab(window, part_area, attributes);
    if (part == nullptr) {
      return nullptr;
    }
  }

  if (padded_ == nullptr || padded_->width != attributes.width ||
      padded_->height != attributes.height ||
      padded_->depth != attributes.depth) {
    padded_.reset(XCreateImage(display, attributes.visual, attributes.depth,
                               ZPixmap, 0, nullptr, attributes.width,
                               attributes.height, 32, 0));
    if (padded_ == nullptr) {
      return nullptr;
    }
    // The image owns it: XDestroyImage frees it.
    padded_->data = static_cast<char*>(calloc(
        static_cast<size_t>(padded_->bytes_per_line) * padded_->height, 1));
    if (padded_->data == nullptr) {
      padded_.reset();
      return nullptr;
    }
  } else {
    memset(padded_->data, 0,
           static_cast<size_t>(padded_->bytes_per_line) * padded_->height);
  }
  if (part == nullptr) {
    return padded_.get();
  }
  if (part->bits_per_pixel != padded_->bits_per_pixel ||
      part->bits_per_pixel % 8 != 0) {
    return nullptr;
  }
  const size_t pixel_bytes = part->bits_per_pixel / 8;
  for (int row = 0; row < part->height; ++row) {
    memcpy(
        padded_->data +
            static_cast<size_t>(part_area.y + row) * padded_->bytes_per_line +
            part_area.x * pixel_bytes,
        part->data + static_cast<size_t>(row) * part->bytes_per_line,
        part->width * pixel_bytes);
  }
  return padded_.get();
}

void WindowPixels::StopRedirecting() {
  if (redirected_ == None) {
    return;
  }
  Display* display = Connection();
  damage_.Stop(display);
  XCompositeUnredirectWindow(display, redirected_, CompositeRedirectAutomatic);
  // Now, not with the next request, which may be a long time coming; and
  // any error (the window is gone) meets the caller's trap.
  XSync(display, False);
  redirected_ = None;
}

void WindowPixels::Close() {
  ScopedX11ErrorTrap trap;
  StopRedirecting();
  padded_.reset();
  grabber_.Close();
  // The server dropped the watch with the connection.
  damage_ = WindowDamage();
}

}  // namespace korvane_bridge
