#include "korvane_bridge_flutter_api.h"

#include "korvane_bridge_codec.h"
#include "korvane_bridge_host_api_channels.h"
#include "korvane_bridge_record_schema.h"

using namespace korvane_bridge_records;

struct _KorvaneBridgeVirtualControllerFlutterApi {
  GObject parent_instance;

  FlBinaryMessenger* messenger;
  gchar* suffix;
};

G_DEFINE_TYPE(KorvaneBridgeVirtualControllerFlutterApi,
              korvane_bridge_virtual_controller_flutter_api,
              G_TYPE_OBJECT)

static void korvane_bridge_virtual_controller_flutter_api_dispose(
    GObject* object) {
  KorvaneBridgeVirtualControllerFlutterApi* self =
      KORVANE_BRIDGE_VIRTUAL_CONTROLLER_FLUTTER_API(object);
  g_clear_object(&self->messenger);
  g_clear_pointer(&self->suffix, g_free);
  G_OBJECT_CLASS(korvane_bridge_virtual_controller_flutter_api_parent_class)
      ->dispose(object);
}

static void korvane_bridge_virtual_controller_flutter_api_class_init(
    KorvaneBridgeVirtualControllerFlutterApiClass* klass) {
  G_OBJECT_CLASS(klass)->dispose =
      korvane_bridge_virtual_controller_flutter_api_dispose;
}

static void korvane_bridge_virtual_controller_flutter_api_init(
    KorvaneBridgeVirtualControllerFlutterApi*) {}

KorvaneBridgeVirtualControllerFlutterApi*
korvane_bridge_virtual_controller_flutter_api_new(FlBinaryMessenger* messenger,
                                                  const gchar* suffix) {
  KorvaneBridgeVirtualControllerFlutterApi* self =
      KORVANE_BRIDGE_VIRTUAL_CONTROLLER_FLUTTER_API(g_object_new(
          korvane_bridge_virtual_controller_flutter_api_get_type(), nullptr));
  self->messenger = FL_BINARY_MESSENGER(g_object_ref(messenger));
  self->suffix = korvane_bridge_channels::SuffixText(suffix);
  return self;
}

namespace {

// What every event response holds: the Dart side's error list, or nothing.
struct EventResponseInstance {
  GObject parent_instance;
  FlValue* error;
};

void EventResponseDispose(GObject* object) {
  auto* self = reinterpret_cast<EventResponseInstance*>(object);
  g_clear_pointer(&self->error, fl_value_unref);
  G_OBJECT_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(object)))
      ->dispose(object);
}

void ChannelSendDone(GObject*, GAsyncResult* result, gpointer user_data) {
  GTask* task = G_TASK(user_data);
  g_task_return_pointer(task, g_object_ref(result), g_object_unref);
  g_object_unref(task);
}

void SendEvent(KorvaneBridgeVirtualControllerFlutterApi* self,
               const char* method,
               int record_code,
               gpointer record,
               GCancellable* cancellable,
               GAsyncReadyCallback callback,
               gpointer user_data) {
  g_autoptr(FlValue) message = fl_value_new_list();
  fl_value_append_take(message,
                       fl_value_new_custom_object(record_code, G_OBJECT(record)));
  g_autofree gchar* name = korvane_bridge_channels::ChannelName(
      "VirtualControllerFlutterApi", method, self->suffix);
  g_autoptr(FlMessageCodec) codec = FL_MESSAGE_CODEC(
      g_object_new(korvane_bridge_message_codec_get_type(), nullptr));
  FlBasicMessageChannel* channel =
      fl_basic_message_channel_new(self->messenger, name, codec);
  GTask* task = g_task_new(self, cancellable, callback, user_data);
  g_task_set_task_data(task, channel, g_object_unref);
  fl_basic_message_channel_send(channel, message, cancellable, ChannelSendDone,
                                task);
}

// Builds the response from the Dart side's reply, or returns nullptr with
// `error` set when the send failed. Only a list of more than one element is
// an error reply; anything else (an empty list, [null], or no listener on
// the Dart side) is a success.
GObject* FinishEvent(KorvaneBridgeVirtualControllerFlutterApi* self,
                     GType response_type,
                     GAsyncResult* result,
                     GError** error) {
  g_return_val_if_fail(g_task_is_valid(result, self), nullptr);
  GTask* task = G_TASK(result);
  g_autoptr(GAsyncResult) channel_result =
      G_ASYNC_RESULT(g_task_propagate_pointer(task, error));
  if (channel_result == nullptr) {
    return nullptr;
  }
  auto* channel = FL_BASIC_MESSAGE_CHANNEL(g_task_get_task_data(task));
  g_autoptr(FlValue) reply =
      fl_basic_message_channel_send_finish(channel, channel_result, error);
  if (reply == nullptr) {
    return nullptr;
  }
  GObject* response = G_OBJECT(g_object_new(response_type, nullptr));
  if (fl_value_get_type(reply) == FL_VALUE_TYPE_LIST &&
      fl_value_get_length(reply) > 1) {
    reinterpret_cast<EventResponseInstance*>(response)->error =
        fl_value_ref(reply);
  }
  return response;
}

// Element `index` of the error list, or nullptr when the Dart side sent a
// shorter one. Only error responses have one.
FlValue* ErrorElement(GObject* response, size_t index) {
  FlValue* error = reinterpret_cast<EventResponseInstance*>(response)->error;
  g_return_val_if_fail(error != nullptr, nullptr);
  return index < fl_value_get_length(error)
             ? fl_value_get_list_value(error, index)
             : nullptr;
}

// The code and message of an error reply; "" when the Dart side sent
// something other than a string there.
const gchar* ErrorText(GObject* response, size_t index) {
  g_return_val_if_fail(
      reinterpret_cast<EventResponseInstance*>(response)->error != nullptr,
      nullptr);
  FlValue* element = ErrorElement(response, index);
  return element != nullptr && fl_value_get_type(element) == FL_VALUE_TYPE_STRING
             ? fl_value_get_string(element)
             : "";
}

}  // namespace

#define DEFINE_FLUTTER_API_METHOD(Method, method, METHOD, name, Record, code) \
  struct _KorvaneBridgeVirtualControllerFlutterApi##Method##Response           \
      : EventResponseInstance {};                                              \
  G_DEFINE_TYPE(                                                               \
      KorvaneBridgeVirtualControllerFlutterApi##Method##Response,              \
      korvane_bridge_virtual_controller_flutter_api_##method##_response,       \
      G_TYPE_OBJECT)                                                           \
  static void                                                                  \
      korvane_bridge_virtual_controller_flutter_api_##method##_response_class_init( \
          KorvaneBridgeVirtualControllerFlutterApi##Method##ResponseClass*     \
              klass) {                                                         \
    G_OBJECT_CLASS(klass)->dispose = EventResponseDispose;                     \
  }                                                                            \
  static void                                                                  \
      korvane_bridge_virtual_controller_flutter_api_##method##_response_init(  \
          KorvaneBridgeVirtualControllerFlutterApi##Method##Response*) {}      \
  void korvane_bridge_virtual_controller_flutter_api_##method(                 \
      KorvaneBridgeVirtualControllerFlutterApi* api, Record* argument,         \
      GCancellable* cancellable, GAsyncReadyCallback callback,                 \
      gpointer user_data) {                                                    \
    SendEvent(api, name, code, argument, cancellable, callback, user_data);  \
  }                                                                            \
  KorvaneBridgeVirtualControllerFlutterApi##Method##Response*                  \
      korvane_bridge_virtual_controller_flutter_api_##method##_finish(         \
          KorvaneBridgeVirtualControllerFlutterApi* api, GAsyncResult* result, \
          GError** error) {                                                    \
    return reinterpret_cast<                                                   \
        KorvaneBridgeVirtualControllerFlutterApi##Method##Response*>(          \
        FinishEvent(                                                           \
            api,                                                               \
            korvane_bridge_virtual_controller_flutter_api_##method##_response_get_type(), \
            result, error));                                                   \
  }                                                                            \
  gboolean                                                                     \
      korvane_bridge_virtual_controller_flutter_api_##method##_response_is_error( \
          KorvaneBridgeVirtualControllerFlutterApi##Method##Response* self) {  \
    g_return_val_if_fail(                                                      \
        KORVANE_BRIDGE_IS_VIRTUAL_CONTROLLER_FLUTTER_API_##METHOD##_RESPONSE(  \
            self),                                                             \
        FALSE);                                                                \
    return self->error != nullptr;                                             \
  }                                                                            \
  const gchar*                                                                 \
      korvane_bridge_virtual_controller_flutter_api_##method##_response_get_error_code( \
          KorvaneBridgeVirtualControllerFlutterApi##Method##Response* self) {  \
    g_return_val_if_fail(                                                      \
        KORVANE_BRIDGE_IS_VIRTUAL_CONTROLLER_FLUTTER_API_##METHOD##_RESPONSE(  \
            self),                                                             \
        nullptr);                                                              \
    return ErrorText(G_OBJECT(self), 0);                                       \
  }                                                                            \
  const gchar*                                                                 \
      korvane_bridge_virtual_controller_flutter_api_##method##_response_get_error_message( \
          KorvaneBridgeVirtualControllerFlutterApi##Method##Response* self) {  \
    g_return_val_if_fail(                                                      \
        KORVANE_BRIDGE_IS_VIRTUAL_CONTROLLER_FLUTTER_API_##METHOD##_RESPONSE(  \
            self),                                                             \
        nullptr);                                                              \
    return ErrorText(G_OBJECT(self), 1);                                       \
  }                                                                            \
  FlValue*                                                                     \
      korvane_bridge_virtual_controller_flutter_api_##method##_response_get_error_details( \
          KorvaneBridgeVirtualControllerFlutterApi##Method##Response* self) {  \
    g_return_val_if_fail(                                                      \
        KORVANE_BRIDGE_IS_VIRTUAL_CONTROLLER_FLUTTER_API_##METHOD##_RESPONSE(  \
            self),                                                             \
        nullptr);                                                              \
    return ErrorElement(G_OBJECT(self), 2);                                    \
  }

DEFINE_FLUTTER_API_METHOD(OnControllerRumble,
                          on_controller_rumble,
                          ON_CONTROLLER_RUMBLE,
                          "onControllerRumble",
                          KorvaneBridgeNativeRumbleEvent,
                          kNativeRumbleEventCode)
DEFINE_FLUTTER_API_METHOD(OnPlayerLedUpdated,
                          on_player_led_updated,
                          ON_PLAYER_LED_UPDATED,
                          "onPlayerLedUpdated",
                          KorvaneBridgeNativePlayerLedEvent,
                          kNativePlayerLedEventCode)
DEFINE_FLUTTER_API_METHOD(OnDriverHealthChanged,
                          on_driver_health_changed,
                          ON_DRIVER_HEALTH_CHANGED,
                          "onDriverHealthChanged",
                          KorvaneBridgeNativeDriverHealth,
                          kNativeDriverHealthCode)
