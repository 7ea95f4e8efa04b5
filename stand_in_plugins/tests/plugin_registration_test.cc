#include <flutter_linux/flutter_linux.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "generated_plugin_registrant.h"

// A registry that hands out registrars and logs when each is asked for and
// when each is released.
G_DECLARE_FINAL_TYPE(RecordingRegistry,
                     recording_registry,
                     RECORDING,
                     REGISTRY,
                     GObject)
G_DECLARE_FINAL_TYPE(RecordingRegistrar,
                     recording_registrar,
                     RECORDING,
                     REGISTRAR,
                     GObject)

struct _RecordingRegistry {
  GObject parent_instance;
  std::vector<std::string>* events;
};

struct _RecordingRegistrar {
  GObject parent_instance;
};

static void recording_registrar_iface_init(FlPluginRegistrarInterface* iface) {
  iface->get_messenger = [](FlPluginRegistrar*) -> FlBinaryMessenger* {
    return nullptr;
  };
  iface->get_texture_registrar = [](FlPluginRegistrar*) -> FlTextureRegistrar* {
    return nullptr;
  };
  iface->get_view = [](FlPluginRegistrar*) -> FlView* { return nullptr; };
}

G_DEFINE_TYPE_WITH_CODE(RecordingRegistrar,
                        recording_registrar,
                        G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(fl_plugin_registrar_get_type(),
                                              recording_registrar_iface_init))

static void recording_registrar_class_init(RecordingRegistrarClass*) {}
static void recording_registrar_init(RecordingRegistrar*) {}

struct Release {
  std::vector<std::string>* events;
  std::string name;
};

static FlPluginRegistrar* get_registrar_for_plugin(FlPluginRegistry* registry,
                                                   const gchar* name) {
  std::vector<std::string>* events = RECORDING_REGISTRY(registry)->events;
  events->push_back(std::string("get ") + name);
  GObject* registrar =
      G_OBJECT(g_object_new(recording_registrar_get_type(), nullptr));
  g_object_weak_ref(
      registrar,
      [](gpointer data, GObject*) {
        auto* release = static_cast<Release*>(data);
        release->events->push_back("release " + release->name);
        delete release;
      },
      new Release{events, name});
  return FL_PLUGIN_REGISTRAR(registrar);
}

static void recording_registry_iface_init(FlPluginRegistryInterface* iface) {
  iface->get_registrar_for_plugin = get_registrar_for_plugin;
}

G_DEFINE_TYPE_WITH_CODE(RecordingRegistry,
                        recording_registry,
                        G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(fl_plugin_registry_get_type(),
                                              recording_registry_iface_init))

static void recording_registry_class_init(RecordingRegistryClass*) {}
static void recording_registry_init(RecordingRegistry*) {}

namespace {

TEST(PluginRegistrationTest, RegistersInOrderAndReleasesInReverseAfterTheLast) {
  std::vector<std::string> events;
  g_autoptr(RecordingRegistry) registry =
      RECORDING_REGISTRY(g_object_new(recording_registry_get_type(), nullptr));
  registry->events = &events;

  fl_register_plugins(FL_PLUGIN_REGISTRY(registry));

  EXPECT_EQ(events, (std::vector<std::string>{
                        "get AppLinksPluginLinux",
                        "get FileSelectorPlugin",
                        "get ScreenRetrieverLinuxPlugin",
                        "get TrayManagerPlugin",
                        "get UrlLauncherPlugin",
                        "get WindowManagerPlugin",
                        "release WindowManagerPlugin",
                        "release UrlLauncherPlugin",
                        "release TrayManagerPlugin",
                        "release ScreenRetrieverLinuxPlugin",
                        "release FileSelectorPlugin",
                        "release AppLinksPluginLinux",
                    }));
}

}  // namespace
