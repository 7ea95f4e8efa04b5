#include <flutter_linux/flutter_linux.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "bytes.h"
#include "log_capture.h"

namespace {

// fl_value_unref with the signature of a GDestroyNotify.
void UnrefValue(gpointer value) {
  fl_value_unref(static_cast<FlValue*>(value));
}

using flutter_testing::Bytes;
using flutter_testing::FromHex;
using flutter_testing::ToBytes;
using flutter_testing::ToGBytes;
using flutter_testing::ToHex;

Bytes Encode(FlMessageCodec* codec, FlValue* value) {
  g_autoptr(GError) error = nullptr;
  g_autoptr(GBytes) bytes = fl_message_codec_encode_message(codec, value, &error);
  EXPECT_NE(bytes, nullptr) << error->message;
  return bytes != nullptr ? ToBytes(bytes) : Bytes();
}

std::string EncodeHex(FlValue* value) {
  g_autoptr(FlStandardMessageCodec) codec = fl_standard_message_codec_new();
  return ToHex(Encode(FL_MESSAGE_CODEC(codec), value));
}

// Decodes `bytes`; on failure returns nullptr and the error code in *code.
FlValue* Decode(FlMessageCodec* codec, const Bytes& bytes, int* code = nullptr) {
  g_autoptr(GBytes) message = ToGBytes(bytes);
  g_autoptr(GError) error = nullptr;
  FlValue* value = fl_message_codec_decode_message(codec, message, &error);
  if (value == nullptr) {
    EXPECT_EQ(error->domain, FL_MESSAGE_CODEC_ERROR);
    if (code != nullptr) {
      *code = error->code;
    }
  }
  return value;
}

FlValue* Decode(const Bytes& bytes, int* code = nullptr) {
  g_autoptr(FlStandardMessageCodec) codec = fl_standard_message_codec_new();
  return Decode(FL_MESSAGE_CODEC(codec), bytes, code);
}

FlValue* List(std::initializer_list<FlValue*> children) {
  FlValue* list = fl_value_new_list();
  for (FlValue* child : children) {
    fl_value_append_take(list, child);
  }
  return list;
}

// One value of every type, nested, so that a round trip exercises them all.
FlValue* EveryType() {
  uint8_t bytes[] = {1, 2, 3};
  int32_t ints[] = {-7, INT32_MIN};
  int64_t longs[] = {INT64_MIN, 1};
  float floats[] = {0.5f};
  double doubles[] = {-1.25, 1e300};
  FlValue* map = fl_value_new_map();
  fl_value_set_string_take(map, "uint8", fl_value_new_uint8_list(bytes, 3));
  fl_value_set_take(map, fl_value_new_int(42), fl_value_new_null());
  return List({
      fl_value_new_null(),
      fl_value_new_bool(true),
      fl_value_new_bool(false),
      fl_value_new_int(INT32_MAX),
      fl_value_new_int(static_cast<int64_t>(INT32_MIN) - 1),
      fl_value_new_float(M_PI),
      fl_value_new_string("unicode ✓"),
      fl_value_new_string(""),
      fl_value_new_int32_list(ints, 2),
      fl_value_new_int64_list(longs, 2),
      fl_value_new_float32_list(floats, 1),
      fl_value_new_float_list(doubles, 2),
      List({fl_value_new_list(), fl_value_new_map()}),
      map,
  });
}

TEST(FlStandardMessageCodecTest, EveryTypeRoundTrips) {
  g_autoptr(FlStandardMessageCodec) codec = fl_standard_message_codec_new();
  g_autoptr(FlValue) value = EveryType();
  Bytes bytes = Encode(FL_MESSAGE_CODEC(codec), value);
  g_autoptr(FlValue) decoded = Decode(FL_MESSAGE_CODEC(codec), bytes);
  ASSERT_NE(decoded, nullptr);
  EXPECT_TRUE(fl_value_equal(value, decoded));
  // And encoding the decoded value gives the same bytes again.
  EXPECT_EQ(Encode(FL_MESSAGE_CODEC(codec), decoded), bytes);
}

TEST(FlStandardMessageCodecTest, PublishedExamples) {
  // {"x": 2.5, "n": [true, Int32List[1, 2]]}
  g_autoptr(FlValue) map = fl_value_new_map();
  fl_value_set_string_take(map, "x", fl_value_new_float(2.5));
  int32_t ints[] = {1, 2};
  fl_value_set_string_take(
      map, "n", List({fl_value_new_bool(true), fl_value_new_int32_list(ints, 2)}));
  EXPECT_EQ(EncodeHex(map),
            "0d 02 07 01 78 06 00 00 00 00 00 00 00 00 04 40 07 01 6e 0c 02 01 "
            "09 02 01 00 00 00 02 00 00 00");

  g_autoptr(FlValue) two_to_31 = fl_value_new_int(INT64_C(1) << 31);
  EXPECT_EQ(EncodeHex(two_to_31), "04 00 00 00 80 00 00 00 00");
  g_autoptr(FlValue) int32_max = fl_value_new_int(INT32_MAX);
  EXPECT_EQ(EncodeHex(int32_max), "03 ff ff ff 7f");
  g_autoptr(FlValue) int32_min = fl_value_new_int(INT32_MIN);
  EXPECT_EQ(EncodeHex(int32_min), "03 00 00 00 80");
  g_autoptr(FlValue) below_int32 = fl_value_new_int(INT64_C(-2147483649));
  EXPECT_EQ(EncodeHex(below_int32), "04 ff ff ff 7f ff ff ff ff");

  g_autoptr(FlValue) long_text = fl_value_new_string(std::string(300, 'a').c_str());
  EXPECT_EQ(EncodeHex(long_text).substr(0, 11), "07 fe 2c 01");

  // A request with one integer argument, and the replies true, false, null.
  g_autoptr(FlValue) request = List({fl_value_new_int(2)});
  EXPECT_EQ(EncodeHex(request), "0c 01 03 02 00 00 00");
  g_autoptr(FlValue) reply_true = List({fl_value_new_bool(true)});
  EXPECT_EQ(EncodeHex(reply_true), "0c 01 01");
  g_autoptr(FlValue) reply_false = List({fl_value_new_bool(false)});
  EXPECT_EQ(EncodeHex(reply_false), "0c 01 02");
  g_autoptr(FlValue) reply_null = List({fl_value_new_null()});
  EXPECT_EQ(EncodeHex(reply_null), "0c 01 00");
}

TEST(FlStandardMessageCodecTest, NullMessagesBothWays) {
  g_autoptr(FlStandardMessageCodec) codec = fl_standard_message_codec_new();
  EXPECT_EQ(ToHex(Encode(FL_MESSAGE_CODEC(codec), nullptr)), "00");
  // The Dart side sends a null message as no bytes at all.
  g_autoptr(FlValue) empty = Decode(Bytes());
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(fl_value_get_type(empty), FL_VALUE_TYPE_NULL);
}

// Padding counts from the start of the whole message, so the same value is
// padded differently after 0 to 7 bytes of string before it.
TEST(FlStandardMessageCodecTest, FloatsAndTypedListsAlignInTheWholeMessage) {
  int32_t ints[] = {5};
  int64_t longs[] = {6};
  float floats[] = {7.0f};
  double doubles[] = {8.0};
  for (int prefix = 0; prefix < 8; prefix++) {
    SCOPED_TRACE(prefix);
    g_autoptr(FlValue) value = List({
        fl_value_new_string(std::string(prefix, 'p').c_str()),
        fl_value_new_float(1.5),
        fl_value_new_uint8_list(reinterpret_cast<const uint8_t*>("q"), 1),
        fl_value_new_int32_list(ints, 1),
        fl_value_new_int64_list(longs, 1),
        fl_value_new_float32_list(floats, 1),
        fl_value_new_float_list(doubles, 1),
    });
    g_autoptr(FlStandardMessageCodec) codec = fl_standard_message_codec_new();
    Bytes bytes = Encode(FL_MESSAGE_CODEC(codec), value);

    // Walk the encoding by hand: list header, string, then each element.
    size_t offset = 2 + 2 + prefix;
    auto expect_aligned_after = [&](uint8_t type, size_t header, size_t align) {
      ASSERT_EQ(bytes[offset], type);
      size_t start = offset + header;
      size_t aligned = (start + align - 1) / align * align;
      for (size_t i = start; i < aligned; i++) {
        EXPECT_EQ(bytes[i], 0) << "padding byte " << i;
      }
      offset = aligned;
    };
    expect_aligned_after(6, 1, 8);  // float64: type byte, then pad to 8
    offset += 8;
    expect_aligned_after(8, 2, 1);  // uint8 list: never padded
    offset += 1;
    expect_aligned_after(9, 2, 4);
    offset += 4;
    expect_aligned_after(10, 2, 8);
    offset += 8;
    expect_aligned_after(14, 2, 4);
    offset += 4;
    expect_aligned_after(11, 2, 8);
    offset += 8;
    EXPECT_EQ(offset, bytes.size());

    g_autoptr(FlValue) decoded = Decode(FL_MESSAGE_CODEC(codec), bytes);
    ASSERT_NE(decoded, nullptr);
    EXPECT_TRUE(fl_value_equal(value, decoded));
  }
}

TEST(FlStandardMessageCodecTest, SizeEncodingAtItsBoundaries) {
  struct Case {
    uint32_t size;
    const char* prefix;
  } cases[] = {
      {253, "08 fd"},
      {254, "08 fe fe 00"},
      {65535, "08 fe ff ff"},
      {65536, "08 ff 00 00 01 00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    Bytes data(c.size, 0xab);
    g_autoptr(FlValue) value = fl_value_new_uint8_list(data.data(), data.size());
    g_autoptr(FlStandardMessageCodec) codec = fl_standard_message_codec_new();
    Bytes bytes = Encode(FL_MESSAGE_CODEC(codec), value);
    std::string prefix = c.prefix;
    EXPECT_EQ(ToHex(bytes).substr(0, prefix.size()), prefix);
    EXPECT_EQ(bytes.size(), FromHex(prefix).size() + c.size);
    g_autoptr(FlValue) decoded = Decode(FL_MESSAGE_CODEC(codec), bytes);
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(fl_value_get_length(decoded), c.size);
  }
}

TEST(FlStandardMessageCodecTest, EveryCutPointIsOutOfData) {
  g_autoptr(FlStandardMessageCodec) codec = fl_standard_message_codec_new();
  g_autoptr(FlValue) value = EveryType();
  Bytes bytes = Encode(FL_MESSAGE_CODEC(codec), value);
  // Cutting at 0 would be the empty (null) message.
  for (size_t length = 1; length < bytes.size(); length++) {
    SCOPED_TRACE(length);
    int code = -1;
    g_autoptr(FlValue) decoded =
        Decode(FL_MESSAGE_CODEC(codec), Bytes(bytes.begin(), bytes.begin() + length), &code);
    EXPECT_EQ(decoded, nullptr);
    EXPECT_EQ(code, FL_MESSAGE_CODEC_ERROR_OUT_OF_DATA);
  }
}

TEST(FlStandardMessageCodecTest, MalformedInputIsAnError) {
  struct Case {
    const char* name;
    const char* hex;
    int code;
  } cases[] = {
      {"bytes left over", "00 00", FL_MESSAGE_CODEC_ERROR_ADDITIONAL_DATA},
      {"bytes after a list", "0c 01 01 02", FL_MESSAGE_CODEC_ERROR_ADDITIONAL_DATA},
      {"reserved type 15", "0f", FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE},
      {"reserved type 127", "7f", FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE},
      {"unknown custom type", "81 03 01 00 00 00", FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE},
      {"list claiming 2^32-1 elements", "0c ff ff ff ff ff 00", FL_MESSAGE_CODEC_ERROR_OUT_OF_DATA},
      {"map missing its value", "0d 01 00", FL_MESSAGE_CODEC_ERROR_OUT_OF_DATA},
      {"float64 list longer than the message", "0b ff ff ff ff 1f 00 00 00 00 00 00",
       FL_MESSAGE_CODEC_ERROR_OUT_OF_DATA},
      {"string longer than the message", "07 fe 00 01 61", FL_MESSAGE_CODEC_ERROR_OUT_OF_DATA},
      {"large int that is not hex", "05 02 7a 7a", FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE},
      {"large int beyond 64 bits", "05 11 31 30 30 30 30 30 30 30 30 30 30 30 30 30 30 30 30",
       FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int code = -1;
    g_autoptr(FlValue) decoded = Decode(FromHex(c.hex), &code);
    EXPECT_EQ(decoded, nullptr);
    EXPECT_EQ(code, c.code);
  }

  // The legacy large-integer form still reads when the value fits.
  g_autoptr(FlValue) large = Decode(FromHex("05 03 2d 66 66"));  // "-ff"
  ASSERT_NE(large, nullptr);
  EXPECT_EQ(fl_value_get_int(large), -255);
}

TEST(FlStandardMessageCodecTest, DeepNestingIsRefusedNotACrash) {
  Bytes bytes;
  for (int i = 0; i < 100000; i++) {
    bytes.push_back(0x0c);
    bytes.push_back(0x01);
  }
  bytes.push_back(0x00);
  int code = -1;
  g_autoptr(FlValue) decoded = Decode(bytes, &code);
  EXPECT_EQ(decoded, nullptr);
  EXPECT_EQ(code, FL_MESSAGE_CODEC_ERROR_FAILED);

  // Ordinary nesting is fine.
  Bytes shallow;
  for (int i = 0; i < 100; i++) {
    shallow.push_back(0x0c);
    shallow.push_back(0x01);
  }
  shallow.push_back(0x00);
  g_autoptr(FlValue) nested = Decode(shallow);
  EXPECT_NE(nested, nullptr);
}

TEST(FlStandardMessageCodecTest, CustomValuesAreRefusedByThePlainCodec) {
  g_autoptr(FlStandardMessageCodec) codec = fl_standard_message_codec_new();
  g_autoptr(FlValue) value = List({fl_value_new_custom(200, nullptr, nullptr)});
  g_autoptr(GError) error = nullptr;
  g_autoptr(GBytes) bytes =
      fl_message_codec_encode_message(FL_MESSAGE_CODEC(codec), value, &error);
  EXPECT_EQ(bytes, nullptr);
  EXPECT_TRUE(g_error_matches(error, FL_MESSAGE_CODEC_ERROR,
                              FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE));
}

// A subclass that adds one custom type the way an application codec does:
// type byte 200, then a nested standard value as its payload.
G_DECLARE_FINAL_TYPE(TestBoxCodec, test_box_codec, TEST, BOX_CODEC, FlStandardMessageCodec)

struct _TestBoxCodec {
  FlStandardMessageCodec parent_instance;
};

G_DEFINE_TYPE(TestBoxCodec, test_box_codec, fl_standard_message_codec_get_type())

constexpr int kBoxType = 200;

gboolean test_box_codec_write_value(FlStandardMessageCodec* codec,
                                    GByteArray* buffer,
                                    FlValue* value,
                                    GError** error) {
  if (fl_value_get_type(value) == FL_VALUE_TYPE_CUSTOM &&
      fl_value_get_custom_type(value) == kBoxType) {
    uint8_t type = kBoxType;
    g_byte_array_append(buffer, &type, 1);
    return fl_standard_message_codec_write_value(
        codec, buffer,
        static_cast<FlValue*>(const_cast<gpointer>(fl_value_get_custom_value(value))),
        error);
  }
  return FL_STANDARD_MESSAGE_CODEC_CLASS(test_box_codec_parent_class)
      ->write_value(codec, buffer, value, error);
}

FlValue* test_box_codec_read_value_of_type(FlStandardMessageCodec* codec,
                                           GBytes* buffer,
                                           size_t* offset,
                                           int type,
                                           GError** error) {
  if (type == kBoxType) {
    FlValue* payload = fl_standard_message_codec_read_value(codec, buffer, offset, error);
    if (payload == nullptr) {
      return nullptr;
    }
    return fl_value_new_custom(kBoxType, payload,
                               UnrefValue);
  }
  return FL_STANDARD_MESSAGE_CODEC_CLASS(test_box_codec_parent_class)
      ->read_value_of_type(codec, buffer, offset, type, error);
}

void test_box_codec_class_init(TestBoxCodecClass* klass) {
  FL_STANDARD_MESSAGE_CODEC_CLASS(klass)->write_value = test_box_codec_write_value;
  FL_STANDARD_MESSAGE_CODEC_CLASS(klass)->read_value_of_type =
      test_box_codec_read_value_of_type;
}

void test_box_codec_init(TestBoxCodec* /*self*/) {}

FlValue* Box(FlValue* payload) {
  return fl_value_new_custom(kBoxType, payload,
                             UnrefValue);
}

TEST(FlStandardMessageCodecTest, SubclassSeesCustomValuesAtAnyDepth) {
  g_autoptr(TestBoxCodec) codec =
      TEST_BOX_CODEC(g_object_new(test_box_codec_get_type(), nullptr));
  // box([1, box(box(null))])
  g_autoptr(FlValue) value =
      Box(List({fl_value_new_int(1), Box(Box(fl_value_new_null()))}));
  Bytes bytes = Encode(FL_MESSAGE_CODEC(codec), value);
  EXPECT_EQ(ToHex(bytes), "c8 0c 02 03 01 00 00 00 c8 c8 00");

  g_autoptr(FlValue) decoded = Decode(FL_MESSAGE_CODEC(codec), bytes);
  ASSERT_NE(decoded, nullptr);
  ASSERT_EQ(fl_value_get_custom_type(decoded), kBoxType);
  auto* list = static_cast<FlValue*>(const_cast<gpointer>(fl_value_get_custom_value(decoded)));
  FlValue* inner = fl_value_get_list_value(list, 1);
  ASSERT_EQ(fl_value_get_custom_type(inner), kBoxType);
  auto* innermost = static_cast<FlValue*>(const_cast<gpointer>(fl_value_get_custom_value(inner)));
  EXPECT_EQ(fl_value_get_custom_type(innermost), kBoxType);

  // The public size helpers are the codec's own.
  g_autoptr(GByteArray) buffer = g_byte_array_new();
  fl_standard_message_codec_write_size(FL_STANDARD_MESSAGE_CODEC(codec), buffer, 70000);
  g_autoptr(GBytes) size_bytes = g_bytes_new(buffer->data, buffer->len);
  size_t offset = 0;
  uint32_t size = 0;
  EXPECT_TRUE(fl_standard_message_codec_read_size(FL_STANDARD_MESSAGE_CODEC(codec),
                                                  size_bytes, &offset, &size, nullptr));
  EXPECT_EQ(size, 70000u);
  EXPECT_EQ(offset, 5u);
}

}  // namespace
