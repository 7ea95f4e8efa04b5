#include "frame_hash.h"

#define XXH_STATIC_LINKING_ONLY  // XXH3_state_t on the stack
#include <xxhash.h>
#if defined(__x86_64__) || defined(__i386__)
// Picks the widest vector unit the processor has (AVX2 where there is one)
// at run time, instead of the SSE2 that the library was built for: about
// three times as fast over a frame.
#include <xxh_x86dispatch.h>
#endif

#include <algorithm>
#include <cstddef>

namespace korvane_bridge {

uint64_t FrameHash(const XImage& image) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(image.data);
  const size_t stride = std::max(image.bytes_per_line, 0);
  const size_t rows = std::max(image.height, 0);
  const size_t row_bytes = std::min(
      stride, (static_cast<size_t>(std::max(image.width, 0)) *
                   std::max(image.bits_per_pixel, 0) +
               7) /
                  8);
  uint64_t hash = 0;
  if (row_bytes == stride) {
    hash = XXH3_64bits(bytes, stride * rows);
  } else {
    XXH3_state_t state;
    XXH3_64bits_reset(&state);
    for (size_t row = 0; row < rows; ++row) {
      XXH3_64bits_update(&state, bytes + row * stride, row_bytes);
    }
    hash = XXH3_64bits_digest(&state);
  }
  // One frame in 2^64 moves to 1, which it then shares with another.
  return hash == 0 ? 1 : hash;
}

}  // namespace korvane_bridge
