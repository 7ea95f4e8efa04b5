#include <gtest/gtest.h>

#include <cmath>

#include "bridge_test_support.h"
#include "log_capture.h"

namespace {

using bridge_testing::Bytes;
using bridge_testing::Decode;
using bridge_testing::Encode;
using flutter_testing::LogCapture;

// A frame whose fields are all zero but the ones given.
KorvaneBridgeVirtualControllerFrame* Frame(int64_t player_number,
                                           double gyro_pitch,
                                           int64_t timestamp_us = 0) {
  return korvane_bridge_virtual_controller_frame_new(
      player_number, 0, 0, FALSE, FALSE, 0, 0, 0, 0, 0, 0, gyro_pitch, 0, 0, 0,
      0, 0, timestamp_us, FALSE, 0, 0, 0, FALSE, 0, 0, 0);
}

std::string Text(gchar* text) {
  std::string result = text != nullptr ? text : "(null)";
  g_free(text);
  return result;
}

// What went into a record's constructor, and what its getter gave back.
struct Field {
  FlValue* given;
  FlValue* got;
};

FlValue* Int(int64_t value) {
  return fl_value_new_int(value);
}
FlValue* Float(double value) {
  return fl_value_new_float(value);
}
FlValue* Bool(gboolean value) {
  return fl_value_new_bool(value);
}
FlValue* String(const gchar* value) {
  return value != nullptr ? fl_value_new_string(value) : fl_value_new_null();
}
FlValue* Uint8List(const uint8_t* data, size_t length) {
  return fl_value_new_uint8_list(data, length);
}

// An enumeration on the wire is a custom value around its integer.
FlValue* Unwrapped(FlValue* element) {
  return fl_value_get_type(element) == FL_VALUE_TYPE_CUSTOM
             ? static_cast<FlValue*>(
                   const_cast<gpointer>(fl_value_get_custom_value(element)))
             : element;
}

// Each field's getter gives back what the constructor got, and the field sits
// at its own position in the record's list on the wire.
void ExpectFields(int code,
                  gpointer record,
                  std::initializer_list<Field> fields) {
  SCOPED_TRACE(code);
  g_autoptr(FlValue) value = fl_value_new_custom_object(code, G_OBJECT(record));
  Bytes bytes = Encode(value);
  ASSERT_EQ(bytes[0], code);
  // The record's list, read in place: doubles are aligned to the message.
  g_autoptr(FlStandardMessageCodec) codec = FL_STANDARD_MESSAGE_CODEC(
      g_object_new(korvane_bridge_message_codec_get_type(), nullptr));
  g_autoptr(GBytes) buffer = flutter_testing::ToGBytes(bytes);
  size_t offset = 1;
  g_autoptr(FlValue) wire =
      fl_standard_message_codec_read_value(codec, buffer, &offset, nullptr);
  ASSERT_NE(wire, nullptr);
  ASSERT_EQ(fl_value_get_length(wire), fields.size());
  size_t position = 0;
  for (const Field& field : fields) {
    g_autoptr(FlValue) given = field.given;
    g_autoptr(FlValue) got = field.got;
    EXPECT_TRUE(fl_value_equal(got, given)) << "getter of field " << position;
    EXPECT_TRUE(fl_value_equal(
        Unwrapped(fl_value_get_list_value(wire, position)), given))
        << "wire position " << position;
    position++;
  }
  g_autoptr(FlValue) decoded = Decode(bytes);
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(Encode(decoded), bytes);
}

// Every field gets a value that no other field of its record has: integers
// and enumerations 100 plus their position (out of every enumeration's
// range), doubles that plus a half, texts "f" and their position. Booleans
// have two values only, so a second round flips them in another pattern.
TEST(KorvaneBridgeRecordsTest, EveryFieldKeepsItsValueAndWirePosition) {
  for (int round : {0, 1}) {
    SCOPED_TRACE(round);
    auto flag = [round](int bool_index) -> gboolean {
      return (bool_index >> round) & 1;
    };

    auto* health = korvane_bridge_native_driver_health_new(
        static_cast<KorvaneBridgeNativeDriverReadiness>(100), "f1", 102,
        flag(1), "f4");
    ExpectFields(
        134, health,
        {{Int(100),
          Int(korvane_bridge_native_driver_health_get_readiness(health))},
         {String("f1"),
          String(korvane_bridge_native_driver_health_get_backend_name(health))},
         {Int(102),
          Int(korvane_bridge_native_driver_health_get_mounted_controller_count(
              health))},
         {Bool(flag(1)),
          Bool(
              korvane_bridge_native_driver_health_get_can_inject_mouse_and_keyboard(
                  health))},
         {String("f4"),
          String(korvane_bridge_native_driver_health_get_status_message(
              health))}});
    g_object_unref(health);

    gchar device_id[] = "f2";
    auto* mount = korvane_bridge_virtual_controller_mount_request_new(
        100, static_cast<KorvaneBridgeNativeGamepadPersona>(101), device_id,
        "f3", flag(1), flag(2));
    device_id[0] = 'x';  // the record holds a copy
    ExpectFields(
        135, mount,
        {{Int(100),
          Int(korvane_bridge_virtual_controller_mount_request_get_player_number(
              mount))},
         {Int(101),
          Int(korvane_bridge_virtual_controller_mount_request_get_persona(
              mount))},
         {String("f2"),
          String(korvane_bridge_virtual_controller_mount_request_get_device_id(
              mount))},
         {String("f3"),
          String(
              korvane_bridge_virtual_controller_mount_request_get_display_name(
                  mount))},
         {Bool(flag(1)),
          Bool(
              korvane_bridge_virtual_controller_mount_request_get_enable_gyroscope(
                  mount))},
         {Bool(flag(2)),
          Bool(
              korvane_bridge_virtual_controller_mount_request_get_enable_rumble(
                  mount))}});
    g_object_unref(mount);

    auto* frame = korvane_bridge_virtual_controller_frame_new(
        100, 101, 102, flag(1), flag(2), 105, 106, 107, 108, 109, 110, 111.5,
        112.5, 113.5, 114.5, 115.5, 116.5, 117, flag(3), 119, 120, 121, flag(0),
        123, 124, 125);
    ExpectFields(
        136, frame,
        {{Int(100),
          Int(korvane_bridge_virtual_controller_frame_get_player_number(
              frame))},
         {Int(101),
          Int(korvane_bridge_virtual_controller_frame_get_button_mask1(frame))},
         {Int(102),
          Int(korvane_bridge_virtual_controller_frame_get_button_mask2(frame))},
         {Bool(flag(1)),
          Bool(korvane_bridge_virtual_controller_frame_get_home_button(frame))},
         {Bool(flag(2)),
          Bool(korvane_bridge_virtual_controller_frame_get_touch_click_button(
              frame))},
         {Int(105),
          Int(korvane_bridge_virtual_controller_frame_get_left_stick_x(frame))},
         {Int(106),
          Int(korvane_bridge_virtual_controller_frame_get_left_stick_y(frame))},
         {Int(107),
          Int(korvane_bridge_virtual_controller_frame_get_right_stick_x(
              frame))},
         {Int(108),
          Int(korvane_bridge_virtual_controller_frame_get_right_stick_y(
              frame))},
         {Int(109),
          Int(korvane_bridge_virtual_controller_frame_get_l2_analog(frame))},
         {Int(110),
          Int(korvane_bridge_virtual_controller_frame_get_r2_analog(frame))},
         {Float(111.5),
          Float(korvane_bridge_virtual_controller_frame_get_gyro_pitch(frame))},
         {Float(112.5),
          Float(korvane_bridge_virtual_controller_frame_get_gyro_yaw(frame))},
         {Float(113.5),
          Float(korvane_bridge_virtual_controller_frame_get_gyro_roll(frame))},
         {Float(114.5),
          Float(korvane_bridge_virtual_controller_frame_get_accel_x(frame))},
         {Float(115.5),
          Float(korvane_bridge_virtual_controller_frame_get_accel_y(frame))},
         {Float(116.5),
          Float(korvane_bridge_virtual_controller_frame_get_accel_z(frame))},
         {Int(117),
          Int(korvane_bridge_virtual_controller_frame_get_timestamp_us(frame))},
         {Bool(flag(3)),
          Bool(korvane_bridge_virtual_controller_frame_get_touch1_active(
              frame))},
         {Int(119),
          Int(korvane_bridge_virtual_controller_frame_get_touch1_id(frame))},
         {Int(120),
          Int(korvane_bridge_virtual_controller_frame_get_touch1_x(frame))},
         {Int(121),
          Int(korvane_bridge_virtual_controller_frame_get_touch1_y(frame))},
         {Bool(flag(0)),
          Bool(korvane_bridge_virtual_controller_frame_get_touch2_active(
              frame))},
         {Int(123),
          Int(korvane_bridge_virtual_controller_frame_get_touch2_id(frame))},
         {Int(124),
          Int(korvane_bridge_virtual_controller_frame_get_touch2_x(frame))},
         {Int(125),
          Int(korvane_bridge_virtual_controller_frame_get_touch2_y(frame))}});
    g_object_unref(frame);

    auto* rumble = korvane_bridge_native_rumble_event_new(100, 101, 102);
    ExpectFields(
        137, rumble,
        {{Int(100),
          Int(korvane_bridge_native_rumble_event_get_player_number(rumble))},
         {Int(101),
          Int(korvane_bridge_native_rumble_event_get_left_motor_intensity(
              rumble))},
         {Int(102),
          Int(korvane_bridge_native_rumble_event_get_right_motor_intensity(
              rumble))}});
    g_object_unref(rumble);

    auto* led = korvane_bridge_native_player_led_event_new(100, 101, 102, 103);
    ExpectFields(
        138, led,
        {{Int(100),
          Int(korvane_bridge_native_player_led_event_get_player_number(led))},
         {Int(101), Int(korvane_bridge_native_player_led_event_get_red(led))},
         {Int(102), Int(korvane_bridge_native_player_led_event_get_green(led))},
         {Int(103),
          Int(korvane_bridge_native_player_led_event_get_blue(led))}});
    g_object_unref(led);

    auto* deck = korvane_bridge_native_deck_action_request_new(
        "f0", static_cast<KorvaneBridgeNativeDeckActionType>(101), "f2",
        flag(1), flag(2), flag(3), flag(0));
    ExpectFields(
        139, deck,
        {{String("f0"),
          String(
              korvane_bridge_native_deck_action_request_get_action_id(deck))},
         {Int(101),
          Int(korvane_bridge_native_deck_action_request_get_action_type(deck))},
         {String("f2"),
          String(korvane_bridge_native_deck_action_request_get_custom_key_code(
              deck))},
         {Bool(flag(1)),
          Bool(korvane_bridge_native_deck_action_request_get_ctrl_modifier(
              deck))},
         {Bool(flag(2)),
          Bool(korvane_bridge_native_deck_action_request_get_alt_modifier(
              deck))},
         {Bool(flag(3)),
          Bool(korvane_bridge_native_deck_action_request_get_shift_modifier(
              deck))},
         {Bool(flag(0)),
          Bool(korvane_bridge_native_deck_action_request_get_meta_modifier(
              deck))}});
    g_object_unref(deck);

    auto* telemetry = korvane_bridge_native_system_telemetry_snapshot_new(
        flag(1), flag(2), "f2", "f3", "f4", "f5", 106, flag(3), 108);
    ExpectFields(
        140, telemetry,
        {{Bool(flag(1)),
          Bool(
              korvane_bridge_native_system_telemetry_snapshot_get_has_active_media(
                  telemetry))},
         {Bool(flag(2)),
          Bool(korvane_bridge_native_system_telemetry_snapshot_get_is_playing(
              telemetry))},
         {String("f2"),
          String(
              korvane_bridge_native_system_telemetry_snapshot_get_track_title(
                  telemetry))},
         {String("f3"),
          String(
              korvane_bridge_native_system_telemetry_snapshot_get_artist_name(
                  telemetry))},
         {String("f4"),
          String(korvane_bridge_native_system_telemetry_snapshot_get_album_name(
              telemetry))},
         {String("f5"),
          String(
              korvane_bridge_native_system_telemetry_snapshot_get_source_app_name(
                  telemetry))},
         {Int(106),
          Int(korvane_bridge_native_system_telemetry_snapshot_get_volume_percent(
              telemetry))},
         {Bool(flag(3)),
          Bool(korvane_bridge_native_system_telemetry_snapshot_get_is_muted(
              telemetry))},
         {Int(108),
          Int(korvane_bridge_native_system_telemetry_snapshot_get_cpu_usage_percent(
              telemetry))}});
    g_object_unref(telemetry);

    auto* window = korvane_bridge_capturable_window_info_new(
        100, "f1", "f2", "f3", 104, 105, flag(1), flag(2));
    ExpectFields(
        141, window,
        {{Int(100),
          Int(korvane_bridge_capturable_window_info_get_window_id(window))},
         {String("f1"),
          String(
              korvane_bridge_capturable_window_info_get_window_title(window))},
         {String("f2"),
          String(korvane_bridge_capturable_window_info_get_owner_app_name(
              window))},
         {String("f3"),
          String(korvane_bridge_capturable_window_info_get_bundle_or_exe_id(
              window))},
         {Int(104),
          Int(korvane_bridge_capturable_window_info_get_width(window))},
         {Int(105),
          Int(korvane_bridge_capturable_window_info_get_height(window))},
         {Bool(flag(1)),
          Bool(korvane_bridge_capturable_window_info_get_is_on_screen(window))},
         {Bool(flag(2)),
          Bool(korvane_bridge_capturable_window_info_get_is_emulator_candidate(
              window))}});
    g_object_unref(window);

    auto* config = korvane_bridge_second_screen_capture_config_new(
        100, 101, 102, 103, 104);
    ExpectFields(
        142, config,
        {{Int(100),
          Int(korvane_bridge_second_screen_capture_config_get_window_id(
              config))},
         {Int(101),
          Int(korvane_bridge_second_screen_capture_config_get_target_width(
              config))},
         {Int(102),
          Int(korvane_bridge_second_screen_capture_config_get_target_height(
              config))},
         {Int(103),
          Int(korvane_bridge_second_screen_capture_config_get_jpeg_quality(
              config))},
         {Int(104),
          Int(korvane_bridge_second_screen_capture_config_get_previous_frame_hash(
              config))}});
    g_object_unref(config);

    const uint8_t jpeg[] = {1, 255};
    auto* captured = korvane_bridge_captured_window_frame_new(
        100, jpeg, sizeof(jpeg), 102, 103, 104, 105, 106, flag(1), flag(2));
    size_t length = 0;
    const uint8_t* jpeg_copy =
        korvane_bridge_captured_window_frame_get_jpeg_bytes(captured, &length);
    EXPECT_NE(jpeg_copy, jpeg) << "the record holds a copy";
    ExpectFields(
        143, captured,
        {{Int(100),
          Int(korvane_bridge_captured_window_frame_get_window_id(captured))},
         {Uint8List(jpeg, sizeof(jpeg)), Uint8List(jpeg_copy, length)},
         {Int(102),
          Int(korvane_bridge_captured_window_frame_get_source_width(captured))},
         {Int(103), Int(korvane_bridge_captured_window_frame_get_source_height(
                        captured))},
         {Int(104), Int(korvane_bridge_captured_window_frame_get_encoded_width(
                        captured))},
         {Int(105), Int(korvane_bridge_captured_window_frame_get_encoded_height(
                        captured))},
         {Int(106),
          Int(korvane_bridge_captured_window_frame_get_frame_hash(captured))},
         {Bool(flag(1)),
          Bool(
              korvane_bridge_captured_window_frame_get_is_unchanged(captured))},
         {Bool(flag(2)),
          Bool(korvane_bridge_captured_window_frame_get_is_window_closed(
              captured))}});
    g_object_unref(captured);

    auto* stylus = korvane_bridge_native_stylus_injection_request_new(
        100, 101.5, 102.5, static_cast<KorvaneBridgeStylusPhase>(103), flag(1));
    ExpectFields(
        144, stylus,
        {{Int(100),
          Int(korvane_bridge_native_stylus_injection_request_get_window_id(
              stylus))},
         {Float(101.5),
          Float(korvane_bridge_native_stylus_injection_request_get_normalized_u(
              stylus))},
         {Float(102.5),
          Float(korvane_bridge_native_stylus_injection_request_get_normalized_v(
              stylus))},
         {Int(103),
          Int(korvane_bridge_native_stylus_injection_request_get_phase(
              stylus))},
         {Bool(flag(1)),
          Bool(
              korvane_bridge_native_stylus_injection_request_get_restore_cursor_on_release(
                  stylus))}});
    g_object_unref(stylus);
  }
}

TEST(KorvaneBridgeRecordsTest, EqualityOfIdentityAndAbsence) {
  g_autoptr(KorvaneBridgeNativeRumbleEvent) a =
      korvane_bridge_native_rumble_event_new(1, 2, 3);
  g_autoptr(KorvaneBridgeNativeRumbleEvent) b =
      korvane_bridge_native_rumble_event_new(1, 2, 3);
  g_autoptr(KorvaneBridgeNativeRumbleEvent) c =
      korvane_bridge_native_rumble_event_new(1, 2, 4);
  EXPECT_TRUE(korvane_bridge_native_rumble_event_equals(a, a));
  EXPECT_TRUE(korvane_bridge_native_rumble_event_equals(a, b));
  EXPECT_FALSE(korvane_bridge_native_rumble_event_equals(a, c));
  EXPECT_TRUE(korvane_bridge_native_rumble_event_equals(nullptr, nullptr));
  EXPECT_FALSE(korvane_bridge_native_rumble_event_equals(a, nullptr));
  EXPECT_FALSE(korvane_bridge_native_rumble_event_equals(nullptr, a));
}

TEST(KorvaneBridgeRecordsTest, DoublesCompareByValueWithNaNEqualToItself) {
  g_autoptr(KorvaneBridgeVirtualControllerFrame) nan_a = Frame(1, NAN);
  g_autoptr(KorvaneBridgeVirtualControllerFrame) nan_b = Frame(1, NAN);
  EXPECT_TRUE(korvane_bridge_virtual_controller_frame_equals(nan_a, nan_b));
  EXPECT_EQ(korvane_bridge_virtual_controller_frame_hash(nan_a),
            korvane_bridge_virtual_controller_frame_hash(nan_b));

  g_autoptr(KorvaneBridgeVirtualControllerFrame) plus = Frame(1, 0.0);
  g_autoptr(KorvaneBridgeVirtualControllerFrame) minus = Frame(1, -0.0);
  EXPECT_TRUE(korvane_bridge_virtual_controller_frame_equals(plus, minus));
  EXPECT_EQ(korvane_bridge_virtual_controller_frame_hash(plus),
            korvane_bridge_virtual_controller_frame_hash(minus));

  EXPECT_FALSE(korvane_bridge_virtual_controller_frame_equals(nan_a, plus));
}

TEST(KorvaneBridgeRecordsTest, HashFoldsFieldsInOrder) {
  g_autoptr(KorvaneBridgeNativeRumbleEvent) rumble =
      korvane_bridge_native_rumble_event_new(1, 2, 3);
  EXPECT_EQ(korvane_bridge_native_rumble_event_hash(rumble), 1026u);

  // 1.0 contributes 0x3FF00000 (its high word; the low word is zero).
  g_autoptr(KorvaneBridgeNativeStylusInjectionRequest) stylus =
      korvane_bridge_native_stylus_injection_request_new(
          0, 1.0, 0.0, KORVANE_BRIDGE_STYLUS_PHASE_DOWN, FALSE);
  guint expected = 0x3FF00000u * 31u * 31u * 31u;
  EXPECT_EQ(korvane_bridge_native_stylus_injection_request_hash(stylus),
            expected);

  // Only the low 32 bits of an integer are hashed, but equality sees all 64.
  g_autoptr(KorvaneBridgeVirtualControllerFrame) low = Frame(5, 0, 7);
  g_autoptr(KorvaneBridgeVirtualControllerFrame) high =
      Frame(5, 0, 7 + (INT64_C(1) << 32));
  EXPECT_FALSE(korvane_bridge_virtual_controller_frame_equals(low, high));
  EXPECT_EQ(korvane_bridge_virtual_controller_frame_hash(low),
            korvane_bridge_virtual_controller_frame_hash(high));
}

TEST(KorvaneBridgeRecordsTest, AbsentAndEmptyTextDiffer) {
  g_autoptr(KorvaneBridgeNativeDriverHealth) absent =
      korvane_bridge_native_driver_health_new(
          KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY, "uinput", 0, TRUE,
          nullptr);
  g_autoptr(KorvaneBridgeNativeDriverHealth) empty =
      korvane_bridge_native_driver_health_new(
          KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY, "uinput", 0, TRUE, "");
  EXPECT_FALSE(korvane_bridge_native_driver_health_equals(absent, empty));
  EXPECT_EQ(korvane_bridge_native_driver_health_get_status_message(absent),
            nullptr);
  EXPECT_EQ(Text(korvane_bridge_native_driver_health_to_string(absent)),
            "NativeDriverHealth(readiness: 0, backend_name: \"uinput\", "
            "mounted_controller_count: 0, can_inject_mouse_and_keyboard: true, "
            "status_message: null)");
  EXPECT_EQ(Text(korvane_bridge_native_driver_health_to_string(empty)),
            "NativeDriverHealth(readiness: 0, backend_name: \"uinput\", "
            "mounted_controller_count: 0, can_inject_mouse_and_keyboard: true, "
            "status_message: \"\")");
}

TEST(KorvaneBridgeRecordsTest, TextForms) {
  g_autoptr(KorvaneBridgeNativeRumbleEvent) rumble =
      korvane_bridge_native_rumble_event_new(1, 2, 3);
  EXPECT_EQ(Text(korvane_bridge_native_rumble_event_to_string(rumble)),
            "NativeRumbleEvent(player_number: 1, left_motor_intensity: 2, "
            "right_motor_intensity: 3)");

  // Texts are quoted, not escaped.
  g_autoptr(KorvaneBridgeNativeDeckActionRequest) deck =
      korvane_bridge_native_deck_action_request_new(
          "say \"hi\"", KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CHORD_F5,
          nullptr, FALSE, TRUE, FALSE, TRUE);
  EXPECT_EQ(
      Text(korvane_bridge_native_deck_action_request_to_string(deck)),
      "NativeDeckActionRequest(action_id: \"say \"hi\"\", action_type: 13, "
      "custom_key_code: null, ctrl_modifier: false, alt_modifier: true, "
      "shift_modifier: false, meta_modifier: true)");

  g_autoptr(KorvaneBridgeNativeStylusInjectionRequest) stylus =
      korvane_bridge_native_stylus_injection_request_new(
          -1, 0.5, 1e-7, KORVANE_BRIDGE_STYLUS_PHASE_MOVE, TRUE);
  EXPECT_EQ(
      Text(korvane_bridge_native_stylus_injection_request_to_string(stylus)),
      "NativeStylusInjectionRequest(window_id: -1, normalized_u: 0.5, "
      "normalized_v: 1e-07, phase: 1, restore_cursor_on_release: true)");
}

TEST(KorvaneBridgeRecordsTest, ByteArraysPresentEmptyOrAbsent) {
  const uint8_t bytes[] = {0, 255};
  g_autoptr(KorvaneBridgeCapturedWindowFrame) two =
      korvane_bridge_captured_window_frame_new(1, bytes, 2, 0, 0, 0, 0, 0,
                                               FALSE, FALSE);
  g_autoptr(KorvaneBridgeCapturedWindowFrame) empty =
      korvane_bridge_captured_window_frame_new(1, bytes, 0, 0, 0, 0, 0, 0,
                                               FALSE, FALSE);
  g_autoptr(KorvaneBridgeCapturedWindowFrame) absent =
      korvane_bridge_captured_window_frame_new(1, nullptr, 0, 0, 0, 0, 0, 0,
                                               FALSE, FALSE);
  EXPECT_EQ(Text(korvane_bridge_captured_window_frame_to_string(two)),
            "CapturedWindowFrame(window_id: 1, jpeg_bytes: [0, 255], "
            "source_width: 0, source_height: 0, encoded_width: 0, "
            "encoded_height: 0, frame_hash: 0, is_unchanged: false, "
            "is_window_closed: false)");
  std::string empty_text =
      Text(korvane_bridge_captured_window_frame_to_string(empty));
  EXPECT_NE(empty_text.find("jpeg_bytes: []"), std::string::npos);
  std::string absent_text =
      Text(korvane_bridge_captured_window_frame_to_string(absent));
  EXPECT_NE(absent_text.find("jpeg_bytes: null"), std::string::npos);

  // An empty array is folded in as nothing at all.
  EXPECT_EQ(korvane_bridge_captured_window_frame_hash(empty),
            korvane_bridge_captured_window_frame_hash(absent));
  EXPECT_FALSE(korvane_bridge_captured_window_frame_equals(empty, absent));
  EXPECT_FALSE(korvane_bridge_captured_window_frame_equals(two, empty));
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
  ASSERT_EQ(log.Messages(G_LOG_LEVEL_CRITICAL).size(), 1u);
  const std::string critical = log.Messages(G_LOG_LEVEL_CRITICAL)[0];
  EXPECT_NE(
      critical.find("korvane_bridge_virtual_controller_frame_get_left_stick_x"),
      std::string::npos);
  EXPECT_NE(critical.find("KORVANE_BRIDGE_IS_VIRTUAL_CONTROLLER_FRAME(self)"),
            std::string::npos);

  EXPECT_EQ(korvane_bridge_virtual_controller_frame_get_gyro_yaw(not_a_frame),
            0.0);
  EXPECT_FALSE(
      korvane_bridge_virtual_controller_frame_get_home_button(not_a_frame));
  EXPECT_EQ(korvane_bridge_native_driver_health_get_readiness(not_a_health), 0);
  EXPECT_EQ(korvane_bridge_native_driver_health_get_backend_name(not_a_health),
            nullptr);
  size_t length = 42;
  EXPECT_EQ(korvane_bridge_captured_window_frame_get_jpeg_bytes(not_a_capture,
                                                                &length),
            nullptr);
  EXPECT_EQ(length, 42u) << "the length is left alone";
  EXPECT_EQ(korvane_bridge_virtual_controller_frame_hash(nullptr), 0u);
  EXPECT_EQ(korvane_bridge_virtual_controller_frame_to_string(not_a_frame),
            nullptr);
  g_autoptr(KorvaneBridgeVirtualControllerFrame) frame = Frame(1, 0);
  EXPECT_FALSE(
      korvane_bridge_virtual_controller_frame_equals(frame, not_a_frame))
      << "comparing a record of another type is refused";
  EXPECT_EQ(log.Messages(G_LOG_LEVEL_CRITICAL).size(), 9u);
}

}  // namespace
