// A small host for end-to-end tests, built on the embedding the way the
// application is: a hidden window shown on the view's first frame, the
// plug-ins registered, and channels served on the engine's messenger. It
// serves an echo channel and a few bridge methods with fixed answers, and
// reports on standard output what a test cannot see from outside.
#include <flutter_linux/flutter_linux.h>
#include <glib-unix.h>

#include <cstdio>

#include "generated_plugin_registrant.h"
#include "korvane_native_bridge.g.h"

namespace {

constexpr char kTitle[] = "Korvane e2e host";
constexpr int64_t kRumbleStrength = 200;
constexpr uint8_t kJpegBytes[] = {0xff, 0xd8, 0xff, 0xd9};

void Report(const char* line) {
  printf("%s\n", line);
  fflush(stdout);
}

void echo_cb(FlBinaryMessenger* messenger,
             const gchar* /*channel*/,
             GBytes* message,
             FlBinaryMessengerResponseHandle* response_handle,
             gpointer /*user_data*/) {
  fl_binary_messenger_send_response(messenger, response_handle, message,
                                    nullptr);
}

void get_driver_health_cb(
    KorvaneBridgeVirtualControllerHostApiResponseHandle* response_handle,
    gpointer /*user_data*/) {
  g_autoptr(KorvaneBridgeNativeDriverHealth) health =
      korvane_bridge_native_driver_health_new(
          KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY, "e2e stub", 0, TRUE,
          nullptr);
  korvane_bridge_virtual_controller_host_api_respond_get_driver_health(
      response_handle, health);
}

// Answers, then raises a rumble event for the mounted player, as a game
// would soon after the pad appears.
void mount_virtual_controller_cb(
    KorvaneBridgeVirtualControllerMountRequest* request,
    KorvaneBridgeVirtualControllerHostApiResponseHandle* response_handle,
    gpointer user_data) {
  auto* events =
      static_cast<KorvaneBridgeVirtualControllerFlutterApi*>(user_data);
  korvane_bridge_virtual_controller_host_api_respond_mount_virtual_controller(
      response_handle, TRUE);
  g_autoptr(KorvaneBridgeNativeRumbleEvent) rumble =
      korvane_bridge_native_rumble_event_new(
          korvane_bridge_virtual_controller_mount_request_get_player_number(
              request),
          kRumbleStrength, 0);
  korvane_bridge_virtual_controller_flutter_api_on_controller_rumble(
      events, rumble, nullptr, nullptr, nullptr);
}

void is_udp_port_allowed_cb(
    int64_t /*port*/,
    KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
    gpointer /*user_data*/) {
  korvane_bridge_host_system_bridge_api_respond_error_is_udp_port_allowed_in_firewall(
      response_handle, "unavailable", "no firewall in the e2e host", nullptr);
}

void capture_window_frame_cb(
    KorvaneBridgeSecondScreenCaptureConfig* config,
    KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
    gpointer /*user_data*/) {
  g_autoptr(KorvaneBridgeCapturedWindowFrame) frame =
      korvane_bridge_captured_window_frame_new(
          korvane_bridge_second_screen_capture_config_get_window_id(config),
          kJpegBytes, sizeof(kJpegBytes), 1, 1,
          korvane_bridge_second_screen_capture_config_get_target_width(config),
          korvane_bridge_second_screen_capture_config_get_target_height(config),
          7, FALSE, FALSE);
  korvane_bridge_host_system_bridge_api_respond_capture_window_frame(
      response_handle, frame);
}

const KorvaneBridgeVirtualControllerHostApiVTable kControllerVTable = {
    get_driver_health_cb,
    nullptr,
    mount_virtual_controller_cb,
    nullptr,
    nullptr,
    nullptr,
};

const KorvaneBridgeHostSystemBridgeApiVTable kSystemVTable = {
    is_udp_port_allowed_cb,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    capture_window_frame_cb,
    nullptr,
};

void first_frame_cb(GtkWidget* window, FlView* /*view*/) {
  Report(gtk_widget_get_visible(window) ? "first-frame window-visible=yes"
                                        : "first-frame window-visible=no");
  gtk_widget_show(window);
}

gboolean map_event_cb(GtkWidget* /*window*/,
                      GdkEvent* /*event*/,
                      gpointer /*user_data*/) {
  Report("mapped");
  return FALSE;
}

gboolean terminate_cb(gpointer window) {
  gtk_widget_destroy(GTK_WIDGET(window));
  return G_SOURCE_REMOVE;
}

}  // namespace

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), kTitle);
  gtk_window_set_default_size(GTK_WINDOW(window), 640, 400);
  g_signal_connect(window, "map-event", G_CALLBACK(map_event_cb), nullptr);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  g_unix_signal_add(SIGTERM, terminate_cb, window);

  g_autoptr(FlDartProject) project = fl_dart_project_new();
  fl_dart_project_set_dart_entrypoint_arguments(project, argv + 1);
  FlView* view = fl_view_new(project);
  GdkRGBA background;
  gdk_rgba_parse(&background, "#0D0F14");
  fl_view_set_background_color(view, &background);
  gtk_widget_show(GTK_WIDGET(view));
  gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view));
  g_signal_connect_swapped(view, "first-frame", G_CALLBACK(first_frame_cb),
                           window);
  gtk_widget_realize(GTK_WIDGET(view));
  fl_register_plugins(FL_PLUGIN_REGISTRY(view));

  FlBinaryMessenger* messenger =
      fl_engine_get_binary_messenger(fl_view_get_engine(view));
  fl_binary_messenger_set_message_handler_on_channel(messenger, "e2e.echo",
                                                     echo_cb, nullptr, nullptr);
  KorvaneBridgeVirtualControllerFlutterApi* events =
      korvane_bridge_virtual_controller_flutter_api_new(messenger, nullptr);
  korvane_bridge_virtual_controller_host_api_set_method_handlers(
      messenger, nullptr, &kControllerVTable, events, g_object_unref);
  korvane_bridge_host_system_bridge_api_set_method_handlers(
      messenger, nullptr, &kSystemVTable, nullptr, nullptr);

  gtk_main();
  Report("closed");
  return 0;
}
