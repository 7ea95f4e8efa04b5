#ifndef LINUX_RUNNER_HOST_SECOND_SCREEN_FRAME_HASH_H_
#define LINUX_RUNNER_HOST_SECOND_SCREEN_FRAME_HASH_H_

// Tells whether a window changed since the frame the handheld shows: a hash
// of every pixel byte of the grabbed image, so that even a one-character
// change in a large terminal shows.

#include <X11/Xlib.h>
#include <stdint.h>

namespace korvane_bridge {

// XXH3 over each row's pixel bytes (the padding at the rows' ends left
// out: nothing says what it holds). Never 0, which stands for "no frame".
uint64_t FrameHash(const XImage& image);

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_SECOND_SCREEN_FRAME_HASH_H_
