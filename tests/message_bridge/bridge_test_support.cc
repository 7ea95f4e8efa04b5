#include "bridge_test_support.h"

namespace bridge_testing {

namespace {

FlMessageCodec* NewCodec() {
  return FL_MESSAGE_CODEC(
      g_object_new(korvane_bridge_message_codec_get_type(), nullptr));
}

FlValue* Take(int code, gpointer record) {
  return fl_value_new_custom_object_take(code, G_OBJECT(record));
}

}  // namespace

Bytes Encode(FlValue* value) {
  g_autoptr(FlMessageCodec) codec = NewCodec();
  g_autoptr(GError) error = nullptr;
  g_autoptr(GBytes) bytes = fl_message_codec_encode_message(codec, value, &error);
  g_assert_no_error(error);
  return flutter_testing::ToBytes(bytes);
}

FlValue* Decode(const Bytes& bytes, int* error_code, std::string* error_message) {
  g_autoptr(FlMessageCodec) codec = NewCodec();
  g_autoptr(GBytes) message = flutter_testing::ToGBytes(bytes);
  g_autoptr(GError) error = nullptr;
  FlValue* value = fl_message_codec_decode_message(codec, message, &error);
  if (value == nullptr) {
    if (error_code != nullptr) {
      *error_code = error->code;
    }
    if (error_message != nullptr) {
      *error_message = error->message;
    }
  }
  return value;
}

FlValue* List(std::initializer_list<FlValue*> values) {
  FlValue* list = fl_value_new_list();
  for (FlValue* value : values) {
    fl_value_append_take(list, value);
  }
  return list;
}

FlValue* RecordValue(int code, gpointer record) {
  return fl_value_new_custom_object(code, G_OBJECT(record));
}

std::vector<FlValue*> SampleRecords() {
  const uint8_t jpeg[] = {0xff, 0xd8, 0x00, 0x7f, 0xd9};
  return {
      Take(korvane_bridge_native_driver_health_type_id,
           korvane_bridge_native_driver_health_new(
               KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_PERMISSION_REQUIRED,
               "uinput", 3, TRUE, "needs \"access\"")),
      Take(korvane_bridge_virtual_controller_mount_request_type_id,
           korvane_bridge_virtual_controller_mount_request_new(
               4, KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_NINTENDO_PRO_CONTROLLER,
               "device-9", "Pad ✓", TRUE, FALSE)),
      Take(korvane_bridge_virtual_controller_frame_type_id,
           korvane_bridge_virtual_controller_frame_new(
               2, 0x1234, 0x5, TRUE, FALSE, -32768, 32767, 1, -1, 255, 128,
               0.5, -0.25, 1e10, -0.0, 9.81, -1e-9,
               INT64_C(1765000000123456), TRUE, 7, 100, 200, FALSE, 8, 300,
               400)),
      Take(korvane_bridge_native_rumble_event_type_id,
           korvane_bridge_native_rumble_event_new(1, 200, 0)),
      Take(korvane_bridge_native_player_led_event_type_id,
           korvane_bridge_native_player_led_event_new(8, 255, 16, 0)),
      Take(korvane_bridge_native_deck_action_request_type_id,
           korvane_bridge_native_deck_action_request_new(
               "action-1", KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CUSTOM_CHORD,
               "F13", TRUE, FALSE, TRUE, FALSE)),
      Take(korvane_bridge_native_system_telemetry_snapshot_type_id,
           korvane_bridge_native_system_telemetry_snapshot_new(
               TRUE, FALSE, "Track", "Artist", "", "player", 45, TRUE, 12)),
      Take(korvane_bridge_capturable_window_info_type_id,
           korvane_bridge_capturable_window_info_new(
               0x1e00004, "Title", "app", "org.example.App", 1920, 1080, TRUE,
               FALSE)),
      Take(korvane_bridge_second_screen_capture_config_type_id,
           korvane_bridge_second_screen_capture_config_new(
               0x1e00004, 640, 360, 70, INT64_C(-5000000000))),
      Take(korvane_bridge_captured_window_frame_type_id,
           korvane_bridge_captured_window_frame_new(0x1e00004, jpeg,
                                                   sizeof(jpeg), 1920, 1080,
                                                   640, 360, 99, FALSE, TRUE)),
      Take(korvane_bridge_native_stylus_injection_request_type_id,
           korvane_bridge_native_stylus_injection_request_new(
               0x1e00004, 0.25, 0.75, KORVANE_BRIDGE_STYLUS_PHASE_UP, TRUE)),
  };
}

}  // namespace bridge_testing
