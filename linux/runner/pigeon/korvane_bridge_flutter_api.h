#ifndef LINUX_RUNNER_PIGEON_KORVANE_BRIDGE_FLUTTER_API_H_
#define LINUX_RUNNER_PIGEON_KORVANE_BRIDGE_FLUTTER_API_H_

// The events that the host raises on the Dart side. Each send encodes one
// record on its channel
// "dev.flutter.pigeon.korvane_desktop.VirtualControllerFlutterApi.<method>"
// (plus "." and the suffix, if any). The optional callback gets the Dart
// side's answer through the matching _finish function.

#include <flutter_linux/flutter_linux.h>

#include "korvane_bridge_records.h"

G_BEGIN_DECLS

G_DECLARE_FINAL_TYPE(KorvaneBridgeVirtualControllerFlutterApi,
                     korvane_bridge_virtual_controller_flutter_api,
                     KORVANE_BRIDGE,
                     VIRTUAL_CONTROLLER_FLUTTER_API,
                     GObject)

// `suffix` may be NULL.
KorvaneBridgeVirtualControllerFlutterApi*
korvane_bridge_virtual_controller_flutter_api_new(FlBinaryMessenger* messenger,
                                                  const gchar* suffix);

// One event method: the send, its finish, and the response that the finish
// returns (NULL with `error` set when the send itself failed). A response is
// an error when the Dart side answered with [code, message, details]; the
// error getters are only for such responses.
#define KORVANE_BRIDGE_DECLARE_FLUTTER_API_METHOD(Method, method, METHOD,      \
                                                  Record)                      \
  G_DECLARE_FINAL_TYPE(                                                        \
      KorvaneBridgeVirtualControllerFlutterApi##Method##Response,              \
      korvane_bridge_virtual_controller_flutter_api_##method##_response,       \
      KORVANE_BRIDGE, VIRTUAL_CONTROLLER_FLUTTER_API_##METHOD##_RESPONSE,      \
      GObject)                                                                 \
  void korvane_bridge_virtual_controller_flutter_api_##method(                 \
      KorvaneBridgeVirtualControllerFlutterApi* api, Record* argument,         \
      GCancellable* cancellable, GAsyncReadyCallback callback,                 \
      gpointer user_data);                                                     \
  KorvaneBridgeVirtualControllerFlutterApi##Method##Response*                  \
      korvane_bridge_virtual_controller_flutter_api_##method##_finish(         \
          KorvaneBridgeVirtualControllerFlutterApi* api, GAsyncResult* result, \
          GError** error);                                                     \
  gboolean                                                                     \
      korvane_bridge_virtual_controller_flutter_api_##method##_response_is_error( \
          KorvaneBridgeVirtualControllerFlutterApi##Method##Response* response); \
  const gchar*                                                                 \
      korvane_bridge_virtual_controller_flutter_api_##method##_response_get_error_code( \
          KorvaneBridgeVirtualControllerFlutterApi##Method##Response* response); \
  const gchar*                                                                 \
      korvane_bridge_virtual_controller_flutter_api_##method##_response_get_error_message( \
          KorvaneBridgeVirtualControllerFlutterApi##Method##Response* response); \
  FlValue*                                                                     \
      korvane_bridge_virtual_controller_flutter_api_##method##_response_get_error_details( \
          KorvaneBridgeVirtualControllerFlutterApi##Method##Response* response);

KORVANE_BRIDGE_DECLARE_FLUTTER_API_METHOD(OnControllerRumble,
                                          on_controller_rumble,
                                          ON_CONTROLLER_RUMBLE,
                                          KorvaneBridgeNativeRumbleEvent)
KORVANE_BRIDGE_DECLARE_FLUTTER_API_METHOD(OnPlayerLedUpdated,
                                          on_player_led_updated,
                                          ON_PLAYER_LED_UPDATED,
                                          KorvaneBridgeNativePlayerLedEvent)
KORVANE_BRIDGE_DECLARE_FLUTTER_API_METHOD(OnDriverHealthChanged,
                                          on_driver_health_changed,
                                          ON_DRIVER_HEALTH_CHANGED,
                                          KorvaneBridgeNativeDriverHealth)

G_END_DECLS

#endif  // LINUX_RUNNER_PIGEON_KORVANE_BRIDGE_FLUTTER_API_H_
