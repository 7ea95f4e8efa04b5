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

Bytes EncodeMessage(FlMessageCodec* codec, FlValue* value) {
  g_autoptr(GError) error = nullptr;
  g_autoptr(GBytes) bytes =
      fl_message_codec_encode_message(codec, value, &error);
  g_assert_no_error(error);
  return ToBytes(bytes);
}

FlValue* DecodeMessage(FlMessageCodec* codec,
                       const Bytes& bytes,
                       GError** error) {
  g_autoptr(GBytes) message = ToGBytes(bytes);
  return fl_message_codec_decode_message(codec, message, error);
}

FlValue* List(std::initializer_list<FlValue*> values) {
  FlValue* list = fl_value_new_list();
  for (FlValue* value : values) {
    fl_value_append_take(list, value);
  }
  return list;
}

}  // namespace flutter_testing
