#ifndef LINUX_RUNNER_PIGEON_KORVANE_BRIDGE_RECORDS_H_
#define LINUX_RUNNER_PIGEON_KORVANE_BRIDGE_RECORDS_H_

// The typed records and enumerations that cross the message bridge. Records
// are immutable, reference-counted GObjects: built whole by their
// constructor, read through one getter per field, compared, hashed and
// printed. Getters given something other than their record raise a GLib
// critical and return 0, FALSE or NULL.

#include <glib-object.h>
#include <stdint.h>

G_BEGIN_DECLS

// Enumeration values travel unchecked: a record may carry a value that no
// name below stands for (an unknown persona mounts like an Xbox 360 pad).
// In C++ an enumeration without a fixed base may not hold such values, so
// there the base is int, as it is in C.
#ifdef __cplusplus
#define KORVANE_BRIDGE_ENUM_BASE : int
#else
#define KORVANE_BRIDGE_ENUM_BASE
#endif

typedef enum KORVANE_BRIDGE_ENUM_BASE {
  KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY = 0,
  KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_MODULE_NOT_LOADED = 1,
  KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_PERMISSION_REQUIRED = 2,
} KorvaneBridgeNativeDriverReadiness;

typedef enum KORVANE_BRIDGE_ENUM_BASE {
  KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_SONY_WIRELESS_CONTROLLER = 0,
  KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_XBOX_360_PAD = 1,
  KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_NINTENDO_PRO_CONTROLLER = 2,
} KorvaneBridgeNativeGamepadPersona;

typedef enum KORVANE_BRIDGE_ENUM_BASE {
  KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_MEDIA_PLAY_PAUSE = 0,
  KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_MEDIA_NEXT = 1,
  KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_MEDIA_PREVIOUS = 2,
  KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_UP = 3,
  KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_DOWN = 4,
  KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_MUTE_TOGGLE = 5,
  KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CHORD_CTRL_SHIFT_M = 6,
  KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CHORD_F12 = 7,
  KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CHORD_ALT_F10 = 8,
  KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CHORD_ALT_F9 = 9,
  KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CHORD_SHIFT_TAB = 10,
  KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CHORD_ALT_TAB = 11,
  KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CHORD_META_D = 12,
  KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CHORD_F5 = 13,
  KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CHORD_F9 = 14,
  KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CUSTOM_CHORD = 15,
} KorvaneBridgeNativeDeckActionType;

typedef enum KORVANE_BRIDGE_ENUM_BASE {
  KORVANE_BRIDGE_STYLUS_PHASE_DOWN = 0,
  KORVANE_BRIDGE_STYLUS_PHASE_MOVE = 1,
  KORVANE_BRIDGE_STYLUS_PHASE_UP = 2,
} KorvaneBridgeStylusPhase;

// Every record also has:
//   gboolean korvane_bridge_<record>_equals(a, b): fields equal in order;
//     doubles equal when both are NaN or compare equal (+0.0 == -0.0);
//     absent and empty texts differ.
//   guint korvane_bridge_<record>_hash(self): consistent with equals.
//   gchar* korvane_bridge_<record>_to_string(self): "ShortName(field: value,
//     ...)", freed with g_free.
#define KORVANE_BRIDGE_DECLARE_RECORD_OPERATIONS(Type, record) \
  gboolean korvane_bridge_##record##_equals(Type* a, Type* b); \
  guint korvane_bridge_##record##_hash(Type* self);            \
  gchar* korvane_bridge_##record##_to_string(Type* self);

G_DECLARE_FINAL_TYPE(KorvaneBridgeNativeDriverHealth,
                     korvane_bridge_native_driver_health,
                     KORVANE_BRIDGE,
                     NATIVE_DRIVER_HEALTH,
                     GObject)

KorvaneBridgeNativeDriverHealth* korvane_bridge_native_driver_health_new(
    KorvaneBridgeNativeDriverReadiness readiness,
    const gchar* backend_name,
    int64_t mounted_controller_count,
    gboolean can_inject_mouse_and_keyboard,
    const gchar* status_message);
KorvaneBridgeNativeDriverReadiness
korvane_bridge_native_driver_health_get_readiness(
    KorvaneBridgeNativeDriverHealth* self);
const gchar* korvane_bridge_native_driver_health_get_backend_name(
    KorvaneBridgeNativeDriverHealth* self);
int64_t korvane_bridge_native_driver_health_get_mounted_controller_count(
    KorvaneBridgeNativeDriverHealth* self);
gboolean korvane_bridge_native_driver_health_get_can_inject_mouse_and_keyboard(
    KorvaneBridgeNativeDriverHealth* self);
const gchar* korvane_bridge_native_driver_health_get_status_message(
    KorvaneBridgeNativeDriverHealth* self);
KORVANE_BRIDGE_DECLARE_RECORD_OPERATIONS(KorvaneBridgeNativeDriverHealth,
                                         native_driver_health)

G_DECLARE_FINAL_TYPE(KorvaneBridgeVirtualControllerMountRequest,
                     korvane_bridge_virtual_controller_mount_request,
                     KORVANE_BRIDGE,
                     VIRTUAL_CONTROLLER_MOUNT_REQUEST,
                     GObject)

KorvaneBridgeVirtualControllerMountRequest*
korvane_bridge_virtual_controller_mount_request_new(
    int64_t player_number,
    KorvaneBridgeNativeGamepadPersona persona,
    const gchar* device_id,
    const gchar* display_name,
    gboolean enable_gyroscope,
    gboolean enable_rumble);
int64_t korvane_bridge_virtual_controller_mount_request_get_player_number(
    KorvaneBridgeVirtualControllerMountRequest* self);
KorvaneBridgeNativeGamepadPersona
korvane_bridge_virtual_controller_mount_request_get_persona(
    KorvaneBridgeVirtualControllerMountRequest* self);
const gchar* korvane_bridge_virtual_controller_mount_request_get_device_id(
    KorvaneBridgeVirtualControllerMountRequest* self);
const gchar* korvane_bridge_virtual_controller_mount_request_get_display_name(
    KorvaneBridgeVirtualControllerMountRequest* self);
gboolean korvane_bridge_virtual_controller_mount_request_get_enable_gyroscope(
    KorvaneBridgeVirtualControllerMountRequest* self);
gboolean korvane_bridge_virtual_controller_mount_request_get_enable_rumble(
    KorvaneBridgeVirtualControllerMountRequest* self);
KORVANE_BRIDGE_DECLARE_RECORD_OPERATIONS(
    KorvaneBridgeVirtualControllerMountRequest,
    virtual_controller_mount_request)

G_DECLARE_FINAL_TYPE(KorvaneBridgeVirtualControllerFrame,
                     korvane_bridge_virtual_controller_frame,
                     KORVANE_BRIDGE,
                     VIRTUAL_CONTROLLER_FRAME,
                     GObject)

KorvaneBridgeVirtualControllerFrame*
korvane_bridge_virtual_controller_frame_new(int64_t player_number,
                                            int64_t button_mask1,
                                            int64_t button_mask2,
                                            gboolean home_button,
                                            gboolean touch_click_button,
                                            int64_t left_stick_x,
                                            int64_t left_stick_y,
                                            int64_t right_stick_x,
                                            int64_t right_stick_y,
                                            int64_t l2_analog,
                                            int64_t r2_analog,
                                            double gyro_pitch,
                                            double gyro_yaw,
                                            double gyro_roll,
                                            double accel_x,
                                            double accel_y,
                                            double accel_z,
                                            int64_t timestamp_us,
                                            gboolean touch1_active,
                                            int64_t touch1_id,
                                            int64_t touch1_x,
                                            int64_t touch1_y,
                                            gboolean touch2_active,
                                            int64_t touch2_id,
                                            int64_t touch2_x,
                                            int64_t touch2_y);
int64_t korvane_bridge_virtual_controller_frame_get_player_number(
    KorvaneBridgeVirtualControllerFrame* self);
int64_t korvane_bridge_virtual_controller_frame_get_button_mask1(
    KorvaneBridgeVirtualControllerFrame* self);
int64_t korvane_bridge_virtual_controller_frame_get_button_mask2(
    KorvaneBridgeVirtualControllerFrame* self);
gboolean korvane_bridge_virtual_controller_frame_get_home_button(
    KorvaneBridgeVirtualControllerFrame* self);
gboolean korvane_bridge_virtual_controller_frame_get_touch_click_button(
    KorvaneBridgeVirtualControllerFrame* self);
int64_t korvane_bridge_virtual_controller_frame_get_left_stick_x(
    KorvaneBridgeVirtualControllerFrame* self);
int64_t korvane_bridge_virtual_controller_frame_get_left_stick_y(
    KorvaneBridgeVirtualControllerFrame* self);
int64_t korvane_bridge_virtual_controller_frame_get_right_stick_x(
    KorvaneBridgeVirtualControllerFrame* self);
int64_t korvane_bridge_virtual_controller_frame_get_right_stick_y(
    KorvaneBridgeVirtualControllerFrame* self);
int64_t korvane_bridge_virtual_controller_frame_get_l2_analog(
    KorvaneBridgeVirtualControllerFrame* self);
int64_t korvane_bridge_virtual_controller_frame_get_r2_analog(
    KorvaneBridgeVirtualControllerFrame* self);
double korvane_bridge_virtual_controller_frame_get_gyro_pitch(
    KorvaneBridgeVirtualControllerFrame* self);
double korvane_bridge_virtual_controller_frame_get_gyro_yaw(
    KorvaneBridgeVirtualControllerFrame* self);
double korvane_bridge_virtual_controller_frame_get_gyro_roll(
    KorvaneBridgeVirtualControllerFrame* self);
double korvane_bridge_virtual_controller_frame_get_accel_x(
    KorvaneBridgeVirtualControllerFrame* self);
double korvane_bridge_virtual_controller_frame_get_accel_y(
    KorvaneBridgeVirtualControllerFrame* self);
double korvane_bridge_virtual_controller_frame_get_accel_z(
    KorvaneBridgeVirtualControllerFrame* self);
int64_t korvane_bridge_virtual_controller_frame_get_timestamp_us(
    KorvaneBridgeVirtualControllerFrame* self);
gboolean korvane_bridge_virtual_controller_frame_get_touch1_active(
    KorvaneBridgeVirtualControllerFrame* self);
int64_t korvane_bridge_virtual_controller_frame_get_touch1_id(
    KorvaneBridgeVirtualControllerFrame* self);
int64_t korvane_bridge_virtual_controller_frame_get_touch1_x(
    KorvaneBridgeVirtualControllerFrame* self);
int64_t korvane_bridge_virtual_controller_frame_get_touch1_y(
    KorvaneBridgeVirtualControllerFrame* self);
gboolean korvane_bridge_virtual_controller_frame_get_touch2_active(
    KorvaneBridgeVirtualControllerFrame* self);
int64_t korvane_bridge_virtual_controller_frame_get_touch2_id(
    KorvaneBridgeVirtualControllerFrame* self);
int64_t korvane_bridge_virtual_controller_frame_get_touch2_x(
    KorvaneBridgeVirtualControllerFrame* self);
int64_t korvane_bridge_virtual_controller_frame_get_touch2_y(
    KorvaneBridgeVirtualControllerFrame* self);
KORVANE_BRIDGE_DECLARE_RECORD_OPERATIONS(KorvaneBridgeVirtualControllerFrame,
                                         virtual_controller_frame)

G_DECLARE_FINAL_TYPE(KorvaneBridgeNativeRumbleEvent,
                     korvane_bridge_native_rumble_event,
                     KORVANE_BRIDGE,
                     NATIVE_RUMBLE_EVENT,
                     GObject)

KorvaneBridgeNativeRumbleEvent* korvane_bridge_native_rumble_event_new(
    int64_t player_number,
    int64_t left_motor_intensity,
    int64_t right_motor_intensity);
int64_t korvane_bridge_native_rumble_event_get_player_number(
    KorvaneBridgeNativeRumbleEvent* self);
int64_t korvane_bridge_native_rumble_event_get_left_motor_intensity(
    KorvaneBridgeNativeRumbleEvent* self);
int64_t korvane_bridge_native_rumble_event_get_right_motor_intensity(
    KorvaneBridgeNativeRumbleEvent* self);
KORVANE_BRIDGE_DECLARE_RECORD_OPERATIONS(KorvaneBridgeNativeRumbleEvent,
                                         native_rumble_event)

G_DECLARE_FINAL_TYPE(KorvaneBridgeNativePlayerLedEvent,
                     korvane_bridge_native_player_led_event,
                     KORVANE_BRIDGE,
                     NATIVE_PLAYER_LED_EVENT,
                     GObject)

KorvaneBridgeNativePlayerLedEvent* korvane_bridge_native_player_led_event_new(
    int64_t player_number,
    int64_t red,
    int64_t green,
    int64_t blue);
int64_t korvane_bridge_native_player_led_event_get_player_number(
    KorvaneBridgeNativePlayerLedEvent* self);
int64_t korvane_bridge_native_player_led_event_get_red(
    KorvaneBridgeNativePlayerLedEvent* self);
int64_t korvane_bridge_native_player_led_event_get_green(
    KorvaneBridgeNativePlayerLedEvent* self);
int64_t korvane_bridge_native_player_led_event_get_blue(
    KorvaneBridgeNativePlayerLedEvent* self);
KORVANE_BRIDGE_DECLARE_RECORD_OPERATIONS(KorvaneBridgeNativePlayerLedEvent,
                                         native_player_led_event)

G_DECLARE_FINAL_TYPE(KorvaneBridgeNativeDeckActionRequest,
                     korvane_bridge_native_deck_action_request,
                     KORVANE_BRIDGE,
                     NATIVE_DECK_ACTION_REQUEST,
                     GObject)

KorvaneBridgeNativeDeckActionRequest*
korvane_bridge_native_deck_action_request_new(
    const gchar* action_id,
    KorvaneBridgeNativeDeckActionType action_type,
    const gchar* custom_key_code,
    gboolean ctrl_modifier,
    gboolean alt_modifier,
    gboolean shift_modifier,
    gboolean meta_modifier);
const gchar* korvane_bridge_native_deck_action_request_get_action_id(
    KorvaneBridgeNativeDeckActionRequest* self);
KorvaneBridgeNativeDeckActionType
korvane_bridge_native_deck_action_request_get_action_type(
    KorvaneBridgeNativeDeckActionRequest* self);
const gchar* korvane_bridge_native_deck_action_request_get_custom_key_code(
    KorvaneBridgeNativeDeckActionRequest* self);
gboolean korvane_bridge_native_deck_action_request_get_ctrl_modifier(
    KorvaneBridgeNativeDeckActionRequest* self);
gboolean korvane_bridge_native_deck_action_request_get_alt_modifier(
    KorvaneBridgeNativeDeckActionRequest* self);
gboolean korvane_bridge_native_deck_action_request_get_shift_modifier(
    KorvaneBridgeNativeDeckActionRequest* self);
gboolean korvane_bridge_native_deck_action_request_get_meta_modifier(
    KorvaneBridgeNativeDeckActionRequest* self);
KORVANE_BRIDGE_DECLARE_RECORD_OPERATIONS(KorvaneBridgeNativeDeckActionRequest,
                                         native_deck_action_request)

G_DECLARE_FINAL_TYPE(KorvaneBridgeNativeSystemTelemetrySnapshot,
                     korvane_bridge_native_system_telemetry_snapshot,
                     KORVANE_BRIDGE,
                     NATIVE_SYSTEM_TELEMETRY_SNAPSHOT,
                     GObject)

KorvaneBridgeNativeSystemTelemetrySnapshot*
korvane_bridge_native_system_telemetry_snapshot_new(
    gboolean has_active_media,
    gboolean is_playing,
    const gchar* track_title,
    const gchar* artist_name,
    const gchar* album_name,
    const gchar* source_app_name,
    int64_t volume_percent,
    gboolean is_muted,
    int64_t cpu_usage_percent);
gboolean korvane_bridge_native_system_telemetry_snapshot_get_has_active_media(
    KorvaneBridgeNativeSystemTelemetrySnapshot* self);
gboolean korvane_bridge_native_system_telemetry_snapshot_get_is_playing(
    KorvaneBridgeNativeSystemTelemetrySnapshot* self);
const gchar* korvane_bridge_native_system_telemetry_snapshot_get_track_title(
    KorvaneBridgeNativeSystemTelemetrySnapshot* self);
const gchar* korvane_bridge_native_system_telemetry_snapshot_get_artist_name(
    KorvaneBridgeNativeSystemTelemetrySnapshot* self);
const gchar* korvane_bridge_native_system_telemetry_snapshot_get_album_name(
    KorvaneBridgeNativeSystemTelemetrySnapshot* self);
const gchar*
korvane_bridge_native_system_telemetry_snapshot_get_source_app_name(
    KorvaneBridgeNativeSystemTelemetrySnapshot* self);
int64_t korvane_bridge_native_system_telemetry_snapshot_get_volume_percent(
    KorvaneBridgeNativeSystemTelemetrySnapshot* self);
gboolean korvane_bridge_native_system_telemetry_snapshot_get_is_muted(
    KorvaneBridgeNativeSystemTelemetrySnapshot* self);
int64_t korvane_bridge_native_system_telemetry_snapshot_get_cpu_usage_percent(
    KorvaneBridgeNativeSystemTelemetrySnapshot* self);
KORVANE_BRIDGE_DECLARE_RECORD_OPERATIONS(
    KorvaneBridgeNativeSystemTelemetrySnapshot,
    native_system_telemetry_snapshot)

G_DECLARE_FINAL_TYPE(KorvaneBridgeCapturableWindowInfo,
                     korvane_bridge_capturable_window_info,
                     KORVANE_BRIDGE,
                     CAPTURABLE_WINDOW_INFO,
                     GObject)

KorvaneBridgeCapturableWindowInfo* korvane_bridge_capturable_window_info_new(
    int64_t window_id,
    const gchar* window_title,
    const gchar* owner_app_name,
    const gchar* bundle_or_exe_id,
    int64_t width,
    int64_t height,
    gboolean is_on_screen,
    gboolean is_emulator_candidate);
int64_t korvane_bridge_capturable_window_info_get_window_id(
    KorvaneBridgeCapturableWindowInfo* self);
const gchar* korvane_bridge_capturable_window_info_get_window_title(
    KorvaneBridgeCapturableWindowInfo* self);
const gchar* korvane_bridge_capturable_window_info_get_owner_app_name(
    KorvaneBridgeCapturableWindowInfo* self);
const gchar* korvane_bridge_capturable_window_info_get_bundle_or_exe_id(
    KorvaneBridgeCapturableWindowInfo* self);
int64_t korvane_bridge_capturable_window_info_get_width(
    KorvaneBridgeCapturableWindowInfo* self);
int64_t korvane_bridge_capturable_window_info_get_height(
    KorvaneBridgeCapturableWindowInfo* self);
gboolean korvane_bridge_capturable_window_info_get_is_on_screen(
    KorvaneBridgeCapturableWindowInfo* self);
gboolean korvane_bridge_capturable_window_info_get_is_emulator_candidate(
    KorvaneBridgeCapturableWindowInfo* self);
KORVANE_BRIDGE_DECLARE_RECORD_OPERATIONS(KorvaneBridgeCapturableWindowInfo,
                                         capturable_window_info)

G_DECLARE_FINAL_TYPE(KorvaneBridgeSecondScreenCaptureConfig,
                     korvane_bridge_second_screen_capture_config,
                     KORVANE_BRIDGE,
                     SECOND_SCREEN_CAPTURE_CONFIG,
                     GObject)

KorvaneBridgeSecondScreenCaptureConfig*
korvane_bridge_second_screen_capture_config_new(int64_t window_id,
                                                int64_t target_width,
                                                int64_t target_height,
                                                int64_t jpeg_quality,
                                                int64_t previous_frame_hash);
int64_t korvane_bridge_second_screen_capture_config_get_window_id(
    KorvaneBridgeSecondScreenCaptureConfig* self);
int64_t korvane_bridge_second_screen_capture_config_get_target_width(
    KorvaneBridgeSecondScreenCaptureConfig* self);
int64_t korvane_bridge_second_screen_capture_config_get_target_height(
    KorvaneBridgeSecondScreenCaptureConfig* self);
int64_t korvane_bridge_second_screen_capture_config_get_jpeg_quality(
    KorvaneBridgeSecondScreenCaptureConfig* self);
int64_t korvane_bridge_second_screen_capture_config_get_previous_frame_hash(
    KorvaneBridgeSecondScreenCaptureConfig* self);
KORVANE_BRIDGE_DECLARE_RECORD_OPERATIONS(KorvaneBridgeSecondScreenCaptureConfig,
                                         second_screen_capture_config)

G_DECLARE_FINAL_TYPE(KorvaneBridgeCapturedWindowFrame,
                     korvane_bridge_captured_window_frame,
                     KORVANE_BRIDGE,
                     CAPTURED_WINDOW_FRAME,
                     GObject)

KorvaneBridgeCapturedWindowFrame* korvane_bridge_captured_window_frame_new(
    int64_t window_id,
    const uint8_t* jpeg_bytes,
    size_t jpeg_bytes_length,
    int64_t source_width,
    int64_t source_height,
    int64_t encoded_width,
    int64_t encoded_height,
    int64_t frame_hash,
    gboolean is_unchanged,
    gboolean is_window_closed);
int64_t korvane_bridge_captured_window_frame_get_window_id(
    KorvaneBridgeCapturedWindowFrame* self);
const uint8_t* korvane_bridge_captured_window_frame_get_jpeg_bytes(
    KorvaneBridgeCapturedWindowFrame* self,
    size_t* length);
int64_t korvane_bridge_captured_window_frame_get_source_width(
    KorvaneBridgeCapturedWindowFrame* self);
int64_t korvane_bridge_captured_window_frame_get_source_height(
    KorvaneBridgeCapturedWindowFrame* self);
int64_t korvane_bridge_captured_window_frame_get_encoded_width(
    KorvaneBridgeCapturedWindowFrame* self);
int64_t korvane_bridge_captured_window_frame_get_encoded_height(
    KorvaneBridgeCapturedWindowFrame* self);
int64_t korvane_bridge_captured_window_frame_get_frame_hash(
    KorvaneBridgeCapturedWindowFrame* self);
gboolean korvane_bridge_captured_window_frame_get_is_unchanged(
    KorvaneBridgeCapturedWindowFrame* self);
gboolean korvane_bridge_captured_window_frame_get_is_window_closed(
    KorvaneBridgeCapturedWindowFrame* self);
KORVANE_BRIDGE_DECLARE_RECORD_OPERATIONS(KorvaneBridgeCapturedWindowFrame,
                                         captured_window_frame)

G_DECLARE_FINAL_TYPE(KorvaneBridgeNativeStylusInjectionRequest,
                     korvane_bridge_native_stylus_injection_request,
                     KORVANE_BRIDGE,
                     NATIVE_STYLUS_INJECTION_REQUEST,
                     GObject)

KorvaneBridgeNativeStylusInjectionRequest*
korvane_bridge_native_stylus_injection_request_new(
    int64_t window_id,
    double normalized_u,
    double normalized_v,
    KorvaneBridgeStylusPhase phase,
    gboolean restore_cursor_on_release);
int64_t korvane_bridge_native_stylus_injection_request_get_window_id(
    KorvaneBridgeNativeStylusInjectionRequest* self);
double korvane_bridge_native_stylus_injection_request_get_normalized_u(
    KorvaneBridgeNativeStylusInjectionRequest* self);
double korvane_bridge_native_stylus_injection_request_get_normalized_v(
    KorvaneBridgeNativeStylusInjectionRequest* self);
KorvaneBridgeStylusPhase
korvane_bridge_native_stylus_injection_request_get_phase(
    KorvaneBridgeNativeStylusInjectionRequest* self);
gboolean
korvane_bridge_native_stylus_injection_request_get_restore_cursor_on_release(
    KorvaneBridgeNativeStylusInjectionRequest* self);
KORVANE_BRIDGE_DECLARE_RECORD_OPERATIONS(
    KorvaneBridgeNativeStylusInjectionRequest,
    native_stylus_injection_request)
G_END_DECLS

#endif  // LINUX_RUNNER_PIGEON_KORVANE_BRIDGE_RECORDS_H_
