#ifndef LINUX_RUNNER_PIGEON_KORVANE_BRIDGE_CODEC_H_
#define LINUX_RUNNER_PIGEON_KORVANE_BRIDGE_CODEC_H_

// The message codec of every bridge channel: the standard message codec
// plus custom type codes for the bridge's enumerations (129 to 133) and
// records (134 to 144). Create one with
// g_object_new(korvane_bridge_message_codec_get_type(), nullptr).

#include <flutter_linux/flutter_linux.h>

G_BEGIN_DECLS

G_DECLARE_FINAL_TYPE(KorvaneBridgeMessageCodec,
                     korvane_bridge_message_codec,
                     KORVANE_BRIDGE,
                     MESSAGE_CODEC,
                     FlStandardMessageCodec)

extern const int korvane_bridge_native_gamepad_persona_type_id;
extern const int korvane_bridge_native_driver_readiness_type_id;
extern const int korvane_bridge_native_deck_action_type_type_id;
extern const int korvane_bridge_second_screen_touch_mode_type_id;
extern const int korvane_bridge_stylus_phase_type_id;
extern const int korvane_bridge_native_driver_health_type_id;
extern const int korvane_bridge_virtual_controller_mount_request_type_id;
extern const int korvane_bridge_virtual_controller_frame_type_id;
extern const int korvane_bridge_native_rumble_event_type_id;
extern const int korvane_bridge_native_player_led_event_type_id;
extern const int korvane_bridge_native_deck_action_request_type_id;
extern const int korvane_bridge_native_system_telemetry_snapshot_type_id;
extern const int korvane_bridge_capturable_window_info_type_id;
extern const int korvane_bridge_second_screen_capture_config_type_id;
extern const int korvane_bridge_captured_window_frame_type_id;
extern const int korvane_bridge_native_stylus_injection_request_type_id;

G_END_DECLS

#endif  // LINUX_RUNNER_PIGEON_KORVANE_BRIDGE_CODEC_H_
