#include "my_application.h"

#include <flutter_linux/flutter_linux.h>

#include "generated_plugin_registrant.h"
#include "host/korvane_linux_bridge.h"

namespace {

constexpr char kApplicationId[] = "dev.korvane.desktop";
constexpr char kWindowTitle[] = "Korvane Desktop";
constexpr int kDefaultWidth = 1080;
constexpr int kDefaultHeight = 680;
constexpr int kMinimumWidth = 900;
constexpr int kMinimumHeight = 600;
constexpr char kBackgroundColor[] = "#0D0F14";

}  // namespace

struct _MyApplication {
  GtkApplication parent_instance;
  char** dart_entrypoint_arguments;
  korvane_bridge::KorvaneLinuxBridge* bridge;
};

G_DEFINE_TYPE(MyApplication, my_application, GTK_TYPE_APPLICATION)

// The window stays hidden until there is something to show in it, so that
// the user never sees an empty frame.
static void first_frame_cb(MyApplication* /*self*/, FlView* view) {
  gtk_widget_show(gtk_widget_get_toplevel(GTK_WIDGET(view)));
}

// The bundle's own icon first, then one placed beside the executable; a
// window without either keeps the desktop's default.
static void set_window_icon(GtkWindow* window) {
  g_autofree gchar* executable = g_file_read_link("/proc/self/exe", nullptr);
  if (executable == nullptr) {
    return;
  }
  g_autofree gchar* directory = g_path_get_dirname(executable);
  g_autofree gchar* asset_icon =
      g_build_filename(directory, "data", "flutter_assets", "assets", "icons",
                       "app_icon.png", nullptr);
  g_autofree gchar* side_icon =
      g_build_filename(directory, "korvane.png", nullptr);
  const gchar* icon = nullptr;
  if (g_file_test(asset_icon, G_FILE_TEST_EXISTS)) {
    icon = asset_icon;
  } else if (g_file_test(side_icon, G_FILE_TEST_EXISTS)) {
    icon = side_icon;
  }
  if (icon != nullptr) {
    gtk_window_set_default_icon_from_file(icon, nullptr);
    gtk_window_set_icon_from_file(window, icon, nullptr);
  }
}

static void my_application_activate(GApplication* application) {
  MyApplication* self = MY_APPLICATION(application);
  GtkWindow* window =
      GTK_WINDOW(gtk_application_window_new(GTK_APPLICATION(application)));
  gtk_window_set_title(window, kWindowTitle);
  gtk_window_set_decorated(window, FALSE);
  set_window_icon(window);
  gtk_window_set_default_size(window, kDefaultWidth, kDefaultHeight);
  gtk_widget_set_size_request(GTK_WIDGET(window), kMinimumWidth,
                              kMinimumHeight);

  g_autoptr(FlDartProject) project = fl_dart_project_new();
  fl_dart_project_set_dart_entrypoint_arguments(
      project, self->dart_entrypoint_arguments);

  FlView* view = fl_view_new(project);
  GdkRGBA background_color;
  gdk_rgba_parse(&background_color, kBackgroundColor);
  fl_view_set_background_color(view, &background_color);
  gtk_widget_show(GTK_WIDGET(view));
  gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view));

  g_signal_connect_swapped(view, "first-frame", G_CALLBACK(first_frame_cb),
                           self);
  gtk_widget_realize(GTK_WIDGET(view));

  fl_register_plugins(FL_PLUGIN_REGISTRY(view));

  // A repeated activation brings a view with an engine of its own; the
  // bridge moves to it, and the old one goes only once the new one serves.
  korvane_bridge::KorvaneLinuxBridge* previous = self->bridge;
  self->bridge = new korvane_bridge::KorvaneLinuxBridge(
      fl_engine_get_binary_messenger(fl_view_get_engine(view)));
  delete previous;

  gtk_widget_grab_focus(GTK_WIDGET(view));
}

// Every argument belongs to the Dart side, which parses them itself; none is
// taken for GApplication's own options.
static gboolean my_application_local_command_line(GApplication* application,
                                                  gchar*** arguments,
                                                  int* exit_status) {
  MyApplication* self = MY_APPLICATION(application);
  self->dart_entrypoint_arguments = g_strdupv(*arguments + 1);

  g_autoptr(GError) error = nullptr;
  if (!g_application_register(application, nullptr, &error)) {
    g_warning("Failed to register: %s", error->message);
    *exit_status = 1;
    return TRUE;
  }

  g_application_activate(application);
  *exit_status = 0;
  return TRUE;
}

static void my_application_startup(GApplication* application) {
  G_APPLICATION_CLASS(my_application_parent_class)->startup(application);
}

static void my_application_shutdown(GApplication* application) {
  G_APPLICATION_CLASS(my_application_parent_class)->shutdown(application);
}

// The bridge goes here, after the main loop has ended, so that no handler or
// reply of it can run any more; dispose may run twice, hence the cleared
// fields.
static void my_application_dispose(GObject* object) {
  MyApplication* self = MY_APPLICATION(object);
  korvane_bridge::KorvaneLinuxBridge* bridge = self->bridge;
  self->bridge = nullptr;
  delete bridge;
  g_clear_pointer(&self->dart_entrypoint_arguments, g_strfreev);
  G_OBJECT_CLASS(my_application_parent_class)->dispose(object);
}

static void my_application_class_init(MyApplicationClass* klass) {
  G_OBJECT_CLASS(klass)->dispose = my_application_dispose;
  G_APPLICATION_CLASS(klass)->startup = my_application_startup;
  G_APPLICATION_CLASS(klass)->activate = my_application_activate;
  G_APPLICATION_CLASS(klass)->local_command_line =
      my_application_local_command_line;
  G_APPLICATION_CLASS(klass)->shutdown = my_application_shutdown;
}

static void my_application_init(MyApplication* self) {
  self->bridge = nullptr;
}

MyApplication* my_application_new() {
  g_set_prgname(kApplicationId);
  // X11 first: the second screen lists, captures and draws into X11 windows.
  gdk_set_allowed_backends("x11,*");
  return MY_APPLICATION(g_object_new(my_application_get_type(),
                                     "application-id", kApplicationId, "flags",
                                     G_APPLICATION_NON_UNIQUE, nullptr));
}
