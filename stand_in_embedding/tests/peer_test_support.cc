#include "peer_test_support.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "in_process_dart.h"

namespace peer_testing {

namespace {

constexpr std::chrono::seconds kPatience(10);

void RemoveTree(const std::string& path) {
  g_autoptr(GDir) dir = g_dir_open(path.c_str(), 0, nullptr);
  if (dir != nullptr) {
    const gchar* name;
    while ((name = g_dir_read_name(dir)) != nullptr) {
      std::string child = path + "/" + name;
      // A link is removed, never followed: it may lead out of the tree.
      if (g_file_test(child.c_str(), G_FILE_TEST_IS_DIR) &&
          !g_file_test(child.c_str(), G_FILE_TEST_IS_SYMLINK)) {
        RemoveTree(child);
      } else {
        unlink(child.c_str());
      }
    }
  }
  rmdir(path.c_str());
}

}  // namespace

TempDir::TempDir() {
  g_autofree gchar* path = g_dir_make_tmp("korvane-peer-test-XXXXXX", nullptr);
  path_ = path != nullptr ? path : "";
  EXPECT_FALSE(path_.empty());
}

TempDir::~TempDir() {
  RemoveTree(path_);
}

bool RunPeer(const std::function<void()>& work) {
  std::atomic<bool> finished(false);
  std::thread peer([&] {
    work();
    finished = true;
    g_main_context_wakeup(nullptr);
  });
  bool in_time = flutter_testing::InProcessDart::RunUntil(
      [&] { return finished.load(); }, kPatience);
  peer.join();
  return in_time;
}

bool RunUntil(const std::function<bool()>& done) {
  return flutter_testing::InProcessDart::RunUntil(done, kPatience);
}

RawPeer::RawPeer(const std::string& path)
    : fd_(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&address),
                          sizeof(address)) != 0) {
    Close();
  }
  if (fd_ >= 0) {
    timeval timeout = {static_cast<time_t>(kPatience.count()), 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
  }
}

RawPeer::~RawPeer() {
  Close();
}

void RawPeer::Write(const korvane_peer::Bytes& bytes) {
  ASSERT_EQ(send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(bytes.size()));
}

bool RawPeer::ReadFrame(korvane_peer::Frame* frame) {
  std::string problem;
  while (reader_.Next(frame, &problem) !=
         korvane_peer::FrameReader::Result::kFrame) {
    uint8_t chunk[4096];
    ssize_t got = read(fd_, chunk, sizeof(chunk));
    if (got <= 0) {
      return false;
    }
    reader_.Append(chunk, got);
  }
  return true;
}

bool RawPeer::WaitForClose() {
  uint8_t chunk[4096];
  ssize_t got;
  while ((got = read(fd_, chunk, sizeof(chunk))) > 0) {
  }
  return got == 0;
}

void RawPeer::Close() {
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
}

HostSend::~HostSend() {
  g_clear_pointer(&reply, g_bytes_unref);
  g_clear_error(&error);
}

void HostSend::Start(FlBinaryMessenger* messenger,
                     const std::string& channel,
                     const korvane_peer::Bytes& message) {
  g_autoptr(GBytes) bytes = g_bytes_new(message.data(), message.size());
  fl_binary_messenger_send_on_channel(
      messenger, channel.c_str(), bytes, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer user_data) {
        auto* self = static_cast<HostSend*>(user_data);
        self->reply = fl_binary_messenger_send_on_channel_finish(
            FL_BINARY_MESSENGER(source), result, &self->error);
        self->done = true;
      },
      this);
}

void EchoHandler(FlBinaryMessenger* messenger,
                 const gchar* /*channel*/,
                 GBytes* message,
                 FlBinaryMessengerResponseHandle* response_handle,
                 gpointer /*user_data*/) {
  EXPECT_TRUE(fl_binary_messenger_send_response(messenger, response_handle,
                                                message, nullptr));
}

korvane_peer::Bytes MessageFrame(uint32_t id,
                                 const std::string& channel,
                                 const korvane_peer::Bytes& payload) {
  return *korvane_peer::EncodeMessage(id, channel, payload.data(),
                                      payload.size());
}

}  // namespace peer_testing
