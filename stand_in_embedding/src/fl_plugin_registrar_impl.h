#ifndef STAND_IN_EMBEDDING_FL_PLUGIN_REGISTRAR_IMPL_H_
#define STAND_IN_EMBEDDING_FL_PLUGIN_REGISTRAR_IMPL_H_

// The registrar that a view hands to each plug-in. Not part of the public API.

#include <flutter_linux/flutter_linux.h>

G_BEGIN_DECLS

G_DECLARE_FINAL_TYPE(FlPluginRegistrarImpl,
                     fl_plugin_registrar_impl,
                     FL,
                     PLUGIN_REGISTRAR_IMPL,
                     GObject)

// Keeps `messenger` alive; `view` only as long as it lives on its own.
FlPluginRegistrarImpl* fl_plugin_registrar_impl_new(
    FlView* view,
    FlBinaryMessenger* messenger);

G_END_DECLS

#endif  // STAND_IN_EMBEDDING_FL_PLUGIN_REGISTRAR_IMPL_H_
