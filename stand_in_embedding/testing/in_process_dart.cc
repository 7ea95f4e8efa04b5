#include "in_process_dart.h"

#include "fl_binary_messenger_impl.h"

namespace flutter_testing {

InProcessDart::InProcessDart()
    : messenger_(G_OBJECT(fl_binary_messenger_impl_new())) {
  fl_binary_messenger_impl_set_dart_side(FL_BINARY_MESSENGER_IMPL(messenger_),
                                         OnHostMessage, this, nullptr);
}

InProcessDart::~InProcessDart() {
  // Even if the code under test still holds a reference: nothing may call
  // back into a destroyed test object.
  g_object_run_dispose(messenger_);
  g_object_unref(messenger_);
  Drain();
}

FlBinaryMessenger* InProcessDart::messenger() const {
  return FL_BINARY_MESSENGER(messenger_);
}

std::shared_ptr<const InProcessDart::Reply> InProcessDart::Send(
    const std::string& channel,
    const Bytes& message) {
  auto reply = std::make_shared<Reply>();
  g_autoptr(GBytes) bytes = ToGBytes(message);
  fl_binary_messenger_impl_deliver(
      FL_BINARY_MESSENGER_IMPL(messenger_), channel.c_str(), bytes,
      [](GBytes* bytes, gpointer user_data) {
        auto* reply = static_cast<std::shared_ptr<Reply>*>(user_data);
        (*reply)->answered = true;
        (*reply)->bytes = ToBytes(bytes);
      },
      new std::shared_ptr<Reply>(reply),
      [](gpointer user_data) {
        auto* reply = static_cast<std::shared_ptr<Reply>*>(user_data);
        (*reply)->released = true;
        delete reply;
      });
  return reply;
}

std::optional<Bytes> InProcessDart::Call(const std::string& channel,
                                         const Bytes& message,
                                         std::chrono::milliseconds timeout) {
  auto reply = Send(channel, message);
  RunUntil([&reply] { return reply->answered || reply->released; }, timeout);
  if (!reply->answered) {
    return std::nullopt;
  }
  return reply->bytes;
}

void InProcessDart::SetHandler(const std::string& channel, Handler handler) {
  handlers_[channel] = std::move(handler);
}

void InProcessDart::OnHostMessage(const gchar* channel,
                                  GBytes* message,
                                  guint64 id,
                                  gpointer user_data) {
  auto* self = static_cast<InProcessDart*>(user_data);
  const Bytes bytes = ToBytes(message);
  self->received_.push_back({channel, bytes});

  std::optional<Bytes> reply = Bytes();
  auto handler = self->handlers_.find(channel);
  if (handler != self->handlers_.end()) {
    reply = handler->second(bytes);
  }
  if (!reply.has_value()) {
    return;
  }
  // Answer from the main context, as a real Dart isolate would, not from
  // inside the host's send call.
  auto* answer =
      new std::function<void()>([messenger = g_object_ref(self->messenger_), id,
                                 bytes = ToGBytes(*reply)] {
        fl_binary_messenger_impl_complete_send(
            FL_BINARY_MESSENGER_IMPL(messenger), id, bytes, nullptr);
        g_bytes_unref(bytes);
        g_object_unref(messenger);
      });
  g_idle_add(
      [](gpointer data) -> gboolean {
        auto* answer = static_cast<std::function<void()>*>(data);
        (*answer)();
        delete answer;
        return G_SOURCE_REMOVE;
      },
      answer);
}

bool InProcessDart::RunUntil(const std::function<bool()>& done,
                             std::chrono::milliseconds timeout) {
  bool timed_out = false;
  guint timer = g_timeout_add(
      timeout.count(),
      [](gpointer data) -> gboolean {
        *static_cast<bool*>(data) = true;
        return G_SOURCE_REMOVE;
      },
      &timed_out);
  while (!done() && !timed_out) {
    g_main_context_iteration(nullptr, TRUE);
  }
  if (!timed_out) {
    g_source_remove(timer);
  }
  return done();
}

void InProcessDart::Drain() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

}  // namespace flutter_testing
