#include "bytes.h"

#include <cctype>
#include <cstdio>

namespace flutter_testing {

Bytes ToBytes(GBytes* bytes) {
  gsize size = 0;
  const uint8_t* data =
      static_cast<const uint8_t*>(g_bytes_get_data(bytes, &size));
  return Bytes(data, data + size);
}

GBytes* ToGBytes(const Bytes& bytes) {
  return g_bytes_new(bytes.data(), bytes.size());
}

Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  std::string digits;
  for (char c : hex) {
    if (std::isxdigit(static_cast<unsigned char>(c))) {
      digits += c;
    }
  }
  for (size_t i = 0; i + 1 < digits.size(); i += 2) {
    bytes.push_back(std::stoi(digits.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

std::string ToHex(const Bytes& bytes) {
  std::string hex;
  for (size_t i = 0; i < bytes.size(); i++) {
    char byte[4];
    snprintf(byte, sizeof(byte), i == 0 ? "%02x" : " %02x", bytes[i]);
    hex += byte;
  }
  return hex;
}

}  // namespace flutter_testing
