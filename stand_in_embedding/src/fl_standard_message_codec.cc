#include "flutter_linux/fl_standard_message_codec.h"

#include <string.h>

namespace {

// Type bytes of the standard message codec.
enum : uint8_t {
  kValueNull = 0,
  kValueTrue = 1,
  kValueFalse = 2,
  kValueInt32 = 3,
  kValueInt64 = 4,
  kValueLargeInt = 5,
  kValueFloat64 = 6,
  kValueString = 7,
  kValueUint8List = 8,
  kValueInt32List = 9,
  kValueInt64List = 10,
  kValueFloat64List = 11,
  kValueList = 12,
  kValueMap = 13,
  kValueFloat32List = 14,
};

// Decoding recurses once per level of nesting; a hostile message of nested
// one-element lists must not be able to exhaust the stack.
constexpr int kMaxReadDepth = 512;
thread_local int read_depth = 0;

void write_bytes(GByteArray* buffer, gconstpointer data, size_t length) {
  g_byte_array_append(buffer, static_cast<const guint8*>(data), length);
}

void write_uint8(GByteArray* buffer, uint8_t value) {
  write_bytes(buffer, &value, sizeof(value));
}

// Pads with zero bytes so that the next byte lies on a multiple of
// `alignment`, counted from the start of the whole message.
void write_align(GByteArray* buffer, guint alignment) {
  while (buffer->len % alignment != 0) {
    write_uint8(buffer, 0);
  }
}

const uint8_t* buffer_data(GBytes* buffer, size_t* length) {
  gsize size = 0;
  const uint8_t* data = static_cast<const uint8_t*>(g_bytes_get_data(buffer, &size));
  *length = size;
  return data;
}

gboolean set_out_of_data(GError** error) {
  g_set_error(error, FL_MESSAGE_CODEC_ERROR, FL_MESSAGE_CODEC_ERROR_OUT_OF_DATA,
              "Unexpected end of data");
  return FALSE;
}

// Copies `length` bytes at *offset into `value` and advances past them.
gboolean read_bytes(GBytes* buffer,
                    size_t* offset,
                    gpointer value,
                    size_t length,
                    GError** error) {
  size_t size = 0;
  const uint8_t* data = buffer_data(buffer, &size);
  if (*offset > size || size - *offset < length) {
    return set_out_of_data(error);
  }
  if (length > 0) {
    memcpy(value, data + *offset, length);
  }
  *offset += length;
  return TRUE;
}

gboolean read_align(GBytes* buffer,
                    size_t* offset,
                    size_t alignment,
                    GError** error) {
  size_t size = 0;
  buffer_data(buffer, &size);
  size_t aligned = *offset + (alignment - *offset % alignment) % alignment;
  if (aligned > size) {
    return set_out_of_data(error);
  }
  *offset = aligned;
  return TRUE;
}

// Points at the next `length` elements of `element_size` bytes and advances
// past them; fails without reading when the message is shorter.
const uint8_t* read_span(GBytes* buffer,
                         size_t* offset,
                         size_t length,
                         size_t element_size,
                         GError** error) {
  size_t size = 0;
  const uint8_t* data = buffer_data(buffer, &size);
  if (*offset > size || (size - *offset) / element_size < length) {
    set_out_of_data(error);
    return nullptr;
  }
  const uint8_t* span = data + *offset;
  *offset += length * element_size;
  return span;
}

template <typename T>
FlValue* read_int(GBytes* buffer, size_t* offset, GError** error) {
  T value = 0;
  return read_bytes(buffer, offset, &value, sizeof(value), error)
             ? fl_value_new_int(value)
             : nullptr;
}

// Reads a size and the bytes it counts, as strings and the legacy large
// integers are written.
const uint8_t* read_sized_bytes(FlStandardMessageCodec* self,
                                GBytes* buffer,
                                size_t* offset,
                                uint32_t* length,
                                GError** error) {
  if (!fl_standard_message_codec_read_size(self, buffer, offset, length,
                                           error)) {
    return nullptr;
  }
  return read_span(buffer, offset, *length, 1, error);
}

// The legacy form of integers too large for 64 bits: hexadecimal text. It is
// never written; values that fit are read back as integers.
FlValue* read_large_int(FlStandardMessageCodec* self,
                        GBytes* buffer,
                        size_t* offset,
                        GError** error) {
  uint32_t length = 0;
  const uint8_t* digits = read_sized_bytes(self, buffer, offset, &length, error);
  if (digits == nullptr) {
    return nullptr;
  }
  g_autofree gchar* text =
      g_strndup(reinterpret_cast<const gchar*>(digits), length);
  gint64 value = 0;
  if (length == 0 || memchr(digits, '\0', length) != nullptr ||
      !g_ascii_string_to_signed(text, 16, G_MININT64, G_MAXINT64, &value,
                                nullptr)) {
    g_set_error(error, FL_MESSAGE_CODEC_ERROR,
                FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE,
                "Large integer out of range");
    return nullptr;
  }
  return fl_value_new_int(value);
}

FlValue* read_float64(GBytes* buffer, size_t* offset, GError** error) {
  double value = 0;
  if (!read_align(buffer, offset, sizeof(double), error) ||
      !read_bytes(buffer, offset, &value, sizeof(value), error)) {
    return nullptr;
  }
  return fl_value_new_float(value);
}

FlValue* read_string(FlStandardMessageCodec* self,
                     GBytes* buffer,
                     size_t* offset,
                     GError** error) {
  uint32_t length = 0;
  const uint8_t* text = read_sized_bytes(self, buffer, offset, &length, error);
  if (text == nullptr) {
    return nullptr;
  }
  return fl_value_new_string_sized(reinterpret_cast<const gchar*>(text), length);
}

template <typename T, FlValue* (*constructor)(const T*, size_t)>
FlValue* read_typed_list(FlStandardMessageCodec* self,
                         GBytes* buffer,
                         size_t* offset,
                         GError** error) {
  uint32_t length = 0;
  if (!fl_standard_message_codec_read_size(self, buffer, offset, &length,
                                           error)) {
    return nullptr;
  }
  // Byte lists are not padded; wider elements align to their own size.
  if (sizeof(T) > 1 && !read_align(buffer, offset, sizeof(T), error)) {
    return nullptr;
  }
  const uint8_t* span = read_span(buffer, offset, length, sizeof(T), error);
  if (span == nullptr) {
    return nullptr;
  }
  // The span need not be aligned within the GBytes' memory: copy it out.
  g_autofree T* elements = g_new(T, length > 0 ? length : 1);
  memcpy(elements, span, length * sizeof(T));
  return constructor(elements, length);
}

// Lists hold `length` values; maps hold `length` key/value pairs.
FlValue* read_collection(FlStandardMessageCodec* self,
                         GBytes* buffer,
                         size_t* offset,
                         FlValueType type,
                         GError** error) {
  uint32_t length = 0;
  if (!fl_standard_message_codec_read_size(self, buffer, offset, &length,
                                           error)) {
    return nullptr;
  }
  bool is_map = type == FL_VALUE_TYPE_MAP;
  // The count comes from the peer: grow as entries arrive rather than trust it.
  g_autoptr(FlValue) collection = is_map ? fl_value_new_map() : fl_value_new_list();
  for (uint32_t i = 0; i < length; i++) {
    g_autoptr(FlValue) first =
        fl_standard_message_codec_read_value(self, buffer, offset, error);
    if (first == nullptr) {
      return nullptr;
    }
    if (!is_map) {
      fl_value_append(collection, first);
      continue;
    }
    g_autoptr(FlValue) second =
        fl_standard_message_codec_read_value(self, buffer, offset, error);
    if (second == nullptr) {
      return nullptr;
    }
    fl_value_set(collection, first, second);
  }
  return fl_value_ref(collection);
}

gboolean write_typed_list(FlStandardMessageCodec* self,
                          GByteArray* buffer,
                          uint8_t type,
                          gconstpointer data,
                          size_t length,
                          size_t element_size) {
  write_uint8(buffer, type);
  fl_standard_message_codec_write_size(self, buffer, length);
  if (element_size > 1) {
    write_align(buffer, element_size);
  }
  write_bytes(buffer, data, length * element_size);
  return TRUE;
}

}  // namespace

G_DEFINE_TYPE(FlStandardMessageCodec,
              fl_standard_message_codec,
              fl_message_codec_get_type())

static gboolean fl_standard_message_codec_real_write_value(
    FlStandardMessageCodec* self,
    GByteArray* buffer,
    FlValue* value,
    GError** error) {
  if (value == nullptr) {
    write_uint8(buffer, kValueNull);
    return TRUE;
  }

  switch (fl_value_get_type(value)) {
    case FL_VALUE_TYPE_NULL:
      write_uint8(buffer, kValueNull);
      return TRUE;
    case FL_VALUE_TYPE_BOOL:
      write_uint8(buffer, fl_value_get_bool(value) ? kValueTrue : kValueFalse);
      return TRUE;
    case FL_VALUE_TYPE_INT: {
      int64_t number = fl_value_get_int(value);
      if (number >= G_MININT32 && number <= G_MAXINT32) {
        int32_t narrow = static_cast<int32_t>(number);
        write_uint8(buffer, kValueInt32);
        write_bytes(buffer, &narrow, sizeof(narrow));
      } else {
        write_uint8(buffer, kValueInt64);
        write_bytes(buffer, &number, sizeof(number));
      }
      return TRUE;
    }
    case FL_VALUE_TYPE_FLOAT: {
      double number = fl_value_get_float(value);
      write_uint8(buffer, kValueFloat64);
      write_align(buffer, sizeof(double));
      write_bytes(buffer, &number, sizeof(number));
      return TRUE;
    }
    case FL_VALUE_TYPE_STRING: {
      const gchar* text = fl_value_get_string(value);
      size_t length = strlen(text);
      write_uint8(buffer, kValueString);
      fl_standard_message_codec_write_size(self, buffer, length);
      write_bytes(buffer, text, length);
      return TRUE;
    }
    case FL_VALUE_TYPE_UINT8_LIST:
      return write_typed_list(self, buffer, kValueUint8List,
                              fl_value_get_uint8_list(value),
                              fl_value_get_length(value), sizeof(uint8_t));
    case FL_VALUE_TYPE_INT32_LIST:
      return write_typed_list(self, buffer, kValueInt32List,
                              fl_value_get_int32_list(value),
                              fl_value_get_length(value), sizeof(int32_t));
    case FL_VALUE_TYPE_INT64_LIST:
      return write_typed_list(self, buffer, kValueInt64List,
                              fl_value_get_int64_list(value),
                              fl_value_get_length(value), sizeof(int64_t));
    case FL_VALUE_TYPE_FLOAT32_LIST:
      return write_typed_list(self, buffer, kValueFloat32List,
                              fl_value_get_float32_list(value),
                              fl_value_get_length(value), sizeof(float));
    case FL_VALUE_TYPE_FLOAT_LIST:
      return write_typed_list(self, buffer, kValueFloat64List,
                              fl_value_get_float_list(value),
                              fl_value_get_length(value), sizeof(double));
    case FL_VALUE_TYPE_LIST: {
      size_t length = fl_value_get_length(value);
      write_uint8(buffer, kValueList);
      fl_standard_message_codec_write_size(self, buffer, length);
      for (size_t i = 0; i < length; i++) {
        if (!fl_standard_message_codec_write_value(
                self, buffer, fl_value_get_list_value(value, i), error)) {
          return FALSE;
        }
      }
      return TRUE;
    }
    case FL_VALUE_TYPE_MAP: {
      size_t length = fl_value_get_length(value);
      write_uint8(buffer, kValueMap);
      fl_standard_message_codec_write_size(self, buffer, length);
      for (size_t i = 0; i < length; i++) {
        if (!fl_standard_message_codec_write_value(
                self, buffer, fl_value_get_map_key(value, i), error) ||
            !fl_standard_message_codec_write_value(
                self, buffer, fl_value_get_map_value(value, i), error)) {
          return FALSE;
        }
      }
      return TRUE;
    }
    case FL_VALUE_TYPE_CUSTOM:
      g_set_error(error, FL_MESSAGE_CODEC_ERROR,
                  FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE,
                  "Custom value not implemented");
      return FALSE;
  }

  g_set_error(error, FL_MESSAGE_CODEC_ERROR,
              FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE, "Unexpected FlValue type");
  return FALSE;
}

static FlValue* fl_standard_message_codec_real_read_value_of_type(
    FlStandardMessageCodec* self,
    GBytes* buffer,
    size_t* offset,
    int type,
    GError** error) {
  switch (type) {
    case kValueNull:
      return fl_value_new_null();
    case kValueTrue:
      return fl_value_new_bool(true);
    case kValueFalse:
      return fl_value_new_bool(false);
    case kValueInt32:
      return read_int<int32_t>(buffer, offset, error);
    case kValueInt64:
      return read_int<int64_t>(buffer, offset, error);
    case kValueLargeInt:
      return read_large_int(self, buffer, offset, error);
    case kValueFloat64:
      return read_float64(buffer, offset, error);
    case kValueString:
      return read_string(self, buffer, offset, error);
    case kValueUint8List:
      return read_typed_list<uint8_t, fl_value_new_uint8_list>(self, buffer,
                                                               offset, error);
    case kValueInt32List:
      return read_typed_list<int32_t, fl_value_new_int32_list>(self, buffer,
                                                               offset, error);
    case kValueInt64List:
      return read_typed_list<int64_t, fl_value_new_int64_list>(self, buffer,
                                                               offset, error);
    case kValueFloat64List:
      return read_typed_list<double, fl_value_new_float_list>(self, buffer,
                                                              offset, error);
    case kValueList:
      return read_collection(self, buffer, offset, FL_VALUE_TYPE_LIST, error);
    case kValueMap:
      return read_collection(self, buffer, offset, FL_VALUE_TYPE_MAP, error);
    case kValueFloat32List:
      return read_typed_list<float, fl_value_new_float32_list>(self, buffer,
                                                               offset, error);
    default:
      g_set_error(error, FL_MESSAGE_CODEC_ERROR,
                  FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE,
                  "Unexpected standard codec type %02x", type);
      return nullptr;
  }
}

static GBytes* fl_standard_message_codec_encode_message(FlMessageCodec* codec,
                                                        FlValue* message,
                                                        GError** error) {
  FlStandardMessageCodec* self = FL_STANDARD_MESSAGE_CODEC(codec);
  g_autoptr(GByteArray) buffer = g_byte_array_new();
  if (!fl_standard_message_codec_write_value(self, buffer, message, error)) {
    return nullptr;
  }
  return g_byte_array_free_to_bytes(
      static_cast<GByteArray*>(g_steal_pointer(&buffer)));
}

static FlValue* fl_standard_message_codec_decode_message(FlMessageCodec* codec,
                                                         GBytes* message,
                                                         GError** error) {
  FlStandardMessageCodec* self = FL_STANDARD_MESSAGE_CODEC(codec);

  // The Dart side sends a null message as no bytes at all.
  if (g_bytes_get_size(message) == 0) {
    return fl_value_new_null();
  }

  size_t offset = 0;
  g_autoptr(FlValue) value =
      fl_standard_message_codec_read_value(self, message, &offset, error);
  if (value == nullptr) {
    return nullptr;
  }
  if (offset != g_bytes_get_size(message)) {
    g_set_error(error, FL_MESSAGE_CODEC_ERROR,
                FL_MESSAGE_CODEC_ERROR_ADDITIONAL_DATA,
                "Unused %zi bytes after standard message",
                g_bytes_get_size(message) - offset);
    return nullptr;
  }
  return fl_value_ref(value);
}

static void fl_standard_message_codec_class_init(
    FlStandardMessageCodecClass* klass) {
  FL_MESSAGE_CODEC_CLASS(klass)->encode_message =
      fl_standard_message_codec_encode_message;
  FL_MESSAGE_CODEC_CLASS(klass)->decode_message =
      fl_standard_message_codec_decode_message;
  klass->write_value = fl_standard_message_codec_real_write_value;
  klass->read_value_of_type = fl_standard_message_codec_real_read_value_of_type;
}

static void fl_standard_message_codec_init(FlStandardMessageCodec* /*self*/) {}

G_MODULE_EXPORT FlStandardMessageCodec* fl_standard_message_codec_new() {
  return FL_STANDARD_MESSAGE_CODEC(
      g_object_new(fl_standard_message_codec_get_type(), nullptr));
}

G_MODULE_EXPORT void fl_standard_message_codec_write_size(
    FlStandardMessageCodec* self,
    GByteArray* buffer,
    uint32_t size) {
  g_return_if_fail(FL_IS_STANDARD_MESSAGE_CODEC(self));
  g_return_if_fail(buffer != nullptr);
  if (size < 254) {
    write_uint8(buffer, size);
  } else if (size <= 0xffff) {
    uint16_t value = size;
    write_uint8(buffer, 254);
    write_bytes(buffer, &value, sizeof(value));
  } else {
    write_uint8(buffer, 255);
    write_bytes(buffer, &size, sizeof(size));
  }
}

G_MODULE_EXPORT gboolean fl_standard_message_codec_read_size(
    FlStandardMessageCodec* self,
    GBytes* buffer,
    size_t* offset,
    uint32_t* value,
    GError** error) {
  g_return_val_if_fail(FL_IS_STANDARD_MESSAGE_CODEC(self), FALSE);
  g_return_val_if_fail(buffer != nullptr, FALSE);
  g_return_val_if_fail(offset != nullptr, FALSE);
  g_return_val_if_fail(value != nullptr, FALSE);

  uint8_t first = 0;
  if (!read_bytes(buffer, offset, &first, sizeof(first), error)) {
    return FALSE;
  }
  if (first < 254) {
    *value = first;
    return TRUE;
  }
  if (first == 254) {
    uint16_t size = 0;
    if (!read_bytes(buffer, offset, &size, sizeof(size), error)) {
      return FALSE;
    }
    *value = size;
    return TRUE;
  }
  return read_bytes(buffer, offset, value, sizeof(*value), error);
}

G_MODULE_EXPORT gboolean fl_standard_message_codec_write_value(
    FlStandardMessageCodec* self,
    GByteArray* buffer,
    FlValue* value,
    GError** error) {
  g_return_val_if_fail(FL_IS_STANDARD_MESSAGE_CODEC(self), FALSE);
  g_return_val_if_fail(buffer != nullptr, FALSE);
  return FL_STANDARD_MESSAGE_CODEC_GET_CLASS(self)->write_value(self, buffer,
                                                                value, error);
}

G_MODULE_EXPORT FlValue* fl_standard_message_codec_read_value(
    FlStandardMessageCodec* self,
    GBytes* buffer,
    size_t* offset,
    GError** error) {
  g_return_val_if_fail(FL_IS_STANDARD_MESSAGE_CODEC(self), nullptr);
  g_return_val_if_fail(buffer != nullptr, nullptr);
  g_return_val_if_fail(offset != nullptr, nullptr);

  uint8_t type = 0;
  if (!read_bytes(buffer, offset, &type, sizeof(type), error)) {
    return nullptr;
  }
  if (read_depth >= kMaxReadDepth) {
    g_set_error(error, FL_MESSAGE_CODEC_ERROR, FL_MESSAGE_CODEC_ERROR_FAILED,
                "Values nested more than %d deep", kMaxReadDepth);
    return nullptr;
  }
  read_depth++;
  FlValue* value = FL_STANDARD_MESSAGE_CODEC_GET_CLASS(self)->read_value_of_type(
      self, buffer, offset, type, error);
  read_depth--;
  return value;
}
