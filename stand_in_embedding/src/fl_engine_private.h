#ifndef STAND_IN_EMBEDDING_FL_ENGINE_PRIVATE_H_
#define STAND_IN_EMBEDDING_FL_ENGINE_PRIVATE_H_

// What the engine offers its views, and tests, beyond the public API.

#include <flutter_linux/flutter_linux.h>

#include "fl_peer_relay.h"

G_BEGIN_DECLS

// Starts serving the Dart side: the peer socket named by the project's
// "--peer-socket=PATH" entrypoint argument, or the default one. Starting a
// started engine does nothing. An engine that failed to start still has a
// messenger; its host messages complete as "no handler".
G_MODULE_EXPORT
gboolean fl_engine_start(FlEngine* engine, GError** error);

// NULL unless the engine has started.
G_MODULE_EXPORT
FlPeerRelay* fl_engine_get_peer_relay(FlEngine* engine);

// Ids for views after the first, which is the implicit view 0.
int64_t fl_engine_allocate_view_id(FlEngine* engine);

G_END_DECLS

#endif  // STAND_IN_EMBEDDING_FL_ENGINE_PRIVATE_H_
