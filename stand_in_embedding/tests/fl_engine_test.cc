#include "fl_engine_private.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>

#include "peer_test_support.h"
#include "socket_path.h"

namespace {

// Puts the variable back as it was when the test ends.
struct RestoredEnv {
  explicit RestoredEnv(const char* name) : name(name) {
    if (const char* value = g_getenv(name)) {
      old = value;
    }
  }
  ~RestoredEnv() { Set(name, old ? old->c_str() : nullptr); }
  static void Set(const char* name, const char* value) {
    if (value != nullptr) {
      g_setenv(name, value, TRUE);
    } else {
      g_unsetenv(name);
    }
  }
  const char* name;
  std::optional<std::string> old;
};

FlEngine* StartedEngine(FlDartProject* project) {
  FlEngine* engine = fl_engine_new(project);
  EXPECT_EQ(fl_engine_get_peer_relay(engine), nullptr);
  g_autoptr(GError) error = nullptr;
  EXPECT_TRUE(fl_engine_start(engine, &error)) << error->message;
  EXPECT_TRUE(fl_engine_start(engine, &error)) << "starting twice is harmless";
  return engine;
}

TEST(FlEngineTest, ServesTheSocketNamedByTheLastPeerSocketArgument) {
  peer_testing::TempDir dir;
  std::string ignored = "--peer-socket=" + dir.File("ignored.sock");
  std::string other = "--other";
  std::string chosen = "--peer-socket=" + dir.File("chosen.sock");
  char* argv[] = {ignored.data(), other.data(), chosen.data(), nullptr};
  g_autoptr(FlDartProject) project = fl_dart_project_new();
  fl_dart_project_set_dart_entrypoint_arguments(project, argv);
  g_autoptr(FlEngine) engine = StartedEngine(project);
  EXPECT_EQ(fl_peer_relay_get_path(fl_engine_get_peer_relay(engine)),
            dir.File("chosen.sock"));
  EXPECT_TRUE(g_file_test(dir.File("chosen.sock").c_str(), G_FILE_TEST_EXISTS));
  EXPECT_FALSE(g_file_test(dir.File("ignored.sock").c_str(), G_FILE_TEST_EXISTS));
}

TEST(FlEngineTest, WithoutAnArgumentServesTheDefaultSocket) {
  RestoredEnv restored("XDG_RUNTIME_DIR");
  peer_testing::TempDir dir;
  RestoredEnv::Set("XDG_RUNTIME_DIR", dir.path().c_str());
  g_autoptr(FlDartProject) project = fl_dart_project_new();
  g_autoptr(FlEngine) engine = StartedEngine(project);
  ASSERT_NE(engine, nullptr);
  EXPECT_TRUE(g_file_test(dir.File("korvane-desktop.sock").c_str(), G_FILE_TEST_EXISTS));

  // Without a runtime directory, a per-user path in /tmp.
  const std::string per_user = "/tmp/korvane-desktop-" + std::to_string(geteuid()) + ".sock";
  const char* values[] = {nullptr, "", "/run/user/1000"};
  const std::string expected[] = {per_user, per_user, "/run/user/1000/korvane-desktop.sock"};
  for (int i = 0; i < 3; i++) {
    RestoredEnv::Set("XDG_RUNTIME_DIR", values[i]);
    EXPECT_EQ(korvane_peer::DefaultSocketPath(), expected[i]) << i;
  }
}

}  // namespace
