#include <flutter_linux/flutter_linux.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bytes.h"

namespace {

using flutter_testing::Bytes;
using flutter_testing::DecodeMessage;
using flutter_testing::EncodeMessage;
using flutter_testing::FromHex;
using flutter_testing::List;
using flutter_testing::ToHex;

FlMessageCodec* StandardCodec() {
  return FL_MESSAGE_CODEC(fl_standard_message_codec_new());
}

template <typename T, size_t N>
FlValue* Typed(FlValue* (*make)(const T*, size_t), const T (&items)[N]) {
  return make(items, N);
}

// Every type, with floats and typed lists both at aligned and unaligned
// places: padding counts from the start of the whole message.
struct WireCase {
  const char* name;
  std::function<FlValue*()> make;
  const char* hex;
};
const WireCase kWireCases[] = {
    {"null", [] { return fl_value_new_null(); }, "00"},
    {"true", [] { return fl_value_new_bool(true); }, "01"},
    {"false", [] { return fl_value_new_bool(false); }, "02"},
    {"int32 max", [] { return fl_value_new_int(INT32_MAX); }, "03 ff ff ff 7f"},
    {"int32 min", [] { return fl_value_new_int(INT32_MIN); }, "03 00 00 00 80"},
    {"2^31", [] { return fl_value_new_int(INT64_C(1) << 31); },
     "04 00 00 00 80 00 00 00 00"},
    {"below int32", [] { return fl_value_new_int(INT64_C(-2147483649)); },
     "04 ff ff ff 7f ff ff ff ff"},
    {"float64 padded", [] { return fl_value_new_float(2.5); },
     "06 00 00 00 00 00 00 00 00 00 00 00 00 00 04 40"},
    {"float64 already aligned",
     [] { return List({fl_value_new_string("abc"), fl_value_new_float(1.5)}); },
     "0c 02 07 03 61 62 63 06 00 00 00 00 00 00 f8 3f"},
    {"utf-8 string", [] { return fl_value_new_string("héllo"); },
     "07 06 68 c3 a9 6c 6c 6f"},
    {"uint8 list never padded",
     [] { return Typed<uint8_t>(fl_value_new_uint8_list, {1, 2, 255}); },
     "08 03 01 02 ff"},
    {"int32 list", [] { return Typed<int32_t>(fl_value_new_int32_list, {-1, INT32_MAX}); },
     "09 02 00 00 ff ff ff ff ff ff ff 7f"},
    {"int64 list", [] { return Typed<int64_t>(fl_value_new_int64_list, {INT64_MIN}); },
     "0a 01 00 00 00 00 00 00 00 00 00 00 00 00 00 80"},
    {"float32 list", [] { return Typed<float>(fl_value_new_float32_list, {0.5f}); },
     "0e 01 00 00 00 00 00 3f"},
    {"float64 list", [] { return Typed<double>(fl_value_new_float_list, {-1.25}); },
     "0b 01 00 00 00 00 00 00 00 00 00 00 00 00 f4 bf"},
    {"empty list and map", [] { return List({fl_value_new_list(), fl_value_new_map()}); },
     "0c 02 0c 00 0d 00"},
    {"published map example: {x: 2.5, n: [true, Int32List[1, 2]]}",
     [] {
       FlValue* map = fl_value_new_map();
       fl_value_set_string_take(map, "x", fl_value_new_float(2.5));
       fl_value_set_string_take(
           map, "n",
           List({fl_value_new_bool(true), Typed<int32_t>(fl_value_new_int32_list, {1, 2})}));
       return map;
     },
     "0d 02 07 01 78 06 00 00 00 00 00 00 00 00 04 40 07 01 6e 0c 02 01 "
     "09 02 01 00 00 00 02 00 00 00"},
};

TEST(FlStandardMessageCodecTest, EveryTypeAndSizeToItsWireBytesAndBack) {
  g_autoptr(FlMessageCodec) codec = StandardCodec();
  for (const WireCase& c : kWireCases) {
    SCOPED_TRACE(c.name);
    g_autoptr(FlValue) value = c.make();
    EXPECT_EQ(ToHex(EncodeMessage(codec, value)), c.hex);
    g_autoptr(FlValue) decoded = DecodeMessage(codec, FromHex(c.hex));
    ASSERT_NE(decoded, nullptr);
    EXPECT_TRUE(fl_value_equal(value, decoded));
  }

  // The Dart side sends a null message as no bytes at all.
  EXPECT_EQ(ToHex(EncodeMessage(codec, nullptr)), "00");
  g_autoptr(FlValue) empty = DecodeMessage(codec, Bytes());
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(fl_value_get_type(empty), FL_VALUE_TYPE_NULL);

  // Sizes at the boundaries of their one-, three- and five-byte forms.
  const std::pair<size_t, const char*> cases[] = {
      {253, "08 fd"}, {254, "08 fe fe 00"}, {65535, "08 fe ff ff"},
      {65536, "08 ff 00 00 01 00"}};
  for (const auto& [size, hex] : cases) {
    SCOPED_TRACE(size);
    const Bytes items(size, 7);
    g_autoptr(FlValue) value = fl_value_new_uint8_list(items.data(), size);
    Bytes bytes = EncodeMessage(codec, value);
    EXPECT_EQ(ToHex(bytes).substr(0, strlen(hex)), hex);
    EXPECT_EQ(bytes.size(), (strlen(hex) + 1) / 3 + size);
    g_autoptr(FlValue) decoded = DecodeMessage(codec, bytes);
    ASSERT_NE(decoded, nullptr);
    EXPECT_TRUE(fl_value_equal(value, decoded));
  }
}

// Every cut point of a message holding every type, and every way the
// bytes can break the format.
TEST(FlStandardMessageCodecTest, MalformedInputIsAnError) {
  g_autoptr(FlMessageCodec) codec = StandardCodec();
  g_autoptr(FlValue) every_type = fl_value_new_list();
  for (const WireCase& c : kWireCases) {
    fl_value_append_take(every_type, c.make());
  }
  const Bytes whole = EncodeMessage(codec, every_type);
  Bytes too_deep;
  for (int i = 0; i < 100000; i++) {
    too_deep.insert(too_deep.end(), {0x0c, 0x01});
  }
  too_deep.push_back(0x00);
  struct Case {
    std::string name;
    Bytes bytes;
    int code;
  };
  std::vector<Case> cases = {
      {"bytes left over", FromHex("00 00"), FL_MESSAGE_CODEC_ERROR_ADDITIONAL_DATA},
      {"bytes after a list", FromHex("0c 01 01 02"), FL_MESSAGE_CODEC_ERROR_ADDITIONAL_DATA},
      {"reserved type 15", FromHex("0f"), FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE},
      {"reserved type 127", FromHex("7f"), FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE},
      {"unknown custom type", FromHex("81 03 01 00 00 00"),
       FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE},
      {"list claiming 2^32-1 elements", FromHex("0c ff ff ff ff ff 00"),
       FL_MESSAGE_CODEC_ERROR_OUT_OF_DATA},
      {"float64 list longer than the message", FromHex("0b ff ff ff ff 1f 00 00 00 00 00 00"),
       FL_MESSAGE_CODEC_ERROR_OUT_OF_DATA},
      {"large int that is not hex", FromHex("05 02 7a 7a"),
       FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE},
      {"large int beyond 64 bits",
       FromHex("05 11 31 30 30 30 30 30 30 30 30 30 30 30 30 30 30 30 30"),
       FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE},
      // Refused, not a stack overflow.
      {"nesting 100000 deep", too_deep, FL_MESSAGE_CODEC_ERROR_FAILED},
  };
  // Cutting at 0 would be the empty (null) message.
  for (size_t length = 1; length < whole.size(); length++) {
    cases.push_back({"cut at " + std::to_string(length),
                     Bytes(whole.begin(), whole.begin() + length),
                     FL_MESSAGE_CODEC_ERROR_OUT_OF_DATA});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_autoptr(GError) error = nullptr;
    g_autoptr(FlValue) decoded = DecodeMessage(codec, c.bytes, &error);
    EXPECT_EQ(decoded, nullptr);
    EXPECT_TRUE(g_error_matches(error, FL_MESSAGE_CODEC_ERROR, c.code));
  }

  // The legacy large-integer form still reads when the value fits, and
  // ordinary nesting is fine.
  g_autoptr(FlValue) large = DecodeMessage(codec, FromHex("05 03 2d 66 66"));  // "-ff"
  ASSERT_NE(large, nullptr);
  EXPECT_EQ(fl_value_get_int(large), -255);
  Bytes shallow(too_deep.end() - 201, too_deep.end());
  g_autoptr(FlValue) nested = DecodeMessage(codec, shallow);
  EXPECT_NE(nested, nullptr);
}

}  // namespace
