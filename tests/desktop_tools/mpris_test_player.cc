// A media player that the real playerctl can see and control, for the tests
// of media telemetry and media deck actions. It plays nothing: it serves the
// MPRIS interfaces on the session bus with the state given on its command
// line and writes one line per transport call (PlayPause, Next, Previous) to
// its log, so that a test can tell which calls really reached a player.
//
//   mpris_test_player --name NAME --log FILE [--status Playing|Paused|Stopped]
//                     [--title T] [--artist A] [--album B]
//
// Exits with status 0 on SIGTERM or SIGINT, 1 when it cannot take its name.

#include <fcntl.h>
#include <gio/gio.h>
#include <glib-unix.h>
#include <unistd.h>

#include <string>

namespace {

constexpr char kObjectPath[] = "/org/mpris/MediaPlayer2";
constexpr char kRootInterface[] = "org.mpris.MediaPlayer2";
constexpr char kPlayerInterface[] = "org.mpris.MediaPlayer2.Player";

constexpr char kIntrospection[] = R"(
<node>
  <interface name="org.mpris.MediaPlayer2">
    <method name="Raise"/>
    <method name="Quit"/>
    <property name="CanQuit" type="b" access="read"/>
    <property name="CanRaise" type="b" access="read"/>
    <property name="HasTrackList" type="b" access="read"/>
    <property name="Identity" type="s" access="read"/>
    <property name="SupportedUriSchemes" type="as" access="read"/>
    <property name="SupportedMimeTypes" type="as" access="read"/>
  </interface>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="Next"/>
    <method name="Previous"/>
    <method name="Pause"/>
    <method name="PlayPause"/>
    <method name="Stop"/>
    <method name="Play"/>
    <method name="Seek"><arg direction="in" name="Offset" type="x"/></method>
    <method name="SetPosition">
      <arg direction="in" name="TrackId" type="o"/>
      <arg direction="in" name="Position" type="x"/>
    </method>
    <method name="OpenUri"><arg direction="in" name="Uri" type="s"/></method>
    <signal name="Seeked"><arg name="Position" type="x"/></signal>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="Rate" type="d" access="read"/>
    <property name="Metadata" type="a{sv}" access="read"/>
    <property name="Volume" type="d" access="read"/>
    <property name="Position" type="x" access="read"/>
    <property name="MinimumRate" type="d" access="read"/>
    <property name="MaximumRate" type="d" access="read"/>
    <property name="CanGoNext" type="b" access="read"/>
    <property name="CanGoPrevious" type="b" access="read"/>
    <property name="CanPlay" type="b" access="read"/>
    <property name="CanPause" type="b" access="read"/>
    <property name="CanSeek" type="b" access="read"/>
    <property name="CanControl" type="b" access="read"/>
  </interface>
</node>
)";

struct Player {
  std::string status = "Playing";
  std::string title;
  std::string artist;
  std::string album;
  std::string log_path;
  GMainLoop* loop = nullptr;
  int exit_status = 0;
};

// One whole line per call, appended in a single write, so that a test that
// reads the log while the player runs never sees half a line.
void Record(const Player& player, const char* call) {
  int fd = open(player.log_path.c_str(),
                O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    g_printerr("mpris_test_player: cannot open %s\n", player.log_path.c_str());
    return;
  }
  const std::string line = std::string(call) + "\n";
  if (write(fd, line.data(), line.size()) !=
      static_cast<ssize_t>(line.size())) {
    g_printerr("mpris_test_player: short write to %s\n",
               player.log_path.c_str());
  }
  close(fd);
}

GVariant* Metadata(const Player& player) {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(
      &builder, "{sv}", "mpris:trackid",
      g_variant_new_object_path("/org/mpris/MediaPlayer2/Track/1"));
  g_variant_builder_add(&builder, "{sv}", "xesam:title",
                        g_variant_new_string(player.title.c_str()));
  const gchar* artists[] = {player.artist.c_str(), nullptr};
  g_variant_builder_add(&builder, "{sv}", "xesam:artist",
                        g_variant_new_strv(artists, -1));
  g_variant_builder_add(&builder, "{sv}", "xesam:album",
                        g_variant_new_string(player.album.c_str()));
  return g_variant_builder_end(&builder);
}

GVariant* GetProperty(GDBusConnection*,
                      const gchar*,
                      const gchar*,
                      const gchar* interface_name,
                      const gchar* property_name,
                      GError** error,
                      gpointer user_data) {
  const Player& player = *static_cast<Player*>(user_data);
  const std::string name = property_name;
  if (g_strcmp0(interface_name, kRootInterface) == 0) {
    if (name == "Identity") {
      return g_variant_new_string("Test player");
    }
    if (name == "SupportedUriSchemes" || name == "SupportedMimeTypes") {
      return g_variant_new_strv(nullptr, 0);
    }
    if (name == "CanQuit" || name == "CanRaise" || name == "HasTrackList") {
      return g_variant_new_boolean(FALSE);
    }
  } else {
    if (name == "PlaybackStatus") {
      return g_variant_new_string(player.status.c_str());
    }
    if (name == "Metadata") {
      return Metadata(player);
    }
    if (name == "Rate" || name == "Volume" || name == "MinimumRate" ||
        name == "MaximumRate") {
      return g_variant_new_double(1.0);
    }
    if (name == "Position") {
      return g_variant_new_int64(0);
    }
    if (name == "CanSeek") {
      return g_variant_new_boolean(FALSE);
    }
    if (name == "CanGoNext" || name == "CanGoPrevious" || name == "CanPlay" ||
        name == "CanPause" || name == "CanControl") {
      return g_variant_new_boolean(TRUE);
    }
  }
  g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY,
              "No property %s.%s", interface_name, property_name);
  return nullptr;
}

void SetStatus(Player& player,
               GDBusConnection* connection,
               const char* status) {
  if (player.status == status) {
    return;
  }
  player.status = status;
  GVariantBuilder changed;
  g_variant_builder_init(&changed, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&changed, "{sv}", "PlaybackStatus",
                        g_variant_new_string(status));
  g_dbus_connection_emit_signal(
      connection, nullptr, kObjectPath, "org.freedesktop.DBus.Properties",
      "PropertiesChanged",
      g_variant_new("(sa{sv}as)", kPlayerInterface, &changed, nullptr),
      nullptr);
}

void CallMethod(GDBusConnection* connection,
                const gchar*,
                const gchar*,
                const gchar*,
                const gchar* method_name,
                GVariant*,
                GDBusMethodInvocation* invocation,
                gpointer user_data) {
  Player& player = *static_cast<Player*>(user_data);
  const std::string method = method_name;
  if (method == "PlayPause") {
    Record(player, "PlayPause");
    SetStatus(player, connection,
              player.status == "Playing" ? "Paused" : "Playing");
  } else if (method == "Next" || method == "Previous") {
    Record(player, method_name);
  } else if (method == "Play") {
    SetStatus(player, connection, "Playing");
  } else if (method == "Pause") {
    SetStatus(player, connection, "Paused");
  } else if (method == "Stop") {
    SetStatus(player, connection, "Stopped");
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
  g_autofree gchar* name = nullptr;
  g_autofree gchar* log_path = nullptr;
  g_autofree gchar* status = nullptr;
  g_autofree gchar* title = nullptr;
  g_autofree gchar* artist = nullptr;
  g_autofree gchar* album = nullptr;
  GOptionEntry entries[] = {
      {"name", 0, 0, G_OPTION_ARG_STRING, &name, "Bus name suffix", "NAME"},
      {"log", 0, 0, G_OPTION_ARG_FILENAME, &log_path, "Call log", "FILE"},
      {"status", 0, 0, G_OPTION_ARG_STRING, &status, "Playback status", "S"},
      {"title", 0, 0, G_OPTION_ARG_STRING, &title, "Track title", "T"},
      {"artist", 0, 0, G_OPTION_ARG_STRING, &artist, "Track artist", "A"},
      {"album", 0, 0, G_OPTION_ARG_STRING, &album, "Track album", "B"},
      {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr}};
  g_autoptr(GOptionContext) options = g_option_context_new(nullptr);
  g_option_context_add_main_entries(options, entries, nullptr);
  g_autoptr(GError) error = nullptr;
  if (!g_option_context_parse(options, &argc, &argv, &error) ||
      name == nullptr || log_path == nullptr) {
    g_printerr("mpris_test_player: %s\n",
               error != nullptr ? error->message : "--name and --log needed");
    return 2;
  }

  Player player;
  player.log_path = log_path;
  if (status != nullptr) {
    player.status = status;
  }
  player.title = title != nullptr ? title : "";
  player.artist = artist != nullptr ? artist : "";
  player.album = album != nullptr ? album : "";

  g_autoptr(GDBusConnection) connection =
      g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (connection == nullptr) {
    g_printerr("mpris_test_player: %s\n", error->message);
    return 1;
  }
  g_autoptr(GDBusNodeInfo) node =
      g_dbus_node_info_new_for_xml(kIntrospection, &error);
  g_assert_no_error(error);

  guint registrations[2] = {};
  for (int i = 0; i < 2; ++i) {
    registrations[i] = g_dbus_connection_register_object(
        connection, kObjectPath, node->interfaces[i], &kVTable, &player,
        nullptr, &error);
    if (registrations[i] == 0) {
      g_printerr("mpris_test_player: %s\n", error->message);
      return 1;
    }
  }

  player.loop = g_main_loop_new(nullptr, FALSE);
  guint sigterm = g_unix_signal_add(SIGTERM, OnStopSignal, &player);
  guint sigint = g_unix_signal_add(SIGINT, OnStopSignal, &player);
  const std::string bus_name = std::string(kRootInterface) + "." + name;
  guint owner = g_bus_own_name_on_connection(
      connection, bus_name.c_str(), G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
      nullptr, OnNameLost, &player, nullptr);

  g_main_loop_run(player.loop);

  g_bus_unown_name(owner);
  for (guint registration : registrations) {
    g_dbus_connection_unregister_object(connection, registration);
  }
  g_source_remove(sigterm);
  g_source_remove(sigint);
  g_dbus_connection_flush_sync(connection, nullptr, nullptr);
  g_main_loop_unref(player.loop);
  return player.exit_status;
}
