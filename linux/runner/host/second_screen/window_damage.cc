#include "host/second_screen/window_damage.h"

namespace korvane_bridge {

void WindowDamage::Restart(Display* display, Window window) {
  if (!queried_) {
    int error_base = 0;
    if (!XDamageQueryExtension(display, &event_base_, &error_base)) {
      event_base_ = -1;
    }
    queried_ = true;
  }
  if (event_base_ < 0) {
    return;
  }
  // Reports already here tell of drawing before this read.
  TakeReports(display);
  if (window != window_) {
    Stop(display);
    // One report each time the damage goes from none to some; subtracting
    // it all arms the next.
    damage_ = XDamageCreate(display, window, XDamageReportNonEmpty);
    window_ = window;
  } else {
    XDamageSubtract(display, damage_, None, None);
  }
  drawn_ = false;
}

bool WindowDamage::Undrawn(Display* display, Window window) {
  if (window_ == None || window != window_) {
    return false;
  }
  TakeReports(display);
  return !drawn_;
}

void WindowDamage::TakeReports(Display* display) {
  XEvent event;
  while (XCheckTypedEvent(display, event_base_ + XDamageNotify, &event)) {
    if (reinterpret_cast<XDamageNotifyEvent&>(event).damage == damage_) {
      drawn_ = true;
    }
  }
}

void WindowDamage::Stop(Display* display) {
  if (damage_ != None) {
    XDamageDestroy(display, damage_);
  }
  damage_ = None;
  window_ = None;
  drawn_ = true;
}

}  // namespace korvane_bridge
