#include <glib-unix.h>
#include <signal.h>

#include "my_application.h"

namespace {

// A termination signal closes the windows, exactly as the user closing them
// would: the main loop ends and the application tears down in order.
gboolean close_windows_cb(gpointer user_data) {
  GApplication* application = G_APPLICATION(user_data);
  GList* windows =
      g_list_copy(gtk_application_get_windows(GTK_APPLICATION(application)));
  if (windows == nullptr) {
    g_application_quit(application);
  }
  for (GList* window = windows; window != nullptr; window = window->next) {
    gtk_widget_destroy(GTK_WIDGET(window->data));
  }
  g_list_free(windows);
  return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
  g_autoptr(MyApplication) app = my_application_new();
  g_unix_signal_add(SIGTERM, close_windows_cb, app);
  g_unix_signal_add(SIGINT, close_windows_cb, app);
  return g_application_run(G_APPLICATION(app), argc, argv);
}
