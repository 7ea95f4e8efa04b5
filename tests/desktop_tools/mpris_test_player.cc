// A media player that the real playerctl can see and control. It plays
// nothing: it serves the MPRIS player interface with the track given on its
// command line, and each transport call appends its name to the album, so
// that a reader of the metadata sees which calls really reached a player.
//
//   mpris_test_player NAME STATUS TITLE ARTIST ALBUM
//
// Exits with 0 on SIGTERM, 1 when it cannot take its name.

#include <gio/gio.h>
#include <glib-unix.h>

#include <string>

namespace {

constexpr char kObjectPath[] = "/org/mpris/MediaPlayer2";

constexpr char kIntrospection[] = R"(
<node>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="Next"/>
    <method name="Previous"/>
    <method name="PlayPause"/>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="Metadata" type="a{sv}" access="read"/>
    <property name="CanGoNext" type="b" access="read"/>
    <property name="CanGoPrevious" type="b" access="read"/>
    <property name="CanPlay" type="b" access="read"/>
  </interface>
</node>
)";

struct Player {
  char** argv;
  std::string status;
  std::string album;
  GMainLoop* loop = nullptr;
  int exit_status = 0;
};

GVariant* GetProperty(GDBusConnection*,
                      const gchar*,
                      const gchar*,
                      const gchar*,
                      const gchar* property_name,
                      GError**,
                      gpointer user_data) {
  const Player& player = *static_cast<Player*>(user_data);
  const std::string name = property_name;
  if (name == "PlaybackStatus") {
    return g_variant_new_string(player.status.c_str());
  }
  if (name != "Metadata") {
    return g_variant_new_boolean(TRUE);
  }
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&builder, "{sv}", "mpris:trackid",
                        g_variant_new_object_path("/track/1"));
  g_variant_builder_add(&builder, "{sv}", "xesam:title",
                        g_variant_new_string(player.argv[3]));
  const gchar* artists[] = {player.argv[4], nullptr};
  g_variant_builder_add(&builder, "{sv}", "xesam:artist",
                        g_variant_new_strv(artists, -1));
  g_variant_builder_add(&builder, "{sv}", "xesam:album",
                        g_variant_new_string(player.album.c_str()));
  return g_variant_builder_end(&builder);
}

// Every playerctl run asks for the properties anew, so a change needs no
// signal.
void CallMethod(GDBusConnection*,
                const gchar*,
                const gchar*,
                const gchar*,
                const gchar* method_name,
                GVariant*,
                GDBusMethodInvocation* invocation,
                gpointer user_data) {
  Player& player = *static_cast<Player*>(user_data);
  player.album += std::string(" ") + method_name;
  if (g_str_equal(method_name, "PlayPause")) {
    player.status = player.status == "Playing" ? "Paused" : "Playing";
  }
  g_dbus_method_invocation_return_value(invocation, nullptr);
}

const GDBusInterfaceVTable kVTable = {CallMethod, GetProperty, nullptr, {}};

void OnNameLost(GDBusConnection*, const gchar* name, gpointer user_data) {
  Player& player = *static_cast<Player*>(user_data);
  g_printerr("mpris_test_player: lost or could not own %s\n", name);
  player.exit_status = 1;
  g_main_loop_quit(player.loop);
}

gboolean OnStopSignal(gpointer user_data) {
  g_main_loop_quit(static_cast<Player*>(user_data)->loop);
  return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    g_printerr("usage: mpris_test_player NAME STATUS TITLE ARTIST ALBUM\n");
    return 2;
  }
  Player player{argv, argv[2], argv[5]};
  g_autoptr(GError) error = nullptr;
  g_autoptr(GDBusConnection) connection =
      g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  g_autoptr(GDBusNodeInfo) node =
      g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
  if (connection == nullptr || g_dbus_connection_register_object(
                                   connection, kObjectPath, node->interfaces[0],
                                   &kVTable, &player, nullptr, &error) == 0) {
    g_printerr("mpris_test_player: %s\n", error->message);
    return 1;
  }
  player.loop = g_main_loop_new(nullptr, FALSE);
  g_unix_signal_add(SIGTERM, OnStopSignal, &player);
  const std::string bus_name = std::string("org.mpris.MediaPlayer2.") + argv[1];
  g_bus_own_name_on_connection(connection, bus_name.c_str(),
                               G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE, nullptr,
                               OnNameLost, &player, nullptr);
  g_main_loop_run(player.loop);
  g_dbus_connection_flush_sync(connection, nullptr, nullptr);
  g_main_loop_unref(player.loop);
  return player.exit_status;
}
