#include <gtest/gtest.h>

#include <cmath>

#include "korvane_native_bridge.g.h"
#include "log_capture.h"

namespace {

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

TEST(KorvaneBridgeRecordsTest, GettersReturnWhatTheConstructorWasGiven) {
  const uint8_t bytes[] = {1, 2, 3};
  g_autoptr(KorvaneBridgeCapturedWindowFrame) frame =
      korvane_bridge_captured_window_frame_new(10, bytes, 3, 11, 12, 13, 14,
                                               15, TRUE, FALSE);
  size_t length = 0;
  const uint8_t* jpeg =
      korvane_bridge_captured_window_frame_get_jpeg_bytes(frame, &length);
  ASSERT_EQ(length, 3u);
  EXPECT_NE(jpeg, bytes) << "the record keeps its own copy";
  EXPECT_EQ(jpeg[2], 3);
  EXPECT_EQ(korvane_bridge_captured_window_frame_get_encoded_height(frame), 14);
  EXPECT_TRUE(korvane_bridge_captured_window_frame_get_is_unchanged(frame));

  gchar text[] = "stick";
  g_autoptr(KorvaneBridgeVirtualControllerMountRequest) request =
      korvane_bridge_virtual_controller_mount_request_new(
          1, static_cast<KorvaneBridgeNativeGamepadPersona>(7), text, "Pad",
          FALSE, TRUE);
  text[0] = 'S';
  EXPECT_STREQ(
      korvane_bridge_virtual_controller_mount_request_get_device_id(request),
      "stick");
  EXPECT_EQ(korvane_bridge_virtual_controller_mount_request_get_persona(request),
            7) << "enumerations are stored unchecked";
  EXPECT_TRUE(
      korvane_bridge_virtual_controller_mount_request_get_enable_rumble(request));

  g_autoptr(KorvaneBridgeVirtualControllerFrame) pad = Frame(3, 0.5, INT64_MAX);
  EXPECT_EQ(korvane_bridge_virtual_controller_frame_get_timestamp_us(pad),
            INT64_MAX);
  EXPECT_EQ(korvane_bridge_virtual_controller_frame_get_gyro_pitch(pad), 0.5);
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
          "say \"hi\"", KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CHORD_F5, nullptr,
          FALSE, TRUE, FALSE, TRUE);
  EXPECT_EQ(Text(korvane_bridge_native_deck_action_request_to_string(deck)),
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
  std::string empty_text = Text(korvane_bridge_captured_window_frame_to_string(empty));
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
  auto* not_a_frame = reinterpret_cast<KorvaneBridgeVirtualControllerFrame*>(rumble);
  auto* not_a_health = reinterpret_cast<KorvaneBridgeNativeDriverHealth*>(rumble);
  auto* not_a_capture = reinterpret_cast<KorvaneBridgeCapturedWindowFrame*>(rumble);

  LogCapture log;
  EXPECT_EQ(korvane_bridge_virtual_controller_frame_get_left_stick_x(not_a_frame), 0);
  ASSERT_EQ(log.Messages(G_LOG_LEVEL_CRITICAL).size(), 1u);
  const std::string critical = log.Messages(G_LOG_LEVEL_CRITICAL)[0];
  EXPECT_NE(critical.find("korvane_bridge_virtual_controller_frame_get_left_stick_x"),
            std::string::npos);
  EXPECT_NE(critical.find("KORVANE_BRIDGE_IS_VIRTUAL_CONTROLLER_FRAME(self)"),
            std::string::npos);

  EXPECT_EQ(korvane_bridge_virtual_controller_frame_get_gyro_yaw(not_a_frame), 0.0);
  EXPECT_FALSE(korvane_bridge_virtual_controller_frame_get_home_button(not_a_frame));
  EXPECT_EQ(korvane_bridge_native_driver_health_get_readiness(not_a_health), 0);
  EXPECT_EQ(korvane_bridge_native_driver_health_get_backend_name(not_a_health),
            nullptr);
  size_t length = 42;
  EXPECT_EQ(korvane_bridge_captured_window_frame_get_jpeg_bytes(not_a_capture, &length),
            nullptr);
  EXPECT_EQ(length, 42u) << "the length is left alone";
  EXPECT_EQ(korvane_bridge_virtual_controller_frame_hash(nullptr), 0u);
  EXPECT_EQ(korvane_bridge_virtual_controller_frame_to_string(not_a_frame), nullptr);
  g_autoptr(KorvaneBridgeVirtualControllerFrame) frame = Frame(1, 0);
  EXPECT_FALSE(korvane_bridge_virtual_controller_frame_equals(frame, not_a_frame))
      << "comparing a record of another type is refused";
  EXPECT_EQ(log.Messages(G_LOG_LEVEL_CRITICAL).size(), 9u);
}

}  // namespace
