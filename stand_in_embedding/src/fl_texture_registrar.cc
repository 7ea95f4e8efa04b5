#include "flutter_linux/fl_texture_registrar.h"

G_DEFINE_INTERFACE(FlTextureRegistrar, fl_texture_registrar, G_TYPE_OBJECT)

static void fl_texture_registrar_default_init(
    FlTextureRegistrarInterface* /*iface*/) {}
