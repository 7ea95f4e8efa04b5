#include "korvane_bridge_host_api_channels.h"

#include <functional>

#include "korvane_bridge_codec.h"

namespace korvane_bridge_channels {

namespace {

// One method's channel registration: it keeps the API object alive until
// the messenger drops the registration.
struct Registration {
  GObject* api;
  const ApiDescription* description;
  int method;
};

void FreeRegistration(gpointer data) {
  auto* registration = static_cast<Registration*>(data);
  g_object_unref(registration->api);
  g_free(registration);
}

HostApiInstance* AsHostApi(GObject* object) {
  return reinterpret_cast<HostApiInstance*>(object);
}

FlMessageCodec* NewCodec() {
  return FL_MESSAGE_CODEC(
      g_object_new(korvane_bridge_message_codec_get_type(), nullptr));
}

// Element `index` of the request's list when it is there and of `type`.
FlValue* Argument(FlValue* message, size_t index, FlValueType type) {
  if (fl_value_get_type(message) != FL_VALUE_TYPE_LIST ||
      fl_value_get_length(message) <= index) {
    return nullptr;
  }
  FlValue* element = fl_value_get_list_value(message, index);
  return fl_value_get_type(element) == type ? element : nullptr;
}

// Fills `args` from the request's list; false when the list does not carry
// what the method takes, so that no slot ever sees garbage.
bool DecodeArguments(const MethodDescription& method,
                     FlValue* message,
                     DecodedArguments* args) {
  switch (method.argument) {
    case Argument::kNone:
      return true;
    case Argument::kRecord: {
      FlValue* record = Argument(message, 0, FL_VALUE_TYPE_CUSTOM);
      if (record == nullptr ||
          fl_value_get_custom_type(record) != method.record_code) {
        return false;
      }
      args->record = fl_value_get_custom_value_object(record);
      return true;
    }
    case Argument::kInt: {
      FlValue* integer = Argument(message, 0, FL_VALUE_TYPE_INT);
      if (integer == nullptr) {
        return false;
      }
      args->integer = fl_value_get_int(integer);
      return true;
    }
    case Argument::kTextAndInt: {
      FlValue* text = Argument(message, 0, FL_VALUE_TYPE_STRING);
      FlValue* integer = Argument(message, 1, FL_VALUE_TYPE_INT);
      if (text == nullptr || integer == nullptr) {
        return false;
      }
      args->text = fl_value_get_string(text);
      args->integer = fl_value_get_int(integer);
      return true;
    }
  }
  return false;
}

void SendEnvelope(const ApiDescription& api,
                  int method,
                  FlBasicMessageChannel* channel,
                  FlBasicMessageChannelResponseHandle* response_handle,
                  FlValue* envelope) {
  g_autoptr(GError) error = nullptr;
  if (!fl_basic_message_channel_respond(channel, response_handle, envelope,
                                        &error)) {
    // Without an error the handle itself was refused: already answered.
    g_warning("Failed to send response to %s.%s: %s", api.name,
              api.methods[method].name,
              error != nullptr ? error->message : "already responded");
  }
}

void MethodCallback(FlBasicMessageChannel* channel,
                    FlValue* message,
                    FlBasicMessageChannelResponseHandle* fl_response_handle,
                    gpointer user_data) {
  auto* registration = static_cast<Registration*>(user_data);
  const ApiDescription& api = *registration->description;
  const MethodDescription& method = api.methods[registration->method];
  HostApiInstance* instance = AsHostApi(registration->api);
  if (instance->vtable == nullptr ||
      !api.has_slot(instance->vtable, registration->method)) {
    return;
  }

  DecodedArguments args;
  if (!DecodeArguments(method, message, &args)) {
    g_autofree gchar* text =
        g_strdup_printf("Invalid arguments for %s.%s", api.name, method.name);
    g_autoptr(FlValue) envelope = ErrorEnvelope("invalid-arguments", text, nullptr);
    SendEnvelope(api, registration->method, channel, fl_response_handle,
                 envelope);
    return;
  }

  if (method.synchronous) {
    g_autoptr(FlValue) envelope = api.call_synchronous(
        instance->vtable, registration->method, args, instance->user_data);
    if (envelope == nullptr) {
      g_warning("No response returned to %s.%s", api.name, method.name);
      return;
    }
    SendEnvelope(api, registration->method, channel, fl_response_handle,
                 envelope);
    return;
  }

  g_autoptr(GObject) response_handle =
      G_OBJECT(g_object_new(api.response_handle_type(), nullptr));
  auto* handle = reinterpret_cast<ResponseHandleInstance*>(response_handle);
  handle->channel = FL_BASIC_MESSAGE_CHANNEL(g_object_ref(channel));
  handle->response_handle =
      FL_BASIC_MESSAGE_CHANNEL_RESPONSE_HANDLE(g_object_ref(fl_response_handle));
  api.call(instance->vtable, registration->method, args, response_handle,
           instance->user_data);
}

}  // namespace

gchar* SuffixText(const gchar* suffix) {
  return suffix != nullptr ? g_strdup_printf(".%s", suffix) : g_strdup("");
}

gchar* ChannelName(const char* api, const char* method, const char* suffix) {
  return g_strdup_printf("dev.flutter.pigeon.korvane_desktop.%s.%s%s", api,
                         method, suffix);
}

namespace {

// Opens every method's channel of `api` on `messenger` in table order and
// hands it, with the method's index, to `configure`.
void ForEachMethodChannel(
    const ApiDescription& api,
    FlBinaryMessenger* messenger,
    const gchar* suffix,
    const std::function<void(FlBasicMessageChannel*, int)>& configure) {
  g_autofree gchar* suffix_text = SuffixText(suffix);
  g_autoptr(FlMessageCodec) codec = NewCodec();
  for (size_t i = 0; i < api.method_count; i++) {
    g_autofree gchar* name =
        ChannelName(api.name, api.methods[i].name, suffix_text);
    g_autoptr(FlBasicMessageChannel) channel =
        fl_basic_message_channel_new(messenger, name, codec);
    configure(channel, static_cast<int>(i));
  }
}

}  // namespace

void SetMethodHandlers(const ApiDescription& api,
                       FlBinaryMessenger* messenger,
                       const gchar* suffix,
                       const void* vtable,
                       gpointer user_data,
                       GDestroyNotify user_data_free_func) {
  g_autoptr(GObject) api_object = G_OBJECT(g_object_new(api.api_type(), nullptr));
  HostApiInstance* instance = AsHostApi(api_object);
  instance->vtable = vtable;
  instance->user_data = user_data;
  instance->user_data_free_func = user_data_free_func;

  ForEachMethodChannel(
      api, messenger, suffix,
      [&api, &api_object](FlBasicMessageChannel* channel, int method) {
        auto* registration = g_new(Registration, 1);
        *registration = {G_OBJECT(g_object_ref(api_object)), &api, method};
        fl_basic_message_channel_set_message_handler(
            channel, MethodCallback, registration, FreeRegistration);
      });
}

void ClearMethodHandlers(const ApiDescription& api,
                         FlBinaryMessenger* messenger,
                         const gchar* suffix) {
  ForEachMethodChannel(api, messenger, suffix,
                       [](FlBasicMessageChannel* channel, int) {
                         fl_basic_message_channel_set_message_handler(
                             channel, nullptr, nullptr, nullptr);
                       });
}

FlValue* SuccessEnvelope(FlValue* result) {
  FlValue* envelope = fl_value_new_list();
  fl_value_append_take(envelope,
                       result != nullptr ? result : fl_value_new_null());
  return envelope;
}

FlValue* ErrorEnvelope(const gchar* code,
                       const gchar* message,
                       FlValue* details) {
  FlValue* envelope = fl_value_new_list();
  fl_value_append_take(envelope, fl_value_new_string(code != nullptr ? code : ""));
  fl_value_append_take(envelope,
                       fl_value_new_string(message != nullptr ? message : ""));
  fl_value_append_take(envelope, details != nullptr ? fl_value_ref(details)
                                                    : fl_value_new_null());
  return envelope;
}

FlValue* RecordValue(int code, gpointer record) {
  return record != nullptr
             ? fl_value_new_custom_object(code, G_OBJECT(record))
             : fl_value_new_null();
}

void Respond(const ApiDescription& api,
             int method,
             gpointer response_handle,
             GObject* response) {
  g_return_if_fail(
      G_TYPE_CHECK_INSTANCE_TYPE(response_handle, api.response_handle_type()));
  auto* handle = static_cast<ResponseHandleInstance*>(response_handle);
  SendEnvelope(api, method, handle->channel, handle->response_handle,
               reinterpret_cast<ResponseInstance*>(response)->value);
}

void HostApiDispose(GObject* object) {
  HostApiInstance* self = AsHostApi(object);
  if (self->user_data != nullptr && self->user_data_free_func != nullptr) {
    self->user_data_free_func(self->user_data);
  }
  self->user_data = nullptr;
  G_OBJECT_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(object)))
      ->dispose(object);
}

void ResponseHandleDispose(GObject* object) {
  auto* self = reinterpret_cast<ResponseHandleInstance*>(object);
  g_clear_object(&self->channel);
  g_clear_object(&self->response_handle);
  G_OBJECT_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(object)))
      ->dispose(object);
}

void ResponseDispose(GObject* object) {
  auto* self = reinterpret_cast<ResponseInstance*>(object);
  g_clear_pointer(&self->value, fl_value_unref);
  G_OBJECT_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(object)))
      ->dispose(object);
}

}  // namespace korvane_bridge_channels
