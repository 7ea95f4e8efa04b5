#ifndef STAND_IN_EMBEDDING_FL_BINARY_MESSENGER_IMPL_H_
#define STAND_IN_EMBEDDING_FL_BINARY_MESSENGER_IMPL_H_

// The stand-in's own messenger: a real FlBinaryMessenger whose far end, the
// "Dart side", is pluggable. The engine plugs in the peer socket; tests plug
// in an in-process Dart side. Not part of the public embedding API.

#include <flutter_linux/flutter_linux.h>

G_BEGIN_DECLS

G_MODULE_EXPORT
G_DECLARE_FINAL_TYPE(FlBinaryMessengerImpl,
                     fl_binary_messenger_impl,
                     FL,
                     BINARY_MESSENGER_IMPL,
                     GObject)

// Hands one host message to the Dart side, which answers it exactly once with
// fl_binary_messenger_impl_complete_send() and the same `id`.
typedef void (*FlDartSideSendFunc)(const gchar* channel,
                                   GBytes* message,
                                   guint64 id,
                                   gpointer user_data);

// Carries the host's reply to a Dart-side message. An empty reply means that
// no handler was registered on the channel.
typedef void (*FlDartSideReplyFunc)(GBytes* reply, gpointer user_data);

// Messages and replies are delivered through the main context that is the
// thread default when the messenger is created.
G_MODULE_EXPORT
FlBinaryMessengerImpl* fl_binary_messenger_impl_new();

// Without a Dart side, host messages complete at once with an empty reply.
// Passing a NULL `send` removes the Dart side.
G_MODULE_EXPORT
void fl_binary_messenger_impl_set_dart_side(FlBinaryMessengerImpl* messenger,
                                            FlDartSideSendFunc send,
                                            gpointer user_data,
                                            GDestroyNotify destroy_notify);

// Completes the host message `id` with `reply`, or with `error` when `reply`
// is NULL. Unknown, cancelled or already completed ids are ignored.
G_MODULE_EXPORT
void fl_binary_messenger_impl_complete_send(FlBinaryMessengerImpl* messenger,
                                            guint64 id,
                                            GBytes* reply,
                                            const GError* error);

// Delivers a Dart-side message to the channel's handler on the main context.
// `reply` runs at most once there, with the host's reply; `destroy_notify`
// runs there afterwards, also when the host never replies.
G_MODULE_EXPORT
void fl_binary_messenger_impl_deliver(FlBinaryMessengerImpl* messenger,
                                      const gchar* channel,
                                      GBytes* message,
                                      FlDartSideReplyFunc reply,
                                      gpointer user_data,
                                      GDestroyNotify destroy_notify);

G_END_DECLS

#endif  // STAND_IN_EMBEDDING_FL_BINARY_MESSENGER_IMPL_H_
