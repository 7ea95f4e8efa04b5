#include <gtest/gtest.h>

#include "bridge_test_support.h"

namespace {

using bridge_testing::Decode;
using bridge_testing::Encode;
using bridge_testing::List;
using bridge_testing::RecordValue;
using flutter_testing::FromHex;

gpointer RecordOf(FlValue* value) {
  return fl_value_get_custom_value_object(value);
}

TEST(KorvaneBridgeCodecTest, BadRecordListsAreRefused) {
  struct Case {
    const char* name;
    const char* hex;
    int code;
  } cases[] = {
      {"list cut short in the message", "89 0c 03 03 01 00 00 00 03 c8",
       FL_MESSAGE_CODEC_ERROR_OUT_OF_DATA},
      {"list shorter than the record", "89 0c 02 03 01 00 00 00 03 c8 00 00 00",
       FL_MESSAGE_CODEC_ERROR_FAILED},
      {"not a list", "89 03 01 00 00 00", FL_MESSAGE_CODEC_ERROR_FAILED},
      {"string where an integer belongs", "89 0c 03 07 01 61 03 00 00 00 00 03 00 00 00 00",
       FL_MESSAGE_CODEC_ERROR_FAILED},
      {"null where a text belongs", "87 0c 06 03 01 00 00 00 81 03 00 00 00 00 00 07 00 01 01",
       FL_MESSAGE_CODEC_ERROR_FAILED},
      {"plain integer where an enumeration belongs",
       "86 0c 05 03 00 00 00 00 07 00 03 00 00 00 00 01 00",
       FL_MESSAGE_CODEC_ERROR_FAILED},
      {"record where an enumeration belongs",
       "86 0c 05 89 0c 03 03 01 00 00 00 03 01 00 00 00 03 01 00 00 00 07 00 03 00 00 "
       "00 00 01 00",
       FL_MESSAGE_CODEC_ERROR_FAILED},
      {"enumeration wrapping a string", "86 0c 05 82 07 00 07 00 03 00 00 00 00 01 00",
       FL_MESSAGE_CODEC_ERROR_FAILED},
      {"float list where bytes belong",
       "8f 0c 09 03 01 00 00 00 0b 00 00 00 00 00 00 00 03 00 00 00 00 03 00 00 00 00 "
       "03 00 00 00 00 03 00 00 00 00 03 00 00 00 00 02 02",
       FL_MESSAGE_CODEC_ERROR_FAILED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int code = -1;
    std::string message;
    g_autoptr(FlValue) decoded = Decode(FromHex(c.hex), &code, &message);
    EXPECT_EQ(decoded, nullptr);
    EXPECT_EQ(code, c.code);
    if (c.code == FL_MESSAGE_CODEC_ERROR_FAILED) {
      EXPECT_EQ(message, "Invalid data received for MessageData");
    }
  }

  // A longer list than the record is read; the extra elements are ignored.
  g_autoptr(FlValue) longer =
      Decode(FromHex("89 0c 04 03 01 00 00 00 03 02 00 00 00 03 03 00 00 00 00"));
  ASSERT_NE(longer, nullptr);
  EXPECT_EQ(korvane_bridge_native_rumble_event_get_right_motor_intensity(
                KORVANE_BRIDGE_NATIVE_RUMBLE_EVENT(RecordOf(longer))),
            3);
}

TEST(KorvaneBridgeCodecTest, CustomValuesThatAreNotOursAreRefused) {
  g_autoptr(FlValue) foreign = List({fl_value_new_custom(200, nullptr, nullptr)});
  g_autoptr(FlMessageCodec) codec = FL_MESSAGE_CODEC(
      g_object_new(korvane_bridge_message_codec_get_type(), nullptr));
  g_autoptr(GError) error = nullptr;
  g_autoptr(GBytes) bytes = fl_message_codec_encode_message(codec, foreign, &error);
  EXPECT_EQ(bytes, nullptr);
  EXPECT_TRUE(g_error_matches(error, FL_MESSAGE_CODEC_ERROR,
                              FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE));

  // A record code wrapping the wrong kind of record is not written as one.
  g_autoptr(KorvaneBridgeNativeRumbleEvent) rumble =
      korvane_bridge_native_rumble_event_new(1, 2, 3);
  g_autoptr(FlValue) mislabelled = RecordValue(140, rumble);
  g_clear_error(&error);
  g_autoptr(GBytes) mislabelled_bytes =
      fl_message_codec_encode_message(codec, mislabelled, &error);
  EXPECT_EQ(mislabelled_bytes, nullptr);
  EXPECT_TRUE(g_error_matches(error, FL_MESSAGE_CODEC_ERROR,
                              FL_MESSAGE_CODEC_ERROR_FAILED));

  int code = -1;
  g_autoptr(FlValue) unknown = Decode(FromHex("91 00"), &code);
  EXPECT_EQ(unknown, nullptr);
  EXPECT_EQ(code, FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE);
}

}  // namespace
