#include "fl_engine_private.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>

#include "peer_test_support.h"
#include "socket_path.h"

namespace {

using peer_testing::ScopedEnv;

// ProgramE2eTest starts the program with one --peer-socket argument; the
// engine takes the last of several, and without one a path of its own.
TEST(FlEngineTest, ServesTheLastPeerSocketArgumentOrTheDefaultPath) {
  peer_testing::TempDir dir;
  std::string ignored = "--peer-socket=" + dir.File("ignored.sock");
  std::string other = "--other";
  std::string chosen = "--peer-socket=" + dir.File("chosen.sock");
  char* argv[] = {ignored.data(), other.data(), chosen.data(), nullptr};
  ScopedEnv runtime_dir("XDG_RUNTIME_DIR", dir.path());
  for (bool with_arguments : {true, false}) {
    g_autoptr(FlDartProject) project = fl_dart_project_new();
    if (with_arguments) {
      fl_dart_project_set_dart_entrypoint_arguments(project, argv);
    }
    g_autoptr(FlEngine) engine = fl_engine_new(project);
    g_autoptr(GError) error = nullptr;
    EXPECT_TRUE(fl_engine_start(engine, &error)) << error->message;
    EXPECT_TRUE(fl_engine_start(engine, &error))
        << "starting twice is harmless";
    EXPECT_EQ(
        fl_peer_relay_get_path(fl_engine_get_peer_relay(engine)),
        dir.File(with_arguments ? "chosen.sock" : "korvane-desktop.sock"));
  }
  EXPECT_FALSE(
      g_file_test(dir.File("ignored.sock").c_str(), G_FILE_TEST_EXISTS));

  // Without a runtime directory, a per-user path in /tmp.
  const std::string per_user =
      "/tmp/korvane-desktop-" + std::to_string(geteuid()) + ".sock";
  const std::optional<std::string> values[] = {std::nullopt, "",
                                               "/run/user/1000"};
  const std::string expected[] = {per_user, per_user,
                                  "/run/user/1000/korvane-desktop.sock"};
  for (int i = 0; i < 3; i++) {
    ScopedEnv value("XDG_RUNTIME_DIR", values[i]);
    EXPECT_EQ(korvane_peer::DefaultSocketPath(), expected[i]) << i;
  }
}

}  // namespace
