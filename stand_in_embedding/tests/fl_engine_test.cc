#include "fl_engine_private.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "peer_client.h"
#include "peer_test_support.h"
#include "socket_path.h"

namespace {

using korvane_peer::Bytes;
using korvane_peer::PeerClient;
using peer_testing::HostSend;
using peer_testing::RunPeer;
using peer_testing::RunUntil;

FlDartProject* ProjectWithArguments(std::vector<std::string> arguments) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  FlDartProject* project = fl_dart_project_new();
  fl_dart_project_set_dart_entrypoint_arguments(project, argv.data());
  return project;
}

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value)
      : name_(name), had_value_(g_getenv(name) != nullptr) {
    if (had_value_) {
      old_ = g_getenv(name);
    }
    Set(value);
  }
  ~ScopedEnv() { Set(had_value_ ? old_.c_str() : nullptr); }

 private:
  void Set(const char* value) {
    if (value != nullptr) {
      g_setenv(name_, value, TRUE);
    } else {
      g_unsetenv(name_);
    }
  }

  const char* name_;
  bool had_value_;
  std::string old_;
};

TEST(FlEngineTest, ServesTheSocketNamedByTheLastPeerSocketArgument) {
  peer_testing::TempDir dir;
  std::string path = dir.File("chosen.sock");
  g_autoptr(FlDartProject) project =
      ProjectWithArguments({"--peer-socket=" + dir.File("ignored.sock"),
                            "--other", "--peer-socket=" + path});
  g_autoptr(FlEngine) engine = fl_engine_new(project);
  FlBinaryMessenger* messenger = fl_engine_get_binary_messenger(engine);
  fl_binary_messenger_set_message_handler_on_channel(
      messenger, "echo", peer_testing::EchoHandler, nullptr, nullptr);

  EXPECT_EQ(fl_engine_get_peer_relay(engine), nullptr);
  g_autoptr(GError) error = nullptr;
  ASSERT_TRUE(fl_engine_start(engine, &error)) << error->message;
  ASSERT_TRUE(fl_engine_start(engine, &error)) << "starting twice is harmless";
  EXPECT_STREQ(fl_peer_relay_get_path(fl_engine_get_peer_relay(engine)),
               path.c_str());
  EXPECT_FALSE(
      g_file_test(dir.File("ignored.sock").c_str(), G_FILE_TEST_EXISTS));

  std::string client_error;
  auto client = PeerClient::Connect(path, &client_error);
  ASSERT_NE(client, nullptr) << client_error;
  std::optional<Bytes> reply;
  ASSERT_TRUE(RunPeer(
      [&] { reply = client->Call("echo", {3}, 10000, &client_error); }));
  EXPECT_EQ(reply, Bytes{3}) << client_error;

  // A host message still waiting when the engine goes fails, and the
  // socket file goes with the engine.
  HostSend pending;
  pending.Start(messenger, "ch", {});
  g_clear_object(&engine);
  ASSERT_TRUE(RunUntil([&] { return pending.done; }));
  EXPECT_NE(pending.error, nullptr);
  EXPECT_FALSE(g_file_test(path.c_str(), G_FILE_TEST_EXISTS));
}

TEST(FlEngineTest, WithoutAnArgumentServesTheDefaultSocket) {
  peer_testing::TempDir dir;
  ScopedEnv runtime_dir("XDG_RUNTIME_DIR", dir.path().c_str());
  g_autoptr(FlDartProject) project = fl_dart_project_new();
  g_autoptr(FlEngine) engine = fl_engine_new(project);
  g_autoptr(GError) error = nullptr;
  ASSERT_TRUE(fl_engine_start(engine, &error)) << error->message;
  EXPECT_TRUE(g_file_test(dir.File("korvane-desktop.sock").c_str(),
                          G_FILE_TEST_EXISTS));
}

TEST(FlEngineTest, DefaultSocketPathFallsBackToAPerUserTmpPath) {
  std::string per_user =
      "/tmp/korvane-desktop-" + std::to_string(geteuid()) + ".sock";
  {
    ScopedEnv runtime_dir("XDG_RUNTIME_DIR", nullptr);
    EXPECT_EQ(korvane_peer::DefaultSocketPath(), per_user);
  }
  {
    ScopedEnv runtime_dir("XDG_RUNTIME_DIR", "");
    EXPECT_EQ(korvane_peer::DefaultSocketPath(), per_user);
  }
  ScopedEnv runtime_dir("XDG_RUNTIME_DIR", "/run/user/1000");
  EXPECT_EQ(korvane_peer::DefaultSocketPath(),
            "/run/user/1000/korvane-desktop.sock");
}

}  // namespace
