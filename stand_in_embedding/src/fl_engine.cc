#include "fl_engine_private.h"

#include "fl_binary_messenger_impl.h"
#include "socket_path.h"

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

G_MODULE_EXPORT FlEngine* fl_engine_new(FlDartProject* project) {
  g_return_val_if_fail(FL_IS_DART_PROJECT(project), nullptr);
  FlEngine* self = FL_ENGINE(g_object_new(fl_engine_get_type(), nullptr));
  self->project = FL_DART_PROJECT(g_object_ref(project));
  self->messenger = fl_binary_messenger_impl_new();
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

int64_t fl_engine_allocate_view_id(FlEngine* self) {
  g_return_val_if_fail(FL_IS_ENGINE(self), -1);
  return self->next_view_id++;
}
