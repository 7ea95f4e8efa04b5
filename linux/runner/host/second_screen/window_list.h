#ifndef LINUX_RUNNER_HOST_SECOND_SCREEN_WINDOW_LIST_H_
#define LINUX_RUNNER_HOST_SECOND_SCREEN_WINDOW_LIST_H_

// The windows of the X11 desktop worth mirroring on the handheld, the whole
// desktop first.

#include <flutter_linux/flutter_linux.h>

namespace korvane_bridge {

// A new list value of window records (custom values of their type code);
// empty when no display can be opened. Blocks while the server answers.
FlValue* ListCapturableWindows();

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_SECOND_SCREEN_WINDOW_LIST_H_
