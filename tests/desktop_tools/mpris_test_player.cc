// A media player that the real playerctl can see and control. It plays
// nothing: it serves the MPRIS player interface with the state given on its
// command line and appends one line per transport call to LOG, so that a
// test can tell which calls really reached a player.
//
//   mpris_test_player NAME LOG STATUS TITLE ARTIST ALBUM
//
// Exits with 0 on SIGTERM, 1 when it cannot take its name.

#include <gio/gio.h>
#include <glib-unix.h>

#include <cstdio>
#include <string>

namespace {

constexpr char kObjectPath[] = "/org/mpris/MediaPlayer2";

constexpr char kIntrospection[] = R"(
<node>
  <interface name="org.mpris.MediaPlayer2">
    <property name="Identity" type="s" access="read"/>
  </interface>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="Next"/>
    <method name="Previous"/>
    <method name="PlayPause"/>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="Metadata" type="a{sv}" access="read"/>
    <property name="CanGoNext" type="b" access="read"/>
    <property name="CanGoPrevious" type="b" access="read"/>
    <property name="CanPlay" type="b" access="read"/>
    <property name="CanPause" type="b" access="read"/>
    <property name="CanControl" type="b" access="read"/>
  </interface>
</node>
)";

struct Player {
  char** argv;
  std::string status;
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
  if (name == "Identity") {
    return g_variant_new_string("Test player");
  }
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
                        g_variant_new_string(player.argv[4]));
  const gchar* artists[] = {player.argv[5], nullptr};
  g_variant_builder_add(&builder, "{sv}", "xesam:artist",
                        g_variant_new_strv(artists, -1));
  g_variant_builder_add(&builder, "{sv}", "xesam:album",
                        g_variant_new_string(player.argv[6]));
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
  // One whole line in a single write (the stream's buffer, flushed on
  // closing): a test reading meanwhile never sees half of one.
  const std::string line = std::string(method_name) + "\n";
  FILE* log = fopen(player.argv[2], "ae");
  if (log == nullptr || fputs(line.c_str(), log) < 0 || fclose(log) != 0) {
    g_printerr("mpris_test_player: cannot log to %s\n", player.argv[2]);
  }
  if (line == "PlayPause\n") {
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
  if (argc != 7) {
    g_printerr("usage: mpris_test_player NAME LOG STATUS TITLE ARTIST ALBUM\n");
    return 2;
  }
  Player player{argv, argv[3]};
  g_autoptr(GError) error = nullptr;
  g_autoptr(GDBusConnection) connection =
      g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (connection == nullptr) {
    g_printerr("mpris_test_player: %s\n", error->message);
    return 1;
  }
  g_autoptr(GDBusNodeInfo) node =
      g_dbus_node_info_new_for_xml(kIntrospection, &error);
  g_assert_no_error(error);
  for (int i = 0; i < 2; ++i) {
    if (g_dbus_connection_register_object(connection, kObjectPath,
                                          node->interfaces[i], &kVTable,
                                          &player, nullptr, &error) == 0) {
      g_printerr("mpris_test_player: %s\n", error->message);
      return 1;
    }
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
