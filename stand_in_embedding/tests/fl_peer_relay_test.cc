#include "fl_peer_relay.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "frame.h"
#include "in_process_dart.h"
#include "log_capture.h"
#include "peer_test_support.h"
#include "socket_path.h"

// Faulty, numerous and unread peers are ProgramE2eTest's; these are what
// only the relay itself can stage.
namespace {

using flutter_testing::InProcessDart;
using flutter_testing::LogCapture;
using korvane_peer::Bytes;
using korvane_peer::Frame;
using peer_testing::RawPeer;

constexpr std::chrono::seconds kPatience(10);

bool RunUntil(const std::function<bool()>& done) {
  return InProcessDart::RunUntil(done, kPatience);
}

// Runs `work` on a thread of its own, standing for another process, while
// this thread runs the main context as the host's GTK main thread does.
bool RunPeer(const std::function<void()>& work) {
  std::atomic<bool> finished(false);
  std::thread peer([&] {
    work();
    finished = true;
    g_main_context_wakeup(nullptr);
  });
  bool in_time = RunUntil([&] { return finished.load(); });
  peer.join();
  return in_time;
}

// The reply to `byte` on "echo", sent and read on a thread of its own.
std::optional<Bytes> Echo(RawPeer& peer, uint8_t byte) {
  Frame reply;
  bool got = false;
  RunPeer([&] {
    got = peer.SendAll(*korvane_peer::EncodeMessage(1, "echo", &byte, 1)) &&
          peer.ReadFrame(&reply);
  });
  return got ? std::optional<Bytes>(reply.payload) : std::nullopt;
}

// A message from the host to its Dart side, and how it ended.
struct HostSend {
  std::optional<std::string> outcome;  // the reply as text, or "(failed)"
  bool peer_went = false;
  HostSend(FlBinaryMessenger* messenger, const Bytes& message) {
    g_autoptr(GBytes) bytes = g_bytes_new(message.data(), message.size());
    fl_binary_messenger_send_on_channel(
        messenger, "ch", bytes, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer user_data) {
          auto* self = static_cast<HostSend*>(user_data);
          g_autoptr(GError) error = nullptr;
          g_autoptr(GBytes) reply = fl_binary_messenger_send_on_channel_finish(
              FL_BINARY_MESSENGER(source), result, &error);
          self->peer_went =
              g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CONNECTION_CLOSED);
          self->outcome =
              reply == nullptr
                  ? "(failed)"
                  : std::string(static_cast<const char*>(
                                    g_bytes_get_data(reply, nullptr)),
                                g_bytes_get_size(reply));
        },
        this);
  }
  std::string Outcome() {
    return RunUntil([this] { return outcome.has_value(); }) ? *outcome
                                                            : "(waiting)";
  }
};

class FlPeerRelayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    messenger_ = fl_binary_messenger_impl_new();
    path_ = dir_.File("peer.sock");
    g_autoptr(GError) error = nullptr;
    relay_ = fl_peer_relay_new(messenger_, path_.c_str(), &error);
    ASSERT_NE(relay_, nullptr) << error->message;
    fl_binary_messenger_set_message_handler_on_channel(
        messenger(), "echo",
        [](FlBinaryMessenger* messenger, const gchar*, GBytes* message,
           FlBinaryMessengerResponseHandle* handle, gpointer) {
          fl_binary_messenger_send_response(messenger, handle, message,
                                            nullptr);
        },
        nullptr, nullptr);
  }

  void TearDown() override {
    g_clear_object(&relay_);
    g_clear_object(&messenger_);
    InProcessDart::Drain();
  }

  FlBinaryMessenger* messenger() { return FL_BINARY_MESSENGER(messenger_); }

  bool WaitForPeers(guint count) {
    return RunUntil(
        [&] { return fl_peer_relay_get_peer_count(relay_) == count; });
  }

  peer_testing::TempDir dir_;
  std::string path_;
  FlBinaryMessengerImpl* messenger_ = nullptr;
  FlPeerRelay* relay_ = nullptr;
};

TEST_F(FlPeerRelayTest, HostMessagesGoToTheNewestPeerAndFailWhenItGoes) {
  // With no peer, as with no handler: an empty reply.
  EXPECT_EQ(HostSend(messenger(), {0}).Outcome(), "");

  RawPeer older(path_), newer(path_);
  ASSERT_TRUE(WaitForPeers(2));
  HostSend first(messenger(), {'1'});
  Frame frame;
  ASSERT_TRUE(RunPeer([&] {
    ASSERT_TRUE(newer.ReadFrame(&frame));
    shutdown(newer.fd(), SHUT_RDWR);
  }));
  EXPECT_EQ(frame.payload, Bytes{'1'});
  EXPECT_EQ(first.Outcome(), "(failed)");
  EXPECT_TRUE(first.peer_went);

  // The one before it takes over.
  ASSERT_TRUE(WaitForPeers(1));
  HostSend second(messenger(), {'2'});
  ASSERT_TRUE(RunPeer([&] {
    ASSERT_TRUE(older.ReadFrame(&frame));
    ASSERT_TRUE(older.SendAll(
        *korvane_peer::EncodeReply(frame.id, frame.payload.data(), 1)));
  }));
  EXPECT_EQ(second.Outcome(), "2");

  // A reply to an id never sent closes only the connection it came on.
  {
    RawPeer offender(path_);
    ASSERT_TRUE(WaitForPeers(2));
    LogCapture log;
    ASSERT_TRUE(offender.SendAll(*korvane_peer::EncodeReply(77, nullptr, 0)));
    ASSERT_TRUE(WaitForPeers(1));
    const auto warnings = log.Messages(G_LOG_LEVEL_WARNING);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("reply to unknown id 77"), std::string::npos);
  }

  // Disposing the relay fails what still waits for a reply, closes the
  // peers, removes the socket and leaves the messenger without a Dart side.
  HostSend pending(messenger(), {'3'});
  ASSERT_TRUE(RunPeer([&] { ASSERT_TRUE(older.ReadFrame(&frame)); }));
  g_clear_object(&relay_);
  EXPECT_EQ(pending.Outcome(), "(failed)");
  EXPECT_FALSE(g_file_test(path_.c_str(), G_FILE_TEST_EXISTS));
  bool closed = false;
  ASSERT_TRUE(RunPeer([&] { closed = older.ClosedByHost(); }));
  EXPECT_TRUE(closed) << "the peer is still connected";
  EXPECT_EQ(HostSend(messenger(), {'4'}).Outcome(), "");
}

TEST_F(FlPeerRelayTest, SocketIsTheOwnersAndReplacesOnlyStaleFiles) {
  struct stat status;
  ASSERT_EQ(stat(path_.c_str(), &status), 0);
  EXPECT_TRUE(S_ISSOCK(status.st_mode));
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  EXPECT_EQ(status.st_uid, geteuid());

  g_autoptr(FlBinaryMessengerImpl) other = fl_binary_messenger_impl_new();
  g_autoptr(GError) error = nullptr;
  EXPECT_EQ(fl_peer_relay_new(other, path_.c_str(), &error), nullptr);
  EXPECT_TRUE(g_error_matches(error, G_IO_ERROR, G_IO_ERROR_ADDRESS_IN_USE));
  RawPeer unaffected(path_);
  EXPECT_EQ(Echo(unaffected, 1), Bytes{1}) << "the live host is untouched";

  // A socket whose host died without removing it, and a plain file.
  std::string stale_socket = dir_.File("stale.sock");
  ASSERT_EQ(mknod(stale_socket.c_str(), S_IFSOCK | 0600, 0), 0);
  std::string stale_file = dir_.File("stale.file");
  ASSERT_TRUE(g_file_set_contents(stale_file.c_str(), "x", 1, nullptr));
  for (const std::string& stale : {stale_socket, stale_file}) {
    SCOPED_TRACE(stale);
    g_autoptr(GError) stale_error = nullptr;
    g_autoptr(FlPeerRelay) relay =
        fl_peer_relay_new(other, stale.c_str(), &stale_error);
    ASSERT_NE(relay, nullptr) << stale_error->message;
    // Served: the other messenger has no handler, so the answer is empty.
    RawPeer peer(stale);
    EXPECT_EQ(Echo(peer, 2), Bytes{});
  }

  // Too long for a socket address, or in no directory.
  for (const std::string& path :
       {std::string(), dir_.File(std::string(120, 'p')),
        dir_.File("missing/peer.sock")}) {
    SCOPED_TRACE(path);
    g_autoptr(GError) path_error = nullptr;
    EXPECT_EQ(fl_peer_relay_new(other, path.c_str(), &path_error), nullptr);
    EXPECT_NE(path_error, nullptr);
  }
}

// The socket is opened up, so that only the check of credentials refuses.
TEST_F(FlPeerRelayTest, RefusesPeersOfAnotherUser) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "needs root to run a peer as another user";
  }
  constexpr uid_t kNobody = 65534;
  ASSERT_EQ(chmod(dir_.path().c_str(), 0711), 0);
  ASSERT_EQ(chmod(path_.c_str(), 0666), 0);
  LogCapture log;

  // Built before fork(): the child may only make async-signal-safe calls.
  uint8_t byte = 1;
  Bytes message = *korvane_peer::EncodeMessage(1, "echo", &byte, 1);
  // The child exits with 0 when refused (end of file or reset), 1 when
  // answered, 2 when it could not become the other user, 3 unconnected.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 ||
        setuid(kNobody) != 0) {
      _exit(2);
    }
    const int fd = korvane_peer::ConnectToSocket(path_);
    if (fd < 0) {
      _exit(3);
    }
    (void)!write(fd, message.data(), message.size());
    _exit(read(fd, &byte, 1) > 0 ? 1 : 0);
  }

  int status = -1;
  ASSERT_TRUE(RunPeer([&] { waitpid(child, &status, 0); }));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  auto warnings = log.Messages(G_LOG_LEVEL_WARNING);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("Refused a peer of user 65534"), std::string::npos)
      << warnings[0];
  EXPECT_EQ(fl_peer_relay_get_peer_count(relay_), 0u);
  // The same way in still serves a peer of the host's own user.
  RawPeer own(path_);
  EXPECT_EQ(Echo(own, 5), Bytes{5});
}

}  // namespace
