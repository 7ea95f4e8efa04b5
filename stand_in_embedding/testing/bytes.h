#ifndef STAND_IN_EMBEDDING_TESTING_BYTES_H_
#define STAND_IN_EMBEDDING_TESTING_BYTES_H_

#include <glib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace flutter_testing {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(GBytes* bytes);
// The caller owns the result.
GBytes* ToGBytes(const Bytes& bytes);

// "0c 01 03" and "0C0103" both read as {0x0c, 0x01, 0x03}.
Bytes FromHex(const std::string& hex);
// Lower case, one space between bytes, as in "0c 01 03".
std::string ToHex(const Bytes& bytes);

}  // namespace flutter_testing

#endif  // STAND_IN_EMBEDDING_TESTING_BYTES_H_
