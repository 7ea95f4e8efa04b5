// Feeds arbitrary bytes to the standard codec's decoder. Whatever decodes
// must encode again and decode to a value of the same text form.
#include <flutter_linux/flutter_linux.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  g_autoptr(FlStandardMessageCodec) codec = fl_standard_message_codec_new();
  g_autoptr(GBytes) message = g_bytes_new(data, size);
  g_autoptr(FlValue) value =
      fl_message_codec_decode_message(FL_MESSAGE_CODEC(codec), message, nullptr);
  if (value == nullptr) {
    return 0;
  }

  g_autoptr(GError) error = nullptr;
  g_autoptr(GBytes) encoded =
      fl_message_codec_encode_message(FL_MESSAGE_CODEC(codec), value, &error);
  if (encoded == nullptr) {
    abort();
  }
  g_autoptr(FlValue) again =
      fl_message_codec_decode_message(FL_MESSAGE_CODEC(codec), encoded, nullptr);
  if (again == nullptr) {
    abort();
  }
  g_autofree gchar* text = fl_value_to_string(value);
  g_autofree gchar* text_again = fl_value_to_string(again);
  if (strcmp(text, text_again) != 0) {
    abort();
  }
  return 0;
}
