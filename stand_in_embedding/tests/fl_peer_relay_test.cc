#include "fl_peer_relay.h"

#include <gio/gunixsocketaddress.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>

#include "in_process_dart.h"
#include "log_capture.h"
#include "peer_client.h"
#include "peer_test_support.h"

namespace {

using flutter_testing::InProcessDart;
using flutter_testing::LogCapture;
using korvane_peer::Bytes;
using korvane_peer::PeerClient;

constexpr int kTimeoutMs = 10000;
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

// A peer that writes raw bytes, to break the frame rules on purpose.
class RawPeer {
 public:
  explicit RawPeer(const std::string& path)
      : fd_(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    EXPECT_EQ(connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    timeval timeout = {static_cast<time_t>(kPatience.count()), 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
  }
  ~RawPeer() { Close(); }

  void Write(const Bytes& bytes) {
    ASSERT_EQ(send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  // Waits until the host has sent a whole frame and returns it.
  bool ReadFrame(korvane_peer::Frame* frame) {
    std::string problem;
    while (reader_.Next(frame, &problem) != korvane_peer::FrameReader::Result::kFrame) {
      uint8_t chunk[4096];
      ssize_t got = read(fd_, chunk, sizeof(chunk));
      if (got <= 0) {
        return false;
      }
      reader_.Append(chunk, got);
    }
    return true;
  }
  // Waits until the host closes the connection, skipping what it sends.
  bool WaitForClose() {
    uint8_t chunk[4096];
    ssize_t got;
    while ((got = read(fd_, chunk, sizeof(chunk))) > 0) {
    }
    return got == 0;
  }
  void Close() {
    if (fd_ >= 0) {
      close(fd_);
      fd_ = -1;
    }
  }

 private:
  int fd_;
  korvane_peer::FrameReader reader_;
};

// Sends a message from the host side and records the outcome.
struct HostSend {
  bool done = false;
  GBytes* reply = nullptr;
  GError* error = nullptr;
  ~HostSend() {
    g_clear_pointer(&reply, g_bytes_unref);
    g_clear_error(&error);
  }

  void Start(FlBinaryMessenger* messenger, const char* channel, const Bytes& message) {
    g_autoptr(GBytes) bytes = g_bytes_new(message.data(), message.size());
    fl_binary_messenger_send_on_channel(
        messenger, channel, bytes, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer user_data) {
          auto* self = static_cast<HostSend*>(user_data);
          self->reply = fl_binary_messenger_send_on_channel_finish(
              FL_BINARY_MESSENGER(source), result, &self->error);
          self->done = true;
        },
        this);
  }
  std::string ReplyText() const {
    return reply != nullptr ? std::string(static_cast<const char*>(g_bytes_get_data(reply, nullptr)),
                                          g_bytes_get_size(reply))
                            : "(none)";
  }
};

void EchoHandler(FlBinaryMessenger* messenger,
                 const gchar* /*channel*/,
                 GBytes* message,
                 FlBinaryMessengerResponseHandle* handle,
                 gpointer /*user_data*/) {
  EXPECT_TRUE(fl_binary_messenger_send_response(messenger, handle, message, nullptr));
}

Bytes EchoFrame(uint8_t payload) {
  return *korvane_peer::EncodeMessage(1, "echo", &payload, 1);
}

class FlPeerRelayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    messenger_ = fl_binary_messenger_impl_new();
    path_ = dir_.File("peer.sock");
    g_autoptr(GError) error = nullptr;
    relay_ = fl_peer_relay_new(messenger_, path_.c_str(), &error);
    ASSERT_NE(relay_, nullptr) << error->message;
    fl_binary_messenger_set_message_handler_on_channel(
        messenger(), "echo", EchoHandler, nullptr, nullptr);
  }

  void TearDown() override {
    g_clear_object(&relay_);
    g_clear_object(&messenger_);
    InProcessDart::Drain();
  }

  FlBinaryMessenger* messenger() { return FL_BINARY_MESSENGER(messenger_); }

  std::unique_ptr<PeerClient> Connect() {
    std::string error;
    auto client = PeerClient::Connect(path_, &error);
    EXPECT_NE(client, nullptr) << error;
    return client;
  }

  bool WaitForPeers(guint count) {
    return RunUntil(
        [&] { return fl_peer_relay_get_peer_count(relay_) == count; });
  }

  // Calls "echo" from a peer thread and returns what came back.
  std::optional<Bytes> EchoFrom(PeerClient* client, const Bytes& message) {
    std::optional<Bytes> reply;
    std::string error;
    EXPECT_TRUE(RunPeer(
        [&] { reply = client->Call("echo", message, kTimeoutMs, &error); }));
    EXPECT_TRUE(reply) << error;
    return reply;
  }

  peer_testing::TempDir dir_;
  std::string path_;
  FlBinaryMessengerImpl* messenger_ = nullptr;
  FlPeerRelay* relay_ = nullptr;
};

TEST_F(FlPeerRelayTest, HostMessagesGoToTheNewestPeer) {
  auto older = Connect();
  auto newer = Connect();
  ASSERT_TRUE(WaitForPeers(2));
  older->SetHostMessageHandler([](const std::string&, const Bytes&) { return Bytes{'o'}; });
  newer->SetHostMessageHandler([](const std::string& channel, const Bytes& m) {
    Bytes reply(channel.begin(), channel.end());
    reply.insert(reply.end(), m.begin(), m.end());
    return reply;
  });

  HostSend to_newer;
  to_newer.Start(messenger(), "ch", {'!'});
  std::string error;
  ASSERT_TRUE(RunPeer([&] { newer->Serve(1, kTimeoutMs, &error); }));
  ASSERT_TRUE(RunUntil([&] { return to_newer.done; }));
  EXPECT_EQ(to_newer.ReplyText(), "ch!");

  // When the newest leaves, the one before it takes over.
  newer.reset();
  ASSERT_TRUE(WaitForPeers(1));
  HostSend to_older;
  to_older.Start(messenger(), "ch", {});
  ASSERT_TRUE(RunPeer([&] { older->Serve(1, kTimeoutMs, &error); }));
  ASSERT_TRUE(RunUntil([&] { return to_older.done; }));
  EXPECT_EQ(to_older.ReplyText(), "o");
}

TEST_F(FlPeerRelayTest, PendingHostMessagesFailWhenTheirPeerGoesAway) {
  RawPeer peer(path_);
  ASSERT_TRUE(WaitForPeers(1));
  HostSend first, second;
  first.Start(messenger(), "ch", {1});
  second.Start(messenger(), "ch", {2});
  korvane_peer::Frame frame;
  ASSERT_TRUE(RunPeer([&] {
    ASSERT_TRUE(peer.ReadFrame(&frame));
    ASSERT_TRUE(peer.ReadFrame(&frame));
    peer.Close();
  }));
  EXPECT_EQ(frame.channel, "ch");
  EXPECT_EQ(frame.payload, Bytes{2});

  ASSERT_TRUE(RunUntil([&] { return first.done && second.done; }));
  EXPECT_EQ(first.reply, nullptr);
  EXPECT_TRUE(
      g_error_matches(first.error, G_IO_ERROR, G_IO_ERROR_CONNECTION_CLOSED));
  EXPECT_TRUE(
      g_error_matches(second.error, G_IO_ERROR, G_IO_ERROR_CONNECTION_CLOSED));
  EXPECT_EQ(fl_peer_relay_get_peer_count(relay_), 0u);

  // With no peer left, a host message completes as "no handler".
  HostSend unheard;
  unheard.Start(messenger(), "ch", {1});
  ASSERT_TRUE(RunUntil([&] { return unheard.done; }));
  EXPECT_EQ(unheard.ReplyText(), "");
}

// Frames that break the rules are ProgramE2eTest's and PeerFrameTest's; a
// reply to nothing asked is the relay's own to refuse.
TEST_F(FlPeerRelayTest, ReplyToAnUnknownIdClosesOnlyItsConnection) {
  auto bystander = Connect();
  RawPeer offender(path_);
  ASSERT_TRUE(WaitForPeers(2));
  LogCapture log;
  // Served normally until the bad bytes arrive.
  korvane_peer::Frame reply;
  bool closed = false;
  ASSERT_TRUE(RunPeer([&] {
    offender.Write(EchoFrame(7));
    ASSERT_TRUE(offender.ReadFrame(&reply));
    offender.Write(*korvane_peer::EncodeReply(77, nullptr, 0));
    closed = offender.WaitForClose();
  }));
  EXPECT_EQ(reply.payload, Bytes{7});
  EXPECT_TRUE(closed);
  ASSERT_TRUE(WaitForPeers(1));
  auto warnings = log.Messages(G_LOG_LEVEL_WARNING);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("reply to unknown id 77"), std::string::npos)
      << warnings[0];
  EXPECT_EQ(EchoFrom(bystander.get(), {4}), Bytes{4});
}

TEST_F(FlPeerRelayTest, UnansweredPeerMessageGetsAnEmptyReplyFromTheMainThread) {
  std::thread::id handler_thread;
  fl_binary_messenger_set_message_handler_on_channel(
      messenger(), "drop",
      [](FlBinaryMessenger*, const gchar*, GBytes*, FlBinaryMessengerResponseHandle*,
         gpointer user_data) {
        *static_cast<std::thread::id*>(user_data) = std::this_thread::get_id();
      },
      &handler_thread, nullptr);
  LogCapture log;
  auto client = Connect();
  std::optional<Bytes> reply;
  std::string error;
  ASSERT_TRUE(RunPeer([&] { reply = client->Call("drop", {1}, kTimeoutMs, &error); }));
  EXPECT_EQ(reply, Bytes{}) << error;
  EXPECT_EQ(handler_thread, std::this_thread::get_id());
  EXPECT_EQ(log.Messages(G_LOG_LEVEL_CRITICAL).size(), 1u);
}

TEST_F(FlPeerRelayTest, SocketFileIsForItsOwnerOnly) {
  struct stat status;
  ASSERT_EQ(stat(path_.c_str(), &status), 0);
  EXPECT_TRUE(S_ISSOCK(status.st_mode));
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  EXPECT_EQ(status.st_uid, geteuid());
}

TEST_F(FlPeerRelayTest, DisposeFailsPendingMessagesAndRemovesTheSocket) {
  RawPeer peer(path_);
  ASSERT_TRUE(WaitForPeers(1));
  HostSend send;
  send.Start(messenger(), "ch", {});
  korvane_peer::Frame frame;
  ASSERT_TRUE(RunPeer([&] { ASSERT_TRUE(peer.ReadFrame(&frame)); }));

  g_clear_object(&relay_);
  ASSERT_TRUE(RunUntil([&] { return send.done; }));
  EXPECT_NE(send.error, nullptr);
  EXPECT_FALSE(g_file_test(path_.c_str(), G_FILE_TEST_EXISTS));
  bool closed = false;
  ASSERT_TRUE(RunPeer([&] { closed = peer.WaitForClose(); }));
  EXPECT_TRUE(closed);

  // Unplugged: the messenger has no Dart side any more.
  HostSend after;
  after.Start(messenger(), "ch", {});
  ASSERT_TRUE(RunUntil([&] { return after.done; }));
  ASSERT_NE(after.reply, nullptr);
  EXPECT_EQ(g_bytes_get_size(after.reply), 0u);
}

TEST_F(FlPeerRelayTest, StaleFilesAreReplacedButALiveSocketIsNot) {
  g_autoptr(GError) error = nullptr;
  g_autoptr(FlBinaryMessengerImpl) other = fl_binary_messenger_impl_new();
  EXPECT_EQ(fl_peer_relay_new(other, path_.c_str(), &error), nullptr);
  EXPECT_TRUE(g_error_matches(error, G_IO_ERROR, G_IO_ERROR_ADDRESS_IN_USE));
  auto client = Connect();
  EXPECT_EQ(EchoFrom(client.get(), {1}), Bytes{1})
      << "the live host is untouched";
  client.reset();

  // A socket whose host died without removing it.
  std::string stale_socket = dir_.File("stale.sock");
  {
    g_autoptr(GSocket) dead =
        g_socket_new(G_SOCKET_FAMILY_UNIX, G_SOCKET_TYPE_STREAM,
                     G_SOCKET_PROTOCOL_DEFAULT, nullptr);
    g_autoptr(GSocketAddress) address =
        g_unix_socket_address_new(stale_socket.c_str());
    ASSERT_TRUE(g_socket_bind(dead, address, FALSE, nullptr));
  }
  std::string stale_file = dir_.File("stale.file");
  ASSERT_TRUE(g_file_set_contents(stale_file.c_str(), "x", 1, nullptr));

  for (const std::string& stale : {stale_socket, stale_file}) {
    SCOPED_TRACE(stale);
    g_autoptr(GError) stale_error = nullptr;
    g_autoptr(FlPeerRelay) relay =
        fl_peer_relay_new(other, stale.c_str(), &stale_error);
    ASSERT_NE(relay, nullptr) << stale_error->message;
    struct stat status;
    ASSERT_EQ(stat(stale.c_str(), &status), 0);
    EXPECT_TRUE(S_ISSOCK(status.st_mode));
    std::string connect_error;
    EXPECT_NE(PeerClient::Connect(stale, &connect_error), nullptr)
        << connect_error;
  }
}

TEST_F(FlPeerRelayTest, UnusablePathsFailWithAnError) {
  g_autoptr(FlBinaryMessengerImpl) other = fl_binary_messenger_impl_new();
  for (const std::string& path :
       {std::string(), dir_.File(std::string(120, 'p')),
        dir_.File("missing/peer.sock")}) {
    SCOPED_TRACE(path);
    g_autoptr(GError) error = nullptr;
    EXPECT_EQ(fl_peer_relay_new(other, path.c_str(), &error), nullptr);
    EXPECT_NE(error, nullptr);
  }
}

// The socket file alone would keep another user out, so it is opened up here:
// what refuses the peer below can only be the check of its credentials.
TEST_F(FlPeerRelayTest, RefusesPeersOfAnotherUser) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "needs root to run a peer as another user";
  }
  constexpr uid_t kNobody = 65534;
  ASSERT_EQ(chmod(dir_.path().c_str(), 0711), 0);
  ASSERT_EQ(chmod(path_.c_str(), 0666), 0);
  LogCapture log;

  // Built before fork(): the child may only make async-signal-safe calls.
  Bytes message = EchoFrame(1);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  strncpy(address.sun_path, path_.c_str(), sizeof(address.sun_path) - 1);

  // Exit status: 0 refused (the connection ended, by end of file or by a
  // reset, as the message was left unread), 1 answered, 2 could not become
  // the other user, 3 could not connect.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 ||
        setuid(kNobody) != 0) {
      _exit(2);
    }
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) !=
        0) {
      _exit(3);
    }
    (void)!write(fd, message.data(), message.size());
    char byte;
    _exit(read(fd, &byte, 1) > 0 ? 1 : 0);
  }

  int status = -1;
  g_child_watch_add(
      child,
      [](GPid, gint wait_status, gpointer user_data) {
        *static_cast<int*>(user_data) = wait_status;
      },
      &status);
  ASSERT_TRUE(RunUntil([&] { return status != -1; }));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  auto warnings = log.Messages(G_LOG_LEVEL_WARNING);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("Refused a peer of user 65534"), std::string::npos)
      << warnings[0];
  EXPECT_EQ(fl_peer_relay_get_peer_count(relay_), 0u);

  // The same way in still serves a peer of the host's own user.
  auto client = Connect();
  EXPECT_EQ(EchoFrom(client.get(), {5}), Bytes{5});
}

}  // namespace
