#ifndef STAND_IN_EMBEDDING_TESTING_BYTES_H_
#define STAND_IN_EMBEDDING_TESTING_BYTES_H_

#include <flutter_linux/flutter_linux.h>

#include <cstdint>
#include <initializer_list>
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

// `value` as one message of `codec`, which must be able to encode it.
Bytes EncodeMessage(FlMessageCodec* codec, FlValue* value);
// One message of `codec`; nullptr with `error` set when it does not decode.
FlValue* DecodeMessage(FlMessageCodec* codec,
                       const Bytes& bytes,
                       GError** error = nullptr);

// [values...], taking the values.
FlValue* List(std::initializer_list<FlValue*> values);

}  // namespace flutter_testing

#endif  // STAND_IN_EMBEDDING_TESTING_BYTES_H_
