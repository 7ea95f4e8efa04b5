#include "fl_binary_messenger_impl.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>

namespace {

// A registered channel handler. Shared with the dispatches that are running
// it, so that replacing a handler from inside itself cannot free its user
// data while it still runs.
struct ChannelHandler {
  ChannelHandler(FlBinaryMessengerMessageHandler handler,
                 gpointer user_data,
                 GDestroyNotify destroy_notify)
      : handler(handler),
        user_data(user_data),
        destroy_notify(destroy_notify) {}
  ChannelHandler(const ChannelHandler&) = delete;
  ChannelHandler& operator=(const ChannelHandler&) = delete;

  FlBinaryMessengerMessageHandler handler;
  gpointer user_data;
  GDestroyNotify destroy_notify;

  ~ChannelHandler() {
    if (destroy_notify != nullptr) {
      destroy_notify(user_data);
    }
  }
};

// Names one pending send for the cancellation callback.
struct SendTarget {
  FlBinaryMessengerImpl* messenger;
  guint64 id;
};

struct PendingSend {
  GTask* task;
  GCancellable* cancellable;
  gulong cancel_handler;
};

// Runs `work` once on `context`, in a later iteration.
void defer(GMainContext* context, std::function<void()> work) {
  auto closure = std::make_unique<std::function<void()>>(std::move(work));
  GSource* source = g_idle_source_new();
  g_source_set_priority(source, G_PRIORITY_DEFAULT);
  g_source_set_callback(
      source,
      [](gpointer data) -> gboolean {
        (*static_cast<std::function<void()>*>(data))();
        return G_SOURCE_REMOVE;
      },
      closure.release(),
      [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
  g_source_attach(source, context);
  g_source_unref(source);
}

}  // namespace

struct _FlBinaryMessengerImpl {
  GObject parent_instance;

  GMainContext* context;
  bool shut_down;

  std::unordered_map<std::string, std::shared_ptr<ChannelHandler>>* handlers;

  FlDartSideSendFunc dart_send;
  gpointer dart_user_data;
  GDestroyNotify dart_destroy_notify;

  guint64 next_send_id;
  std::unordered_map<guint64, PendingSend>* pending_sends;
};

static void fl_binary_messenger_impl_iface_init(
    FlBinaryMessengerInterface* iface);

G_DEFINE_TYPE_WITH_CODE(
    FlBinaryMessengerImpl,
    fl_binary_messenger_impl,
    G_TYPE_OBJECT,
    G_IMPLEMENT_INTERFACE(fl_binary_messenger_get_type(),
                          fl_binary_messenger_impl_iface_init))

// The response handle that this messenger gives its handlers: it carries the
// Dart side's reply function until the reply is sent.
G_DECLARE_FINAL_TYPE(FlBinaryMessengerResponseHandleImpl,
                     fl_binary_messenger_response_handle_impl,
                     FL,
                     BINARY_MESSENGER_RESPONSE_HANDLE_IMPL,
                     FlBinaryMessengerResponseHandle)

struct _FlBinaryMessengerResponseHandleImpl {
  FlBinaryMessengerResponseHandle parent_instance;

  FlBinaryMessengerImpl* messenger;
  FlDartSideReplyFunc reply;
  gpointer reply_user_data;
  GDestroyNotify reply_destroy_notify;
  gint responded;
};

G_DEFINE_TYPE(FlBinaryMessengerResponseHandleImpl,
              fl_binary_messenger_response_handle_impl,
              fl_binary_messenger_response_handle_get_type())

// Hands `reply` (or, when NULL, only the release of the Dart side's data) to
// the Dart side on the messenger's main context.
static void finish_reply(FlBinaryMessengerResponseHandleImpl* self,
                         GBytes* reply) {
  FlDartSideReplyFunc reply_func = self->reply;
  gpointer user_data = self->reply_user_data;
  GDestroyNotify destroy_notify = self->reply_destroy_notify;
  GBytes* bytes = reply != nullptr ? g_bytes_ref(reply) : nullptr;
  self->reply = nullptr;
  self->reply_destroy_notify = nullptr;
  defer(self->messenger->context, [=]() {
    if (bytes != nullptr) {
      reply_func(bytes, user_data);
      g_bytes_unref(bytes);
    }
    if (destroy_notify != nullptr) {
      destroy_notify(user_data);
    }
  });
}

static void fl_binary_messenger_response_handle_impl_dispose(GObject* object) {
  FlBinaryMessengerResponseHandleImpl* self =
      FL_BINARY_MESSENGER_RESPONSE_HANDLE_IMPL(object);

  if (self->messenger != nullptr) {
    if (!g_atomic_int_get(&self->responded)) {
      if (!self->messenger->shut_down) {
        g_critical("FlBinaryMessengerResponseHandle was not responded to");
      }
      finish_reply(self, nullptr);
    }
    g_clear_object(&self->messenger);
  }

  G_OBJECT_CLASS(fl_binary_messenger_response_handle_impl_parent_class)
      ->dispose(object);
}

static void fl_binary_messenger_response_handle_impl_class_init(
    FlBinaryMessengerResponseHandleImplClass* klass) {
  G_OBJECT_CLASS(klass)->dispose =
      fl_binary_messenger_response_handle_impl_dispose;
}

static void fl_binary_messenger_response_handle_impl_init(
    FlBinaryMessengerResponseHandleImpl* /*self*/) {}

static FlBinaryMessengerResponseHandleImpl*
fl_binary_messenger_response_handle_impl_new(FlBinaryMessengerImpl* messenger,
                                             FlDartSideReplyFunc reply,
                                             gpointer user_data,
                                             GDestroyNotify destroy_notify) {
  FlBinaryMessengerResponseHandleImpl* self =
      FL_BINARY_MESSENGER_RESPONSE_HANDLE_IMPL(g_object_new(
          fl_binary_messenger_response_handle_impl_get_type(), nullptr));
  self->messenger = FL_BINARY_MESSENGER_IMPL(g_object_ref(messenger));
  self->reply = reply;
  self->reply_user_data = user_data;
  self->reply_destroy_notify = destroy_notify;
  return self;
}

static void complete_task(GTask* task, GBytes* reply, const GError* error) {
  if (reply != nullptr) {
    g_task_return_pointer(task, g_bytes_ref(reply), [](gpointer bytes) {
      g_bytes_unref(static_cast<GBytes*>(bytes));
    });
  } else {
    g_task_return_error(task, g_error_copy(error));
  }
  g_object_unref(task);
}

static void complete_send(FlBinaryMessengerImpl* self,
                          guint64 id,
                          GBytes* reply,
                          const GError* error) {
  auto it = self->pending_sends->find(id);
  if (it == self->pending_sends->end()) {
    return;
  }
  PendingSend pending = it->second;
  self->pending_sends->erase(it);
  if (pending.cancellable != nullptr) {
    g_cancellable_disconnect(pending.cancellable, pending.cancel_handler);
    g_object_unref(pending.cancellable);
  }
  complete_task(pending.task, reply, error);
}

static void shutdown(FlBinaryMessenger* messenger) {
  FlBinaryMessengerImpl* self = FL_BINARY_MESSENGER_IMPL(messenger);
  if (self->shut_down) {
    return;
  }
  self->shut_down = true;

  // Release outside the tables: destroy notifies may call back into us.
  auto handlers = std::move(*self->handlers);
  self->handlers->clear();
  handlers.clear();

  g_autoptr(GError) error = g_error_new(G_IO_ERROR, G_IO_ERROR_CLOSED,
                                        "The messenger has shut down");
  while (!self->pending_sends->empty()) {
    complete_send(self, self->pending_sends->begin()->first, nullptr, error);
  }

  fl_binary_messenger_impl_set_dart_side(self, nullptr, nullptr, nullptr);
}

static void set_message_handler_on_channel(
    FlBinaryMessenger* messenger,
    const gchar* channel,
    FlBinaryMessengerMessageHandler handler,
    gpointer user_data,
    GDestroyNotify destroy_notify) {
  FlBinaryMessengerImpl* self = FL_BINARY_MESSENGER_IMPL(messenger);

  if (self->shut_down) {
    if (handler != nullptr) {
      g_warning("Attempted to set message handler on a shut down messenger");
    }
    if (destroy_notify != nullptr) {
      destroy_notify(user_data);
    }
    return;
  }

  // The previous handler's data is released last, once the table is
  // consistent again, because its destroy notify may call back into us.
  std::shared_ptr<ChannelHandler> previous;
  auto it = self->handlers->find(channel);
  if (it != self->handlers->end()) {
    previous = std::move(it->second);
    self->handlers->erase(it);
  }
  if (handler != nullptr) {
    self->handlers->emplace(channel, std::make_shared<ChannelHandler>(
                                         handler, user_data, destroy_notify));
  }
}

static gboolean send_response(FlBinaryMessenger* messenger,
                              FlBinaryMessengerResponseHandle* response_handle,
                              GBytes* response,
                              GError** error) {
  g_return_val_if_fail(
      FL_IS_BINARY_MESSENGER_RESPONSE_HANDLE_IMPL(response_handle), FALSE);
  FlBinaryMessengerResponseHandleImpl* handle =
      FL_BINARY_MESSENGER_RESPONSE_HANDLE_IMPL(response_handle);
  g_return_val_if_fail(handle->messenger == FL_BINARY_MESSENGER_IMPL(messenger),
                       FALSE);

  if (!g_atomic_int_compare_and_exchange(&handle->responded, 0, 1)) {
    g_set_error(error, FL_BINARY_MESSENGER_ERROR,
                FL_BINARY_MESSENGER_ERROR_ALREADY_RESPONDED,
                "Attempted to respond to a message that is already responded "
                "to");
    return FALSE;
  }

  g_autoptr(GBytes) empty = nullptr;
  if (response == nullptr) {
    empty = g_bytes_new(nullptr, 0);
    response = empty;
  }
  finish_reply(handle, response);
  return TRUE;
}

static void cancelled_cb(GCancellable* /*cancellable*/, gpointer user_data) {
  // May run on any thread: complete on the messenger's own context.
  auto* target = static_cast<SendTarget*>(user_data);
  FlBinaryMessengerImpl* self =
      FL_BINARY_MESSENGER_IMPL(g_object_ref(target->messenger));
  guint64 id = target->id;
  defer(self->context, [self, id]() {
    g_autoptr(GError) error = g_error_new(G_IO_ERROR, G_IO_ERROR_CANCELLED,
                                          "The send was cancelled");
    complete_send(self, id, nullptr, error);
    g_object_unref(self);
  });
}

static void send_on_channel(FlBinaryMessenger* messenger,
                            const gchar* channel,
                            GBytes* message,
                            GCancellable* cancellable,
                            GAsyncReadyCallback callback,
                            gpointer user_data) {
  FlBinaryMessengerImpl* self = FL_BINARY_MESSENGER_IMPL(messenger);
  guint64 id = self->next_send_id++;

  if (callback != nullptr) {
    PendingSend pending = {g_task_new(self, cancellable, callback, user_data),
                           nullptr, 0};
    self->pending_sends->emplace(id, pending);
    if (cancellable != nullptr) {
      // Registered after the entry exists: an already cancelled cancellable
      // calls back at once.
      auto& entry = self->pending_sends->at(id);
      SendTarget target = {self, id};
      entry.cancellable = G_CANCELLABLE(g_object_ref(cancellable));
      entry.cancel_handler = g_cancellable_connect(
          cancellable, G_CALLBACK(cancelled_cb),
          g_memdup2(&target, sizeof(target)), g_free);
    }
  }

  if (self->shut_down) {
    g_autoptr(GError) error = g_error_new(G_IO_ERROR, G_IO_ERROR_CLOSED,
                                          "The messenger has shut down");
    complete_send(self, id, nullptr, error);
    return;
  }
  if (self->dart_send == nullptr) {
    g_autoptr(GBytes) no_handler = g_bytes_new(nullptr, 0);
    complete_send(self, id, no_handler, nullptr);
    return;
  }

  g_autoptr(GBytes) empty = nullptr;
  if (message == nullptr) {
    empty = g_bytes_new(nullptr, 0);
    message = empty;
  }
  self->dart_send(channel, message, id, self->dart_user_data);
}

static GBytes* send_on_channel_finish(FlBinaryMessenger* messenger,
                                      GAsyncResult* result,
                                      GError** error) {
  g_return_val_if_fail(g_task_is_valid(result, messenger), nullptr);
  return static_cast<GBytes*>(g_task_propagate_pointer(G_TASK(result), error));
}

// Channel buffers belong to the engine's own queueing, which the stand-in
// does not have: there is nothing to resize and nothing overflows.
static void resize_channel(FlBinaryMessenger* /*messenger*/,
                           const gchar* /*channel*/,
                           int64_t /*new_size*/) {}

static void set_warns_on_channel_overflow(FlBinaryMessenger* /*messenger*/,
                                          const gchar* /*channel*/,
                                          bool /*warns*/) {}

static void fl_binary_messenger_impl_iface_init(
    FlBinaryMessengerInterface* iface) {
  iface->set_message_handler_on_channel = set_message_handler_on_channel;
  iface->send_response = send_response;
  iface->send_on_channel = send_on_channel;
  iface->send_on_channel_finish = send_on_channel_finish;
  iface->resize_channel = resize_channel;
  iface->set_warns_on_channel_overflow = set_warns_on_channel_overflow;
  iface->shutdown = shutdown;
}

static void fl_binary_messenger_impl_dispose(GObject* object) {
  shutdown(FL_BINARY_MESSENGER(object));
  G_OBJECT_CLASS(fl_binary_messenger_impl_parent_class)->dispose(object);
}

static void fl_binary_messenger_impl_finalize(GObject* object) {
  FlBinaryMessengerImpl* self = FL_BINARY_MESSENGER_IMPL(object);
  delete self->handlers;
  delete self->pending_sends;
  g_main_context_unref(self->context);
  G_OBJECT_CLASS(fl_binary_messenger_impl_parent_class)->finalize(object);
}

static void fl_binary_messenger_impl_class_init(
    FlBinaryMessengerImplClass* klass) {
  G_OBJECT_CLASS(klass)->dispose = fl_binary_messenger_impl_dispose;
  G_OBJECT_CLASS(klass)->finalize = fl_binary_messenger_impl_finalize;
}

static void fl_binary_messenger_impl_init(FlBinaryMessengerImpl* self) {
  self->context = g_main_context_ref_thread_default();
  self->handlers =
      new std::unordered_map<std::string, std::shared_ptr<ChannelHandler>>();
  self->pending_sends = new std::unordered_map<guint64, PendingSend>();
  self->next_send_id = 1;
}

G_MODULE_EXPORT FlBinaryMessengerImpl* fl_binary_messenger_impl_new() {
  return FL_BINARY_MESSENGER_IMPL(
      g_object_new(fl_binary_messenger_impl_get_type(), nullptr));
}

G_MODULE_EXPORT void fl_binary_messenger_impl_set_dart_side(
    FlBinaryMessengerImpl* self,
    FlDartSideSendFunc send,
    gpointer user_data,
    GDestroyNotify destroy_notify) {
  g_return_if_fail(FL_IS_BINARY_MESSENGER_IMPL(self));

  if (send == nullptr || self->shut_down) {
    if (destroy_notify != nullptr) {
      destroy_notify(user_data);
    }
    send = nullptr;
    user_data = nullptr;
    destroy_notify = nullptr;
  }
  gpointer old_user_data = self->dart_user_data;
  GDestroyNotify old_destroy_notify = self->dart_destroy_notify;
  self->dart_send = send;
  self->dart_user_data = user_data;
  self->dart_destroy_notify = destroy_notify;
  if (old_destroy_notify != nullptr) {
    old_destroy_notify(old_user_data);
  }
}

G_MODULE_EXPORT void fl_binary_messenger_impl_complete_send(
    FlBinaryMessengerImpl* self,
    guint64 id,
    GBytes* reply,
    const GError* error) {
  g_return_if_fail(FL_IS_BINARY_MESSENGER_IMPL(self));
  g_return_if_fail(reply != nullptr || error != nullptr);
  complete_send(self, id, reply, error);
}

G_MODULE_EXPORT void fl_binary_messenger_impl_deliver(
    FlBinaryMessengerImpl* self,
    const gchar* channel,
    GBytes* message,
    FlDartSideReplyFunc reply,
    gpointer user_data,
    GDestroyNotify destroy_notify) {
  g_return_if_fail(FL_IS_BINARY_MESSENGER_IMPL(self));
  g_return_if_fail(channel != nullptr);
  g_return_if_fail(message != nullptr);
  g_return_if_fail(reply != nullptr);

  g_object_ref(self);
  std::string name(channel);
  g_bytes_ref(message);
  defer(self->context, [=]() {
    g_autoptr(FlBinaryMessengerResponseHandleImpl) handle =
        fl_binary_messenger_response_handle_impl_new(self, reply, user_data,
                                                     destroy_notify);
    std::shared_ptr<ChannelHandler> handler;
    auto it = self->handlers->find(name);
    if (it != self->handlers->end()) {
      handler = it->second;
    }
    if (handler != nullptr) {
      handler->handler(FL_BINARY_MESSENGER(self), name.c_str(), message,
                       FL_BINARY_MESSENGER_RESPONSE_HANDLE(handle),
                       handler->user_data);
    } else {
      send_response(FL_BINARY_MESSENGER(self),
                    FL_BINARY_MESSENGER_RESPONSE_HANDLE(handle), nullptr,
                    nullptr);
    }
    g_bytes_unref(message);
    g_object_unref(self);
  });
}
