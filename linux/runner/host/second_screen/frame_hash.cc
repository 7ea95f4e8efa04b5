#include "host/second_screen/frame_hash.h"

#define XXH_STATIC_LINKING_ONLY  // XXH3_state_t on the stack
#include <xxhash.h>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
// Picks the widest vector unit the processor has (AVX2, AVX-512) at run
// time, instead of the SSE2 that the library was built for: three times as
// fast over a frame or more.
#include <xxh_x86dispatch.h>
#define KORVANE_X86 1
#endif

#include <algorithm>
#include <cstddef>

namespace korvane_bridge {

namespace {

#if KORVANE_X86
// The library's AVX-512 routine returns with the upper halves of the vector
// registers still in use, and every SSE instruction after it (pixman's
// scaling, libjpeg-turbo's encoding) then runs several times slower until
// they are cleared.
__attribute__((target("avx"))) void ClearUpperVectorHalves() {
  _mm256_zeroupper();
}
#endif

}  // namespace

uint64_t FrameHash(const XImage& image) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(image.data);
  const size_t stride = std::max(image.bytes_per_line, 0);
  const size_t rows = std::max(image.height, 0);
  const size_t row_bytes =
      std::min(stride, (static_cast<size_t>(std::max(image.width, 0)) *
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
#if KORVANE_X86
  if (__builtin_cpu_supports("avx")) {
    ClearUpperVectorHalves();
  }
#endif
  // One frame in 2^64 moves to 1, which it then shares with another.
  return hash == 0 ? 1 : hash;
}

}  // namespace korvane_bridge
