#ifndef STAND_IN_EMBEDDING_FL_ENGINE_PRIVATE_H_
#define STAND_IN_EMBEDDING_FL_ENGINE_PRIVATE_H_

// What the engine offers its views, and tests, beyond the public API.

#include <flutter_linux/flutter_linux.h>

#include "fl_peer_relay.h"

G_BEGIN_DECLS

// The stand-in's Dart side reads these entrypoint arguments itself, as a
// Dart main() would read its own options.
//
// "--first-frame-delay-ms=N": the first frame comes N ms after the view is
// realized instead of at once, as a slow Dart side's would.
#define FL_ENGINE_FIRST_FRAME_DELAY_ARGUMENT "--first-frame-delay-ms="

// A message on this channel is answered by the Dart side itself with the
// standard codec's list of its entrypoint arguments, so that a peer can see
// exactly what reached it.
#define FL_ENGINE_DART_ARGUMENTS_CHANNEL "stand_in/dart_entrypoint_arguments"

// Starts serving the Dart side: the peer socket named by the project's
// "--peer-socket=PATH" entrypoint argument, or the default one. Starting a
// started engine does nothing. An engine that failed to start still has a
// messenger; its host messages complete as "no handler".
G_MODULE_EXPORT
gboolean fl_engine_start(FlEngine* engine, GError** error);

// NULL unless the engine has started.
G_MODULE_EXPORT
FlPeerRelay* fl_engine_get_peer_relay(FlEngine* engine);

// The first frame delay the entrypoint arguments ask for, 0 by default.
guint fl_engine_get_first_frame_delay_ms(FlEngine* engine);

// Ids for views after the first, which is the implicit view 0.
int64_t fl_engine_allocate_view_id(FlEngine* engine);

G_END_DECLS

#endif  // STAND_IN_EMBEDDING_FL_ENGINE_PRIVATE_H_
