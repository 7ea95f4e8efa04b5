// The one source of every stand-in plug-in library; each build names its
// registration function and header. The real plug-ins serve channels of
// their own that nothing in this system calls, so registering means only
// accepting the registrar.
#include STAND_IN_PLUGIN_HEADER

G_MODULE_EXPORT void STAND_IN_PLUGIN_REGISTER(FlPluginRegistrar* registrar) {
  g_return_if_fail(FL_IS_PLUGIN_REGISTRAR(registrar));
}
