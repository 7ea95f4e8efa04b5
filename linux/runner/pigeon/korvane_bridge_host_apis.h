#ifndef LINUX_RUNNER_PIGEON_KORVANE_BRIDGE_HOST_APIS_H_
#define LINUX_RUNNER_PIGEON_KORVANE_BRIDGE_HOST_APIS_H_

// The two APIs that the Dart side calls. Each method is one basic message
// channel named "dev.flutter.pigeon.korvane_desktop.<Api>.<method>[.suffix]".
// A request's arguments are decoded and handed to a slot of the API's
// handler table together with a response handle; the slot answers with
// exactly one respond_<method>() or respond_error_<method>() call, on the
// main thread, now or later (keeping its own reference to the handle).
// "pushControllerFrame" is answered from the response its slot returns.

#include <flutter_linux/flutter_linux.h>

#include "korvane_bridge_records.h"

G_BEGIN_DECLS

G_DECLARE_FINAL_TYPE(KorvaneBridgeVirtualControllerHostApi,
                     korvane_bridge_virtual_controller_host_api,
                     KORVANE_BRIDGE,
                     VIRTUAL_CONTROLLER_HOST_API,
                     GObject)

G_DECLARE_FINAL_TYPE(KorvaneBridgeVirtualControllerHostApiResponseHandle,
                     korvane_bridge_virtual_controller_host_api_response_handle,
                     KORVANE_BRIDGE,
                     VIRTUAL_CONTROLLER_HOST_API_RESPONSE_HANDLE,
                     GObject)

G_DECLARE_FINAL_TYPE(
    KorvaneBridgeVirtualControllerHostApiPushControllerFrameResponse,
    korvane_bridge_virtual_controller_host_api_push_controller_frame_response,
    KORVANE_BRIDGE,
    VIRTUAL_CONTROLLER_HOST_API_PUSH_CONTROLLER_FRAME_RESPONSE,
    GObject)

G_DECLARE_FINAL_TYPE(KorvaneBridgeHostSystemBridgeApi,
                     korvane_bridge_host_system_bridge_api,
                     KORVANE_BRIDGE,
                     HOST_SYSTEM_BRIDGE_API,
                     GObject)

G_DECLARE_FINAL_TYPE(KorvaneBridgeHostSystemBridgeApiResponseHandle,
                     korvane_bridge_host_system_bridge_api_response_handle,
                     KORVANE_BRIDGE,
                     HOST_SYSTEM_BRIDGE_API_RESPONSE_HANDLE,
                     GObject)

// Record and text arguments are borrowed for the duration of the call.
typedef struct {
  void (*get_driver_health)(
      KorvaneBridgeVirtualControllerHostApiResponseHandle* response_handle,
      gpointer user_data);
  void (*setup_or_repair_driver)(
      KorvaneBridgeVirtualControllerHostApiResponseHandle* response_handle,
      gpointer user_data);
  void (*mount_virtual_controller)(
      KorvaneBridgeVirtualControllerMountRequest* request,
      KorvaneBridgeVirtualControllerHostApiResponseHandle* response_handle,
      gpointer user_data);
  void (*unmount_virtual_controller)(
      int64_t player_number,
      KorvaneBridgeVirtualControllerHostApiResponseHandle* response_handle,
      gpointer user_data);
  void (*unmount_all_controllers)(
      KorvaneBridgeVirtualControllerHostApiResponseHandle* response_handle,
      gpointer user_data);
  // Returns a new response; ownership passes to the caller.
  KorvaneBridgeVirtualControllerHostApiPushControllerFrameResponse* (
      *push_controller_frame)(KorvaneBridgeVirtualControllerFrame* frame,
                              gpointer user_data);
} KorvaneBridgeVirtualControllerHostApiVTable;

typedef struct {
  void (*is_udp_port_allowed_in_firewall)(
      int64_t port,
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      gpointer user_data);
  void (*ensure_udp_port_allowed_in_firewall)(
      const gchar* rule_name,
      int64_t port,
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      gpointer user_data);
  void (*has_desktop_input_permission)(
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      gpointer user_data);
  void (*request_desktop_input_permission)(
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      gpointer user_data);
  void (*has_screen_recording_permission)(
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      gpointer user_data);
  void (*request_screen_recording_permission)(
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      gpointer user_data);
  void (*trigger_deck_action)(
      KorvaneBridgeNativeDeckActionRequest* request,
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      gpointer user_data);
  void (*get_system_telemetry_snapshot)(
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      gpointer user_data);
  void (*list_capturable_windows)(
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      gpointer user_data);
  void (*capture_window_frame)(
      KorvaneBridgeSecondScreenCaptureConfig* config,
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      gpointer user_data);
  void (*inject_window_stylus_event)(
      KorvaneBridgeNativeStylusInjectionRequest* request,
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      gpointer user_data);
} KorvaneBridgeHostSystemBridgeApiVTable;

// Registers every method's channel on `messenger`. The table must outlive
// the registration; `user_data` is released with `user_data_free_func` once
// the last channel registration is gone. `suffix` may be NULL.
void korvane_bridge_virtual_controller_host_api_set_method_handlers(
    FlBinaryMessenger* messenger,
    const gchar* suffix,
    const KorvaneBridgeVirtualControllerHostApiVTable* vtable,
    gpointer user_data,
    GDestroyNotify user_data_free_func);

void korvane_bridge_virtual_controller_host_api_clear_method_handlers(
    FlBinaryMessenger* messenger,
    const gchar* suffix);

void korvane_bridge_host_system_bridge_api_set_method_handlers(
    FlBinaryMessenger* messenger,
    const gchar* suffix,
    const KorvaneBridgeHostSystemBridgeApiVTable* vtable,
    gpointer user_data,
    GDestroyNotify user_data_free_func);

void korvane_bridge_host_system_bridge_api_clear_method_handlers(
    FlBinaryMessenger* messenger,
    const gchar* suffix);

// The push-frame slot's answers: success is the list [null].
KorvaneBridgeVirtualControllerHostApiPushControllerFrameResponse*
korvane_bridge_virtual_controller_host_api_push_controller_frame_response_new();

KorvaneBridgeVirtualControllerHostApiPushControllerFrameResponse*
korvane_bridge_virtual_controller_host_api_push_controller_frame_response_new_error(
    const gchar* code,
    const gchar* message,
    FlValue* details);

// Replies. Records are wrapped with a new reference; the caller keeps its
// own. An error reply is [code, message or "", details or null].
#define KORVANE_BRIDGE_DECLARE_RESPOND_ERROR(api, Api, method)        \
  void korvane_bridge_##api##_respond_error_##method(                 \
      KorvaneBridge##Api##ResponseHandle* response_handle,            \
      const gchar* code, const gchar* message, FlValue* details);

#define KORVANE_BRIDGE_DECLARE_RESPOND(api, Api, method, ...)         \
  void korvane_bridge_##api##_respond_##method(                       \
      KorvaneBridge##Api##ResponseHandle* response_handle __VA_ARGS__); \
  KORVANE_BRIDGE_DECLARE_RESPOND_ERROR(api, Api, method)

#define KORVANE_BRIDGE_DECLARE_CONTROLLER_RESPOND(method, ...) \
  KORVANE_BRIDGE_DECLARE_RESPOND(virtual_controller_host_api,  \
                                 VirtualControllerHostApi, method, __VA_ARGS__)
#define KORVANE_BRIDGE_DECLARE_SYSTEM_RESPOND(method, ...)    \
  KORVANE_BRIDGE_DECLARE_RESPOND(host_system_bridge_api,      \
                                 HostSystemBridgeApi, method, __VA_ARGS__)

KORVANE_BRIDGE_DECLARE_CONTROLLER_RESPOND(
    get_driver_health,
    , KorvaneBridgeNativeDriverHealth* return_value)
KORVANE_BRIDGE_DECLARE_CONTROLLER_RESPOND(
    setup_or_repair_driver,
    , KorvaneBridgeNativeDriverHealth* return_value)
KORVANE_BRIDGE_DECLARE_CONTROLLER_RESPOND(mount_virtual_controller,
                                          , gboolean return_value)
KORVANE_BRIDGE_DECLARE_CONTROLLER_RESPOND(unmount_virtual_controller,
                                          , gboolean return_value)
KORVANE_BRIDGE_DECLARE_CONTROLLER_RESPOND(unmount_all_controllers)

KORVANE_BRIDGE_DECLARE_SYSTEM_RESPOND(is_udp_port_allowed_in_firewall,
                                      , gboolean return_value)
KORVANE_BRIDGE_DECLARE_SYSTEM_RESPOND(ensure_udp_port_allowed_in_firewall,
                                      , gboolean return_value)
KORVANE_BRIDGE_DECLARE_SYSTEM_RESPOND(has_desktop_input_permission,
                                      , gboolean return_value)
KORVANE_BRIDGE_DECLARE_SYSTEM_RESPOND(request_desktop_input_permission,
                                      , gboolean return_value)
KORVANE_BRIDGE_DECLARE_SYSTEM_RESPOND(has_screen_recording_permission,
                                      , gboolean return_value)
KORVANE_BRIDGE_DECLARE_SYSTEM_RESPOND(request_screen_recording_permission,
                                      , gboolean return_value)
KORVANE_BRIDGE_DECLARE_SYSTEM_RESPOND(trigger_deck_action,
                                      , gboolean return_value)
KORVANE_BRIDGE_DECLARE_SYSTEM_RESPOND(
    get_system_telemetry_snapshot,
    , KorvaneBridgeNativeSystemTelemetrySnapshot* return_value)
// `return_value` is a list of window records; the reply takes its own
// reference to it.
KORVANE_BRIDGE_DECLARE_SYSTEM_RESPOND(list_capturable_windows,
                                      , FlValue* return_value)
// `return_value` may be NULL: the window could not be captured.
KORVANE_BRIDGE_DECLARE_SYSTEM_RESPOND(
    capture_window_frame,
    , KorvaneBridgeCapturedWindowFrame* return_value)
KORVANE_BRIDGE_DECLARE_SYSTEM_RESPOND(inject_window_stylus_event,
                                      , gboolean return_value)

G_END_DECLS

#endif  // LINUX_RUNNER_PIGEON_KORVANE_BRIDGE_HOST_APIS_H_
