#include "fl_engine_private.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>
#include <utility>
#include <vector>

#include "peer_test_support.h"
#include "socket_path.h"

namespace {

using peer_testing::ScopedEnv;

// ProgramE2eTest starts the program with several --peer-socket arguments, of
// which the last must win; without one, the engine serves a path of its own.
TEST(FlEngineTest, ServesTheDefaultPathWithoutAPeerSocketArgument) {
  peer_testing::TempDir dir;
  {
    ScopedEnv runtime_dir("XDG_RUNTIME_DIR", dir.path());
    g_autoptr(FlDartProject) project = fl_dart_project_new();
    g_autoptr(FlEngine) engine = fl_engine_new(project);
    g_autoptr(GError) error = nullptr;
    EXPECT_TRUE(fl_engine_start(engine, &error)) << error->message;
    EXPECT_TRUE(fl_engine_start(engine, &error))
        << "starting twice is harmless";
    EXPECT_EQ(fl_peer_relay_get_path(fl_engine_get_peer_relay(engine)),
              dir.File("korvane-desktop.sock"));
  }

  // Without a runtime directory, a per-user path in /tmp.
  const std::string per_user =
      "/tmp/korvane-desktop-" + std::to_string(geteuid()) + ".sock";
  for (const auto& [value, expected] :
       std::vector<std::pair<std::optional<std::string>, std::string>>{
           {std::nullopt, per_user},
           {"", per_user},
           {"/run/user/1000", "/run/user/1000/korvane-desktop.sock"}}) {
    ScopedEnv runtime_dir("XDG_RUNTIME_DIR", value);
    EXPECT_EQ(korvane_peer::DefaultSocketPath(), expected);
  }
}

}  // namespace
