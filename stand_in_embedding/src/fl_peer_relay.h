#ifndef STAND_IN_EMBEDDING_FL_PEER_RELAY_H_
#define STAND_IN_EMBEDDING_FL_PEER_RELAY_H_

// The engine's Dart side: a Unix socket on which other processes play the
// Dart side of a messenger. Not part of the public embedding API.

#include "fl_binary_messenger_impl.h"

G_BEGIN_DECLS

G_MODULE_EXPORT
G_DECLARE_FINAL_TYPE(FlPeerRelay, fl_peer_relay, FL, PEER_RELAY, GObject)

// Serves the peer socket at `path` from the thread-default main context and
// plugs itself into `messenger` as its Dart side. A stale file at `path` is
// replaced; a socket that a running host still serves is not, and makes this
// fail. Disposing the relay unplugs it, fails the sends still waiting for a
// peer's reply, and removes the socket file.
G_MODULE_EXPORT
FlPeerRelay* fl_peer_relay_new(FlBinaryMessengerImpl* messenger,
                               const gchar* path,
                               GError** error);

G_MODULE_EXPORT
const gchar* fl_peer_relay_get_path(FlPeerRelay* relay);

// Peers now connected; "notify::peer-count" tells when it changes.
G_MODULE_EXPORT
guint fl_peer_relay_get_peer_count(FlPeerRelay* relay);

G_END_DECLS

#endif  // STAND_IN_EMBEDDING_FL_PEER_RELAY_H_
