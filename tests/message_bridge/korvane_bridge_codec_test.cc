#include <gtest/gtest.h>

#include "bridge_test_support.h"

namespace {

using bridge_testing::Decode;
using flutter_testing::FromHex;

constexpr int kFailed = FL_MESSAGE_CODEC_ERROR_FAILED;

TEST(KorvaneBridgeCodecTest, BadRecordsAndUnknownCodesAreRefused) {
  const struct {
    const char* name;
    const char* hex;
    int code;
  } cases[] = {
      {"list cut short in the message", "89 0c 03 03 01 00 00 00 03 c8",
       FL_MESSAGE_CODEC_ERROR_OUT_OF_DATA},
      {"list shorter than the record", "89 0c 02 03 01 00 00 00 03 c8 00 00 00",
       kFailed},
      {"not a list", "89 03 01 00 00 00", kFailed},
      {"string where an integer belongs",
       "89 0c 03 07 01 61 03 00 00 00 00 03 00 00 00 00", kFailed},
      {"null where a text belongs",
       "87 0c 06 03 01 00 00 00 81 03 00 00 00 00 00 07 00 01 01", kFailed},
      {"plain integer where an enumeration belongs",
       "86 0c 05 03 00 00 00 00 07 00 03 00 00 00 00 01 00", kFailed},
      {"record where an enumeration belongs",
       "86 0c 05 89 0c 03 03 01 00 00 00 03 01 00 00 00 03 01 00 00 00 07 00 "
       "03 00 00 00 00 01 00",
       kFailed},
      {"enumeration wrapping a string",
       "86 0c 05 82 07 00 07 00 03 00 00 00 00 01 00", kFailed},
      {"float list where bytes belong",
       "8f 0c 09 03 01 00 00 00 0b 00 00 00 00 00 00 00 03 00 00 00 00 03 00 "
       "00 00 00 03 00 00 00 00 03 00 00 00 00 03 00 00 00 00 02 02",
       kFailed},
      {"a code past ours", "91 00", FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_autoptr(GError) error = nullptr;
    g_autoptr(FlValue) decoded = Decode(FromHex(c.hex), &error);
    EXPECT_EQ(decoded, nullptr);
    ASSERT_TRUE(g_error_matches(error, FL_MESSAGE_CODEC_ERROR, c.code));
    if (c.code == kFailed) {
      EXPECT_STREQ(error->message, "Invalid data received for MessageData");
    }
  }

  // A longer list than the record is read; the extra elements are ignored.
  g_autoptr(FlValue) longer = Decode(
      FromHex("89 0c 04 03 01 00 00 00 03 02 00 00 00 03 03 00 00 00 00"));
  ASSERT_NE(longer, nullptr);
  EXPECT_EQ(korvane_bridge_native_rumble_event_get_right_motor_intensity(
                KORVANE_BRIDGE_NATIVE_RUMBLE_EVENT(
                    fl_value_get_custom_value_object(longer))),
            3);
}

TEST(KorvaneBridgeCodecTest, CustomValuesThatAreNotOursAreNotWritten) {
  g_autoptr(KorvaneBridgeNativeRumbleEvent) rumble =
      korvane_bridge_native_rumble_event_new(1, 2, 3);
  g_autoptr(FlMessageCodec) codec = FL_MESSAGE_CODEC(
      g_object_new(korvane_bridge_message_codec_get_type(), nullptr));
  // A foreign code, and a record code wrapping the wrong kind of record.
  const std::pair<FlValue*, int> cases[] = {
      {fl_value_new_custom(200, nullptr, nullptr),
       FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE},
      {bridge_testing::RecordValue(140, rumble), kFailed},
  };
  for (const auto& [value, code] : cases) {
    g_autoptr(FlValue) owned = value;
    g_autoptr(GError) error = nullptr;
    g_autoptr(GBytes) bytes =
        fl_message_codec_encode_message(codec, owned, &error);
    EXPECT_EQ(bytes, nullptr);
    EXPECT_TRUE(g_error_matches(error, FL_MESSAGE_CODEC_ERROR, code));
  }
}

}  // namespace
