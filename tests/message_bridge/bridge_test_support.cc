#include "bridge_test_support.h"

namespace bridge_testing {

namespace {

FlMessageCodec* NewCodec() {
  return FL_MESSAGE_CODEC(
      g_object_new(korvane_bridge_message_codec_get_type(), nullptr));
}

}  // namespace

Bytes Encode(FlValue* value) {
  g_autoptr(FlMessageCodec) codec = NewCodec();
  g_autoptr(GError) error = nullptr;
  g_autoptr(GBytes) bytes =
      fl_message_codec_encode_message(codec, value, &error);
  g_assert_no_error(error);
  return flutter_testing::ToBytes(bytes);
}

FlValue* Decode(const Bytes& bytes,
                int* error_code,
                std::string* error_message) {
  g_autoptr(FlMessageCodec) codec = NewCodec();
  g_autoptr(GBytes) message = flutter_testing::ToGBytes(bytes);
  g_autoptr(GError) error = nullptr;
  FlValue* value = fl_message_codec_decode_message(codec, message, &error);
  if (value == nullptr) {
    if (error_code != nullptr) {
      *error_code = error->code;
    }
    if (error_message != nullptr) {
      *error_message = error->message;
    }
  }
  return value;
}

FlValue* List(std::initializer_list<FlValue*> values) {
  FlValue* list = fl_value_new_list();
  for (FlValue* value : values) {
    fl_value_append_take(list, value);
  }
  return list;
}

FlValue* RecordValue(int code, gpointer record) {
  return fl_value_new_custom_object(code, G_OBJECT(record));
}

}  // namespace bridge_testing
