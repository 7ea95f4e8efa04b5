#ifndef STAND_IN_EMBEDDING_FL_PEER_CONNECTION_H_
#define STAND_IN_EMBEDDING_FL_PEER_CONNECTION_H_

// One accepted peer of the peer socket: reads its frames and writes frames to
// it without ever blocking the main context. Not part of the public API.

#include <gio/gio.h>

#include "frame.h"

G_BEGIN_DECLS

G_DECLARE_FINAL_TYPE(FlPeerConnection,
                     fl_peer_connection,
                     FL,
                     PEER_CONNECTION,
                     GObject)

// Called for each whole frame, in order, on the connection's main context.
typedef void (*FlPeerConnectionFrameFunc)(FlPeerConnection* connection,
                                          const korvane_peer::Frame& frame,
                                          gpointer user_data);

// Called once when the connection closes, whatever closed it. `problem`
// says what the peer did wrong when that closed it; it is NULL when the peer
// left or the host closed the connection.
typedef void (*FlPeerConnectionClosedFunc)(FlPeerConnection* connection,
                                           const gchar* problem,
                                           gpointer user_data);

// Serves `socket` from the thread-default main context. The callbacks run
// until the connection closes; `user_data` must outlive that.
FlPeerConnection* fl_peer_connection_new(GSocket* socket,
                                         FlPeerConnectionFrameFunc on_frame,
                                         FlPeerConnectionClosedFunc on_closed,
                                         gpointer user_data);

gboolean fl_peer_connection_is_open(FlPeerConnection* connection);

// Queues a frame. Returns FALSE when it cannot be framed or the connection
// is closed; nothing is sent then.
gboolean fl_peer_connection_send_message(FlPeerConnection* connection,
                                         guint32 id,
                                         const gchar* channel,
                                         GBytes* payload);
gboolean fl_peer_connection_send_reply(FlPeerConnection* connection,
                                       guint32 id,
                                       GBytes* payload);

// The relay's count of the peer's messages that the host has taken and not
// yet answered: while too many wait, no more are read.
void fl_peer_connection_message_taken(FlPeerConnection* connection);
void fl_peer_connection_message_answered(FlPeerConnection* connection);

// Closes the connection; `problem` as for FlPeerConnectionClosedFunc.
void fl_peer_connection_close(FlPeerConnection* connection,
                              const gchar* problem);

G_END_DECLS

#endif  // STAND_IN_EMBEDDING_FL_PEER_CONNECTION_H_
