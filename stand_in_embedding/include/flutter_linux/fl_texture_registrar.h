#ifndef FLUTTER_LINUX_FL_TEXTURE_REGISTRAR_H_
#define FLUTTER_LINUX_FL_TEXTURE_REGISTRAR_H_

#if !defined(__FLUTTER_LINUX_INSIDE__) && !defined(FLUTTER_LINUX_COMPILATION)
#error "Only <flutter_linux/flutter_linux.h> can be included directly."
#endif

#include <glib-object.h>
#include <gmodule.h>

G_BEGIN_DECLS

// The stand-in renders no textures: the type exists so that the registrar's
// signature matches, and no object implements it.
G_MODULE_EXPORT
G_DECLARE_INTERFACE(FlTextureRegistrar,
                    fl_texture_registrar,
                    FL,
                    TEXTURE_REGISTRAR,
                    GObject)

struct _FlTextureRegistrarInterface {
  GTypeInterface parent_iface;
};

G_END_DECLS

#endif  // FLUTTER_LINUX_FL_TEXTURE_REGISTRAR_H_
