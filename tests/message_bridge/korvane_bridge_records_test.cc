#include <gtest/gtest.h>

#include <cmath>

#include "bridge_test_support.h"
#include "log_capture.h"
#include "record_text.h"

namespace {

using bridge_testing::Bytes;
using bridge_testing::Decode;
using bridge_testing::Encode;
using bridge_testing::List;
using bridge_testing::RecordValue;
using flutter_testing::LogCapture;
using korvane_peer_tool::DescribeValue;

// A field's value unlike any other field's of its record, from its
// position: integers past 32 bits, enumerations past every enumeration's
// range. The booleans count up in binary down the two rounds, so no two have
// the same pair of values; the second round has absent and empty values.
FlValue* FieldValue(const KorvaneBridgeFieldDescription& field,
                    int position,
                    int round,
                    int* booleans) {
  g_autofree gchar* text = g_strdup_printf("f%d", position);
  const uint8_t bytes[] = {static_cast<uint8_t>(position), 255};
  switch (field.kind) {
    case KORVANE_BRIDGE_FIELD_KIND_INT:
      return fl_value_new_int((INT64_C(1) << 40) + position);
    case KORVANE_BRIDGE_FIELD_KIND_DOUBLE:
      return fl_value_new_float(100.5 + position);
    case KORVANE_BRIDGE_FIELD_KIND_BOOL:
      return fl_value_new_bool(((*booleans)++ >> round) & 1);
    case KORVANE_BRIDGE_FIELD_KIND_ENUM:
      return fl_value_new_custom(
          field.type_code, fl_value_new_int(100 + position),
          [](gpointer value) { fl_value_unref(static_cast<FlValue*>(value)); });
    case KORVANE_BRIDGE_FIELD_KIND_NULLABLE_TEXT:
      return round == 0 ? fl_value_new_string(text) : fl_value_new_null();
    case KORVANE_BRIDGE_FIELD_KIND_TEXT:
      return fl_value_new_string(text);
    case KORVANE_BRIDGE_FIELD_KIND_BYTES:
      return fl_value_new_uint8_list(bytes, round == 0 ? sizeof(bytes) : 0);
    case KORVANE_BRIDGE_FIELD_KIND_RECORD:
      break;
  }
  ADD_FAILURE() << "no record holds a record";
  return fl_value_new_null();
}

// `value` as a record's text form shows it.
std::string ValueText(FlValue* value) {
  switch (fl_value_get_type(value)) {
    case FL_VALUE_TYPE_STRING:
      return std::string("\"") + fl_value_get_string(value) + "\"";
    case FL_VALUE_TYPE_CUSTOM:
      return ValueText(static_cast<FlValue*>(
          const_cast<gpointer>(fl_value_get_custom_value(value))));
    default: {
      g_autofree gchar* text = fl_value_to_string(value);
      return text;
    }
  }
}

// Each field of every record comes out under its own name in the text form
// and goes back on the wire at its own place in the list.
TEST(KorvaneBridgeRecordsTest, EveryFieldOfTheSchemaKeepsItsNameValueAndPlace) {
  for (size_t r = 0; r < korvane_bridge_record_description_count; r++) {
    const KorvaneBridgeRecordDescription& record =
        korvane_bridge_record_descriptions[r];
    for (int round : {0, 1}) {
      SCOPED_TRACE(std::string(record.name) + " round " +
                   std::to_string(round));
      std::string text = std::string(record.name) + "(";
      Bytes expected;
      GObject* built = nullptr;
      {
        g_autoptr(FlValue) fields = fl_value_new_list();
        int booleans = 0;
        for (size_t i = 0; i < record.field_count; i++) {
          FlValue* value = FieldValue(record.fields[i], i, round, &booleans);
          text += (i == 0 ? "" : ", ") + std::string(record.fields[i].name) +
                  ": " + ValueText(value);
          fl_value_append_take(fields, value);
        }
        // [null, fields] becomes [record] by its first two bytes, doubles'
        // padding too.
        g_autoptr(FlValue) behind_null =
            List({fl_value_new_null(), fl_value_ref(fields)});
        expected = Encode(behind_null);
        expected[1] = 1;
        expected[2] = record.type_code;
        built = korvane_bridge_record_new_from_list(record.type_code, fields);
      }  // the record holds copies of its texts and bytes
      ASSERT_NE(built, nullptr);
      g_autoptr(FlValue) as_record =
          List({fl_value_new_custom_object_take(record.type_code, built)});
      EXPECT_EQ(DescribeValue(fl_value_get_list_value(as_record, 0)),
                text + ")");
      EXPECT_EQ(Encode(as_record), expected);
      g_autoptr(FlValue) decoded = Decode(expected);
      ASSERT_NE(decoded, nullptr);
      EXPECT_EQ(Encode(decoded), expected);
    }
  }
}

TEST(KorvaneBridgeRecordsTest, EqualityAndHashOfIdentityDoublesTextsAndBytes) {
  g_autoptr(KorvaneBridgeNativeRumbleEvent) a =
      korvane_bridge_native_rumble_event_new(1, 2, 3);
  g_autoptr(KorvaneBridgeNativeRumbleEvent) b =
      korvane_bridge_native_rumble_event_new(1, 2, 3);
  // Differs above the low 32 bits only.
  g_autoptr(KorvaneBridgeNativeRumbleEvent) c =
      korvane_bridge_native_rumble_event_new(1, 2, 3 + (INT64_C(1) << 32));
  EXPECT_TRUE(korvane_bridge_native_rumble_event_equals(a, b));
  EXPECT_FALSE(korvane_bridge_native_rumble_event_equals(a, c));
  EXPECT_TRUE(korvane_bridge_native_rumble_event_equals(nullptr, nullptr));
  EXPECT_FALSE(korvane_bridge_native_rumble_event_equals(a, nullptr));
  EXPECT_FALSE(korvane_bridge_native_rumble_event_equals(nullptr, a));

  // NaN equals itself and +0.0 equals -0.0, each hashing alike.
  auto stylus = [](double u) {
    return korvane_bridge_native_stylus_injection_request_new(
        0, u, 0, KORVANE_BRIDGE_STYLUS_PHASE_DOWN, FALSE);
  };
  g_autoptr(KorvaneBridgeNativeStylusInjectionRequest) nan_a = stylus(NAN);
  g_autoptr(KorvaneBridgeNativeStylusInjectionRequest) nan_b = stylus(NAN);
  g_autoptr(KorvaneBridgeNativeStylusInjectionRequest) plus = stylus(0.0);
  g_autoptr(KorvaneBridgeNativeStylusInjectionRequest) minus = stylus(-0.0);
  EXPECT_TRUE(
      korvane_bridge_native_stylus_injection_request_equals(nan_a, nan_b));
  EXPECT_EQ(korvane_bridge_native_stylus_injection_request_hash(nan_a),
            korvane_bridge_native_stylus_injection_request_hash(nan_b));
  EXPECT_TRUE(
      korvane_bridge_native_stylus_injection_request_equals(plus, minus));
  EXPECT_EQ(korvane_bridge_native_stylus_injection_request_hash(plus),
            korvane_bridge_native_stylus_injection_request_hash(minus));
  EXPECT_FALSE(
      korvane_bridge_native_stylus_injection_request_equals(nan_a, plus));

  // Absent and empty differ; for bytes they hash alike.
  g_autoptr(KorvaneBridgeNativeDriverHealth) absent =
      korvane_bridge_native_driver_health_new(
          KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY, "", 0, TRUE, nullptr);
  g_autoptr(KorvaneBridgeNativeDriverHealth) empty =
      korvane_bridge_native_driver_health_new(
          KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY, "", 0, TRUE, "");
  EXPECT_FALSE(korvane_bridge_native_driver_health_equals(absent, empty));
  const uint8_t jpeg[] = {0};
  g_autoptr(KorvaneBridgeCapturedWindowFrame) no_bytes =
      korvane_bridge_captured_window_frame_new(1, jpeg, 0, 0, 0, 0, 0, 0, FALSE,
                                               FALSE);
  g_autoptr(KorvaneBridgeCapturedWindowFrame) missing =
      korvane_bridge_captured_window_frame_new(1, nullptr, 0, 0, 0, 0, 0, 0,
                                               FALSE, FALSE);
  EXPECT_FALSE(korvane_bridge_captured_window_frame_equals(no_bytes, missing));
  EXPECT_EQ(korvane_bridge_captured_window_frame_hash(no_bytes),
            korvane_bridge_captured_window_frame_hash(missing));
}

TEST(KorvaneBridgeRecordsTest, WrongInstanceGivesOneCriticalAndNeutralResult) {
  g_autoptr(KorvaneBridgeNativeRumbleEvent) rumble =
      korvane_bridge_native_rumble_event_new(1, 2, 3);
  auto* not_a_frame =
      reinterpret_cast<KorvaneBridgeVirtualControllerFrame*>(rumble);
  auto* not_a_health =
      reinterpret_cast<KorvaneBridgeNativeDriverHealth*>(rumble);
  auto* not_a_capture =
      reinterpret_cast<KorvaneBridgeCapturedWindowFrame*>(rumble);

  LogCapture log;
  EXPECT_EQ(
      korvane_bridge_virtual_controller_frame_get_left_stick_x(not_a_frame), 0);
  EXPECT_EQ(log.Messages(G_LOG_LEVEL_CRITICAL).size(), 1u);
  EXPECT_EQ(korvane_bridge_virtual_controller_frame_get_gyro_yaw(not_a_frame),
            0.0);
  EXPECT_FALSE(
      korvane_bridge_virtual_controller_frame_get_home_button(not_a_frame));
  EXPECT_EQ(korvane_bridge_native_driver_health_get_backend_name(not_a_health),
            nullptr);
  size_t length = 42;
  EXPECT_EQ(korvane_bridge_captured_window_frame_get_jpeg_bytes(not_a_capture,
                                                                &length),
            nullptr);
  EXPECT_EQ(length, 42u) << "the length is left alone";
  EXPECT_EQ(korvane_bridge_native_driver_health_hash(nullptr), 0u);
  EXPECT_EQ(korvane_bridge_native_driver_health_to_string(not_a_health),
            nullptr);
  g_autoptr(KorvaneBridgeNativeDriverHealth) health =
      korvane_bridge_native_driver_health_new(
          KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY, "", 0, TRUE, nullptr);
  EXPECT_FALSE(korvane_bridge_native_driver_health_equals(health, not_a_health))
      << "comparing with a record of another type is refused";
  EXPECT_EQ(log.Messages(G_LOG_LEVEL_CRITICAL).size(), 8u);
}

}  // namespace
