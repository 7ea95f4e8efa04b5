#include "fl_engine_private.h"

#include <cstring>

#include "fl_binary_messenger_impl.h"
#include "socket_path.h"

namespace {

// Longer would only hide a window for no purpose a test could have.
constexpr guint64 kMaxFirstFrameDelayMs = 60000;

}  // namespace

struct _FlEngine {
  GObject parent_instance;

  FlDartProject* project;
  FlBinaryMessengerImpl* messenger;
  FlPeerRelay* relay;
  int64_t next_view_id;
};

G_DEFINE_TYPE(FlEngine, fl_engine, G_TYPE_OBJECT)

static void fl_engine_dispose(GObject* object) {
  FlEngine* self = FL_ENGINE(object);
  // The relay goes first, so that the sends it fails still find a messenger
  // that can complete them.
  g_clear_object(&self->relay);
  if (self->messenger != nullptr) {
    FlBinaryMessenger* messenger = FL_BINARY_MESSENGER(self->messenger);
    FL_BINARY_MESSENGER_GET_IFACE(messenger)->shutdown(messenger);
    g_clear_object(&self->messenger);
  }
  g_clear_object(&self->project);
  G_OBJECT_CLASS(fl_engine_parent_class)->dispose(object);
}

static void fl_engine_class_init(FlEngineClass* klass) {
  G_OBJECT_CLASS(klass)->dispose = fl_engine_dispose;
}

static void fl_engine_init(FlEngine* self) {
  self->next_view_id = 1;
}

static void dart_arguments_cb(FlBinaryMessenger* messenger,
                              const gchar* /*channel*/,
                              GBytes* /*message*/,
                              FlBinaryMessengerResponseHandle* response_handle,
                              gpointer user_data) {
  FlEngine* self = FL_ENGINE(user_data);
  g_autoptr(FlValue) list = fl_value_new_list();
  gchar** arguments =
      fl_dart_project_get_dart_entrypoint_arguments(self->project);
  for (size_t i = 0; arguments != nullptr && arguments[i] != nullptr; i++) {
    fl_value_append_take(list, fl_value_new_string(arguments[i]));
  }
  g_autoptr(FlStandardMessageCodec) codec = fl_standard_message_codec_new();
  g_autoptr(GBytes) reply =
      fl_message_codec_encode_message(FL_MESSAGE_CODEC(codec), list, nullptr);
  fl_binary_messenger_send_response(messenger, response_handle, reply, nullptr);
}

G_MODULE_EXPORT FlEngine* fl_engine_new(FlDartProject* project) {
  g_return_val_if_fail(FL_IS_DART_PROJECT(project), nullptr);
  FlEngine* self = FL_ENGINE(g_object_new(fl_engine_get_type(), nullptr));
  self->project = FL_DART_PROJECT(g_object_ref(project));
  self->messenger = fl_binary_messenger_impl_new();
  // The messenger drops the handler when the engine shuts it down, so it
  // never outlives the engine it points to.
  fl_binary_messenger_set_message_handler_on_channel(
      FL_BINARY_MESSENGER(self->messenger), FL_ENGINE_DART_ARGUMENTS_CHANNEL,
      dart_arguments_cb, self, nullptr);
  return self;
}

G_MODULE_EXPORT FlBinaryMessenger* fl_engine_get_binary_messenger(
    FlEngine* self) {
  g_return_val_if_fail(FL_IS_ENGINE(self), nullptr);
  return FL_BINARY_MESSENGER(self->messenger);
}

G_MODULE_EXPORT gboolean fl_engine_start(FlEngine* self, GError** error) {
  g_return_val_if_fail(FL_IS_ENGINE(self), FALSE);
  if (self->relay != nullptr) {
    return TRUE;
  }
  std::string path = korvane_peer::SocketPathFromArguments(
      fl_dart_project_get_dart_entrypoint_arguments(self->project));
  self->relay = fl_peer_relay_new(self->messenger, path.c_str(), error);
  return self->relay != nullptr;
}

G_MODULE_EXPORT FlPeerRelay* fl_engine_get_peer_relay(FlEngine* self) {
  g_return_val_if_fail(FL_IS_ENGINE(self), nullptr);
  return self->relay;
}

guint fl_engine_get_first_frame_delay_ms(FlEngine* self) {
  g_return_val_if_fail(FL_IS_ENGINE(self), 0);
  gchar** arguments =
      fl_dart_project_get_dart_entrypoint_arguments(self->project);
  const size_t prefix_length = strlen(FL_ENGINE_FIRST_FRAME_DELAY_ARGUMENT);
  guint64 delay = 0;
  for (size_t i = 0; arguments != nullptr && arguments[i] != nullptr; i++) {
    if (strncmp(arguments[i], FL_ENGINE_FIRST_FRAME_DELAY_ARGUMENT,
                prefix_length) == 0 &&
        !g_ascii_string_to_unsigned(arguments[i] + prefix_length, 10, 0,
                                    kMaxFirstFrameDelayMs, &delay, nullptr)) {
      delay = 0;
    }
  }
  return static_cast<guint>(delay);
}

int64_t fl_engine_allocate_view_id(FlEngine* self) {
  g_return_val_if_fail(FL_IS_ENGINE(self), -1);
  return self->next_view_id++;
}
