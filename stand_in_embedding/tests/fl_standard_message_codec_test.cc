#include <flutter_linux/flutter_linux.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "bytes.h"

namespace {

using flutter_testing::Bytes;
using flutter_testing::DecodeMessage;
using flutter_testing::EncodeMessage;
using flutter_testing::FromHex;
using flutter_testing::List;
using flutter_testing::ToHex;

// Checks that `codec` refuses `bytes` with error `code`.
void ExpectError(FlMessageCodec* codec, const Bytes& bytes, int code) {
  g_autoptr(GError) error = nullptr;
  g_autoptr(FlValue) decoded = DecodeMessage(codec, bytes, &error);
  EXPECT_EQ(decoded, nullptr);
  EXPECT_TRUE(g_error_matches(error, FL_MESSAGE_CODEC_ERROR, code));
}

// Every type, with floats and typed lists both at aligned and unaligned
// places (padding counts from the start of the whole message), each also
// cut at every point of its first 64 bytes.
TEST(FlStandardMessageCodecTest, EveryTypeAndSizeToItsWireBytesAndBack) {
  g_autoptr(FlMessageCodec) codec =
      FL_MESSAGE_CODEC(fl_standard_message_codec_new());
  const auto wire = [&](FlValue* taken, const std::string& hex) {
    SCOPED_TRACE(hex);
    g_autoptr(FlValue) value = taken;
    EXPECT_EQ(ToHex(EncodeMessage(codec, value)), hex);
    const Bytes bytes = FromHex(hex);
    g_autoptr(FlValue) decoded = DecodeMessage(codec, bytes);
    ASSERT_NE(decoded, nullptr);
    EXPECT_TRUE(fl_value_equal(value, decoded));
    // Cutting at 0 would be the empty (null) message.
    for (size_t length = 1; length < std::min<size_t>(bytes.size(), 64);
         length++) {
      ExpectError(codec, Bytes(bytes.begin(), bytes.begin() + length),
                  FL_MESSAGE_CODEC_ERROR_OUT_OF_DATA);
    }
  };
  wire(fl_value_new_null(), "00");
  wire(fl_value_new_bool(true), "01");
  wire(fl_value_new_bool(false), "02");
  wire(fl_value_new_int(INT32_MAX), "03 ff ff ff 7f");
  wire(fl_value_new_int(INT32_MIN), "03 00 00 00 80");
  wire(fl_value_new_int(INT64_C(1) << 31), "04 00 00 00 80 00 00 00 00");
  wire(fl_value_new_int(INT64_C(-2147483649)), "04 ff ff ff 7f ff ff ff ff");
  wire(fl_value_new_float(2.5),
       "06 00 00 00 00 00 00 00 00 00 00 00 00 00 04 40");
  wire(List({fl_value_new_string("abc"), fl_value_new_float(1.5)}),
       "0c 02 07 03 61 62 63 06 00 00 00 00 00 00 f8 3f");
  wire(fl_value_new_string("héllo"), "07 06 68 c3 a9 6c 6c 6f");
  const uint8_t u8[] = {1, 2, 255};
  const int32_t i32[] = {-1, INT32_MAX};
  const int64_t i64[] = {INT64_MIN};
  const float f32[] = {0.5f};
  const double f64[] = {-1.25};
  wire(fl_value_new_uint8_list(u8, 3), "08 03 01 02 ff");
  wire(fl_value_new_int32_list(i32, 2), "09 02 00 00 ff ff ff ff ff ff ff 7f");
  wire(fl_value_new_int64_list(i64, 1),
       "0a 01 00 00 00 00 00 00 00 00 00 00 00 00 00 80");
  wire(fl_value_new_float32_list(f32, 1), "0e 01 00 00 00 00 00 3f");
  wire(fl_value_new_float_list(f64, 1),
       "0b 01 00 00 00 00 00 00 00 00 00 00 00 00 f4 bf");
  wire(List({fl_value_new_list(), fl_value_new_map()}), "0c 02 0c 00 0d 00");
  // The published example {x: 2.5, n: [true, Int32List[1, 2]]}.
  const int32_t pair[] = {1, 2};
  FlValue* map = fl_value_new_map();
  fl_value_set_string_take(map, "x", fl_value_new_float(2.5));
  fl_value_set_string_take(
      map, "n",
      List({fl_value_new_bool(true), fl_value_new_int32_list(pair, 2)}));
  wire(map,
       "0d 02 07 01 78 06 00 00 00 00 00 00 00 00 04 40 07 01 6e 0c 02 01 "
       "09 02 01 00 00 00 02 00 00 00");

  // The Dart side sends a null message as no bytes at all.
  EXPECT_EQ(ToHex(EncodeMessage(codec, nullptr)), "00");
  g_autoptr(FlValue) empty = DecodeMessage(codec, Bytes());
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(fl_value_get_type(empty), FL_VALUE_TYPE_NULL);

  // Sizes at the boundaries of their one-, three- and five-byte forms.
  for (const auto& [size, head] : std::vector<std::pair<size_t, std::string>>{
           {253, "08 fd "},
           {254, "08 fe fe 00 "},
           {65535, "08 fe ff ff "},
           {65536, "08 ff 00 00 01 00 "}}) {
    const Bytes items(size, 7);
    wire(fl_value_new_uint8_list(items.data(), size), head + ToHex(items));
  }
}

TEST(FlStandardMessageCodecTest, MalformedInputIsAnError) {
  g_autoptr(FlMessageCodec) codec =
      FL_MESSAGE_CODEC(fl_standard_message_codec_new());
  const std::pair<const char*, int> cases[] = {
      {"00 00", FL_MESSAGE_CODEC_ERROR_ADDITIONAL_DATA},
      {"0c 01 01 02", FL_MESSAGE_CODEC_ERROR_ADDITIONAL_DATA},
      // Reserved types, and a custom type that the codec does not know.
      {"0f", FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE},
      {"7f", FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE},
      {"81 03 01 00 00 00", FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE},
      // Sizes far beyond the message.
      {"0c ff ff ff ff ff 00", FL_MESSAGE_CODEC_ERROR_OUT_OF_DATA},
      {"0b ff ff ff ff 1f 00 00 00 00 00 00",
       FL_MESSAGE_CODEC_ERROR_OUT_OF_DATA},
      // Large integers that are not hex, or beyond 64 bits.
      {"05 02 7a 7a", FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE},
      {"05 11 31 30 30 30 30 30 30 30 30 30 30 30 30 30 30 30 30",
       FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE},
  };
  for (const auto& [hex, code] : cases) {
    SCOPED_TRACE(hex);
    ExpectError(codec, FromHex(hex), code);
  }
  // Refused, not a stack overflow; ordinary nesting is fine.
  Bytes too_deep;
  for (int i = 0; i < 100000; i++) {
    too_deep.insert(too_deep.end(), {0x0c, 0x01});
  }
  too_deep.push_back(0x00);
  ExpectError(codec, too_deep, FL_MESSAGE_CODEC_ERROR_FAILED);
  g_autoptr(FlValue) nested =
      DecodeMessage(codec, Bytes(too_deep.end() - 201, too_deep.end()));
  EXPECT_NE(nested, nullptr);

  // The legacy large-integer form still reads when the value fits.
  g_autoptr(FlValue) large = DecodeMessage(codec, FromHex("05 03 2d 66 66"));
  ASSERT_NE(large, nullptr);
  EXPECT_EQ(fl_value_get_int(large), -255);  // "-ff"
}

}  // namespace
