#include "fl_peer_relay.h"

#include <errno.h>
#include <gio/gunixsocketaddress.h>
#include <glib/gstdio.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "fl_peer_connection.h"

namespace {

// One connected peer and the host messages it has not answered yet.
struct Peer {
  explicit Peer(FlPeerConnection* connection) : connection(connection) {}
  ~Peer() { g_object_unref(connection); }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  FlPeerConnection* connection;
  guint32 next_id = 1;
  // Wire id of each host message sent to this peer -> the messenger's id.
  std::unordered_map<guint32, guint64> pending;
};

// A peer's message on its way through the host, until the host answers it.
struct PeerMessage {
  FlPeerConnection* connection;
  guint32 id;
  gboolean answered;
};

}  // namespace

struct _FlPeerRelay {
  GObject parent_instance;

  FlBinaryMessengerImpl* messenger;
  gchar* path;
  GSocket* listener;
  GSource* accept_source;
  // Oldest first: the last one is the Dart side for host messages.
  std::vector<std::unique_ptr<Peer>>* peers;
};

enum { PROP_0, PROP_PEER_COUNT, N_PROPERTIES };
static GParamSpec* properties[N_PROPERTIES];

G_DEFINE_TYPE(FlPeerRelay, fl_peer_relay, G_TYPE_OBJECT)

static void fail_pending(FlPeerRelay* self, Peer* peer) {
  g_autoptr(GError) error =
      g_error_new(G_IO_ERROR, G_IO_ERROR_CONNECTION_CLOSED,
                  "The peer went away before replying");
  for (const auto& [wire_id, send_id] : peer->pending) {
    fl_binary_messenger_impl_complete_send(self->messenger, send_id, nullptr,
                                           error);
  }
  peer->pending.clear();
}

static Peer* find_peer(FlPeerRelay* self, FlPeerConnection* connection) {
  for (const auto& peer : *self->peers) {
    if (peer->connection == connection) {
      return peer.get();
    }
  }
  return nullptr;
}

static void connection_closed_cb(FlPeerConnection* connection,
                                 const gchar* problem,
                                 gpointer user_data) {
  FlPeerRelay* self = FL_PEER_RELAY(user_data);
  auto it = std::find_if(self->peers->begin(), self->peers->end(),
                         [connection](const std::unique_ptr<Peer>& peer) {
                           return peer->connection == connection;
                         });
  if (it == self->peers->end()) {
    return;
  }
  std::unique_ptr<Peer> peer = std::move(*it);
  self->peers->erase(it);
  if (problem != nullptr) {
    g_warning("Closed a peer connection on %s: %s", self->path, problem);
  }
  fail_pending(self, peer.get());
  g_object_notify_by_pspec(G_OBJECT(self), properties[PROP_PEER_COUNT]);
}

static void peer_message_reply_cb(GBytes* reply, gpointer user_data) {
  auto* message = static_cast<PeerMessage*>(user_data);
  message->answered = TRUE;
  if (fl_peer_connection_is_open(message->connection) &&
      !fl_peer_connection_send_reply(message->connection, message->id, reply) &&
      fl_peer_connection_is_open(message->connection)) {
    // The peer waits for exactly this reply; without it, it would wait for
    // ever, so it is better told by a closed connection.
    fl_peer_connection_close(message->connection,
                             "the host's reply does not fit in a frame");
  }
}

static void peer_message_free(gpointer user_data) {
  auto* message = static_cast<PeerMessage*>(user_data);
  // The host dropped the message unanswered. Every message gets its reply,
  // so the peer hears "no handler" instead of waiting for ever.
  if (!message->answered && fl_peer_connection_is_open(message->connection)) {
    g_autoptr(GBytes) empty = g_bytes_new(nullptr, 0);
    fl_peer_connection_send_reply(message->connection, message->id, empty);
  }
  fl_peer_connection_message_answered(message->connection);
  g_object_unref(message->connection);
  g_free(message);
}

static void connection_frame_cb(FlPeerConnection* connection,
                                const korvane_peer::Frame& frame,
                                gpointer user_data) {
  FlPeerRelay* self = FL_PEER_RELAY(user_data);
  Peer* peer = find_peer(self, connection);
  if (peer == nullptr) {
    return;
  }
  g_autoptr(GBytes) payload =
      g_bytes_new(frame.payload.data(), frame.payload.size());

  if (frame.kind == korvane_peer::FrameKind::kReply) {
    auto it = peer->pending.find(frame.id);
    if (it == peer->pending.end()) {
      g_autofree gchar* problem =
          g_strdup_printf("reply to unknown id %u", frame.id);
      fl_peer_connection_close(connection, problem);
      return;
    }
    guint64 send_id = it->second;
    peer->pending.erase(it);
    fl_binary_messenger_impl_complete_send(self->messenger, send_id, payload,
                                           nullptr);
    return;
  }

  PeerMessage* message = g_new0(PeerMessage, 1);
  message->connection = FL_PEER_CONNECTION(g_object_ref(connection));
  message->id = frame.id;
  fl_peer_connection_message_taken(connection);
  fl_binary_messenger_impl_deliver(self->messenger, frame.channel.c_str(),
                                   payload, peer_message_reply_cb, message,
                                   peer_message_free);
}

// The messenger's Dart side: hands a host message to the newest peer.
static void host_message_cb(const gchar* channel,
                            GBytes* message,
                            guint64 send_id,
                            gpointer user_data) {
  FlPeerRelay* self = FL_PEER_RELAY(user_data);
  if (self->peers->empty()) {
    g_autoptr(GBytes) no_handler = g_bytes_new(nullptr, 0);
    fl_binary_messenger_impl_complete_send(self->messenger, send_id, no_handler,
                                           nullptr);
    return;
  }

  Peer* peer = self->peers->back().get();
  guint32 wire_id;
  do {
    wire_id = peer->next_id++;
  } while (peer->pending.count(wire_id) > 0);

  // Sending may find the peer gone, which removes it from under us.
  g_autoptr(FlPeerConnection) connection =
      FL_PEER_CONNECTION(g_object_ref(peer->connection));
  if (fl_peer_connection_send_message(connection, wire_id, channel, message)) {
    peer->pending.emplace(wire_id, send_id);
    return;
  }
  g_autoptr(GError) error =
      fl_peer_connection_is_open(connection)
          ? g_error_new(G_IO_ERROR, G_IO_ERROR_MESSAGE_TOO_LARGE,
                        "The message does not fit in a peer socket frame")
          : g_error_new(G_IO_ERROR, G_IO_ERROR_CONNECTION_CLOSED,
                        "The peer went away before replying");
  fl_binary_messenger_impl_complete_send(self->messenger, send_id, nullptr,
                                         error);
}

static void accept_peer(FlPeerRelay* self, GSocket* socket) {
  g_autoptr(GError) error = nullptr;
  GCredentials* credentials = g_socket_get_credentials(socket, &error);
  uid_t uid = credentials == nullptr
                  ? static_cast<uid_t>(-1)
                  : g_credentials_get_unix_user(credentials, &error);
  g_clear_object(&credentials);
  if (error != nullptr || uid != geteuid()) {
    if (error != nullptr) {
      g_warning("Refused a peer on %s: %s", self->path, error->message);
    } else {
      g_warning("Refused a peer of user %u on %s: the host runs as user %u",
                static_cast<guint>(uid), self->path,
                static_cast<guint>(geteuid()));
    }
    g_socket_close(socket, nullptr);
    return;
  }

  self->peers->push_back(std::make_unique<Peer>(fl_peer_connection_new(
      socket, connection_frame_cb, connection_closed_cb, self)));
  g_object_notify_by_pspec(G_OBJECT(self), properties[PROP_PEER_COUNT]);
}

static gboolean accept_cb(GSocket* listener,
                          GIOCondition /*condition*/,
                          gpointer user_data) {
  FlPeerRelay* self = FL_PEER_RELAY(user_data);
  while (true) {
    g_autoptr(GError) error = nullptr;
    g_autoptr(GSocket) socket = g_socket_accept(listener, nullptr, &error);
    if (socket == nullptr) {
      if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_WOULD_BLOCK)) {
        g_warning("Failed to accept a peer on %s: %s", self->path,
                  error->message);
      }
      return G_SOURCE_CONTINUE;
    }
    accept_peer(self, socket);
  }
}

// A socket file that no host serves any more is stale and may go; one that a
// running host still answers on is not ours to take.
static gboolean remove_stale_file(const gchar* path,
                                  GSocketAddress* address,
                                  GError** error) {
  GStatBuf status;
  if (g_lstat(path, &status) != 0) {
    if (errno == ENOENT) {
      return TRUE;
    }
    int saved_errno = errno;
    g_set_error(error, G_IO_ERROR, g_io_error_from_errno(saved_errno),
                "Cannot inspect %s: %s", path, g_strerror(saved_errno));
    return FALSE;
  }

  if (S_ISSOCK(status.st_mode)) {
    g_autoptr(GSocket) probe =
        g_socket_new(G_SOCKET_FAMILY_UNIX, G_SOCKET_TYPE_STREAM,
                     G_SOCKET_PROTOCOL_DEFAULT, error);
    if (probe == nullptr) {
      return FALSE;
    }
    g_socket_set_blocking(probe, FALSE);
    g_autoptr(GError) probe_error = nullptr;
    if (g_socket_connect(probe, address, nullptr, &probe_error) ||
        !g_error_matches(probe_error, G_IO_ERROR,
                         G_IO_ERROR_CONNECTION_REFUSED)) {
      g_set_error(error, G_IO_ERROR, G_IO_ERROR_ADDRESS_IN_USE,
                  "%s is in use by a running host", path);
      return FALSE;
    }
  }

  if (g_unlink(path) != 0) {
    int saved_errno = errno;
    g_set_error(error, G_IO_ERROR, g_io_error_from_errno(saved_errno),
                "Cannot replace %s: %s", path, g_strerror(saved_errno));
    return FALSE;
  }
  return TRUE;
}

static GSocket* listen_on(const gchar* path, GError** error) {
  g_autoptr(GSocketAddress) address = g_unix_socket_address_new(path);
  if (!remove_stale_file(path, address, error)) {
    return nullptr;
  }
  g_autoptr(GSocket) listener =
      g_socket_new(G_SOCKET_FAMILY_UNIX, G_SOCKET_TYPE_STREAM,
                   G_SOCKET_PROTOCOL_DEFAULT, error);
  if (listener == nullptr || !g_socket_bind(listener, address, FALSE, error)) {
    return nullptr;
  }
  // Until listen() no one can connect, so the file's mode is narrowed before
  // anyone can use the wider one that bind() gave it.
  if (g_chmod(path, 0600) != 0) {
    int saved_errno = errno;
    g_set_error(error, G_IO_ERROR, g_io_error_from_errno(saved_errno),
                "Cannot restrict %s to its owner: %s", path,
                g_strerror(saved_errno));
    g_unlink(path);
    return nullptr;
  }
  if (!g_socket_listen(listener, error)) {
    g_unlink(path);
    return nullptr;
  }
  g_socket_set_blocking(listener, FALSE);
  return G_SOCKET(g_steal_pointer(&listener));
}

static void fl_peer_relay_dispose(GObject* object) {
  FlPeerRelay* self = FL_PEER_RELAY(object);

  if (self->messenger != nullptr) {
    fl_binary_messenger_impl_set_dart_side(self->messenger, nullptr, nullptr,
                                           nullptr);
  }
  // Taken out first, so that the close callbacks find nothing to update.
  std::vector<std::unique_ptr<Peer>> peers = std::move(*self->peers);
  self->peers->clear();
  for (const auto& peer : peers) {
    fail_pending(self, peer.get());
    fl_peer_connection_close(peer->connection, nullptr);
  }
  peers.clear();

  if (self->accept_source != nullptr) {
    g_source_destroy(self->accept_source);
    g_clear_pointer(&self->accept_source, g_source_unref);
  }
  if (self->listener != nullptr) {
    g_socket_close(self->listener, nullptr);
    g_clear_object(&self->listener);
    g_unlink(self->path);
  }
  g_clear_object(&self->messenger);
  G_OBJECT_CLASS(fl_peer_relay_parent_class)->dispose(object);
}

static void fl_peer_relay_finalize(GObject* object) {
  FlPeerRelay* self = FL_PEER_RELAY(object);
  delete self->peers;
  g_free(self->path);
  G_OBJECT_CLASS(fl_peer_relay_parent_class)->finalize(object);
}

static void fl_peer_relay_get_property(GObject* object,
                                       guint property_id,
                                       GValue* value,
                                       GParamSpec* pspec) {
  FlPeerRelay* self = FL_PEER_RELAY(object);
  switch (property_id) {
    case PROP_PEER_COUNT:
      g_value_set_uint(value, self->peers->size());
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, property_id, pspec);
      break;
  }
}

static void fl_peer_relay_class_init(FlPeerRelayClass* klass) {
  GObjectClass* object_class = G_OBJECT_CLASS(klass);
  object_class->dispose = fl_peer_relay_dispose;
  object_class->finalize = fl_peer_relay_finalize;
  object_class->get_property = fl_peer_relay_get_property;
  properties[PROP_PEER_COUNT] = g_param_spec_uint(
      "peer-count", "Peer count", "Peers now connected", 0, G_MAXUINT, 0,
      static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS));
  g_object_class_install_properties(object_class, N_PROPERTIES, properties);
}

static void fl_peer_relay_init(FlPeerRelay* self) {
  self->peers = new std::vector<std::unique_ptr<Peer>>();
}

G_MODULE_EXPORT FlPeerRelay* fl_peer_relay_new(FlBinaryMessengerImpl* messenger,
                                               const gchar* path,
                                               GError** error) {
  g_return_val_if_fail(FL_IS_BINARY_MESSENGER_IMPL(messenger), nullptr);
  g_return_val_if_fail(path != nullptr, nullptr);

  if (path[0] == '\0' || strlen(path) >= sizeof(sockaddr_un::sun_path)) {
    g_set_error(error, G_IO_ERROR, G_IO_ERROR_INVALID_ARGUMENT,
                "\"%s\" cannot be a peer socket path: it must be 1 to %zu "
                "bytes long",
                path, sizeof(sockaddr_un::sun_path) - 1);
    return nullptr;
  }
  g_autoptr(GSocket) listener = listen_on(path, error);
  if (listener == nullptr) {
    return nullptr;
  }

  FlPeerRelay* self =
      FL_PEER_RELAY(g_object_new(fl_peer_relay_get_type(), nullptr));
  self->messenger = FL_BINARY_MESSENGER_IMPL(g_object_ref(messenger));
  self->path = g_strdup(path);
  self->listener = G_SOCKET(g_steal_pointer(&listener));
  self->accept_source =
      g_socket_create_source(self->listener, G_IO_IN, nullptr);
  g_source_set_callback(self->accept_source, G_SOURCE_FUNC(accept_cb), self,
                        nullptr);
  g_source_attach(self->accept_source, g_main_context_get_thread_default());
  fl_binary_messenger_impl_set_dart_side(messenger, host_message_cb, self,
                                         nullptr);
  return self;
}

G_MODULE_EXPORT const gchar* fl_peer_relay_get_path(FlPeerRelay* self) {
  g_return_val_if_fail(FL_IS_PEER_RELAY(self), nullptr);
  return self->path;
}

G_MODULE_EXPORT guint fl_peer_relay_get_peer_count(FlPeerRelay* self) {
  g_return_val_if_fail(FL_IS_PEER_RELAY(self), 0);
  return self->peers->size();
}
