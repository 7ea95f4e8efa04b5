#ifndef STAND_IN_EMBEDDING_TESTS_PEER_TEST_SUPPORT_H_
#define STAND_IN_EMBEDDING_TESTS_PEER_TEST_SUPPORT_H_

#include <flutter_linux/flutter_linux.h>

#include <functional>
#include <string>

#include "frame.h"

namespace peer_testing {

// A private directory for one test's socket, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Runs `work` on a thread of its own, standing for another process, while
// this thread runs the main context as the host's GTK main thread does.
// Returns false when `work` did not finish in time.
bool RunPeer(const std::function<void()>& work);

// Runs the main context until `done` or a few seconds pass.
bool RunUntil(const std::function<bool()>& done);

// A peer that writes raw bytes, to break the frame rules on purpose.
class RawPeer {
 public:
  explicit RawPeer(const std::string& path);
  ~RawPeer();
  RawPeer(const RawPeer&) = delete;
  RawPeer& operator=(const RawPeer&) = delete;

  bool connected() const { return fd_ >= 0; }
  void Write(const korvane_peer::Bytes& bytes);
  // Waits until the host has sent a whole frame and returns it.
  bool ReadFrame(korvane_peer::Frame* frame);
  // Waits until the host closes the connection, skipping what it sends.
  bool WaitForClose();
  void Close();

 private:
  int fd_;
  korvane_peer::FrameReader reader_;
};

// Sends `message` on `channel` from the host side and records the outcome.
struct HostSend {
  bool done = false;
  GBytes* reply = nullptr;  // owned
  GError* error = nullptr;  // owned
  ~HostSend();

  void Start(FlBinaryMessenger* messenger,
             const std::string& channel,
             const korvane_peer::Bytes& message);
};

// A messenger handler that answers with the message it got.
void EchoHandler(FlBinaryMessenger* messenger,
                 const gchar* channel,
                 GBytes* message,
                 FlBinaryMessengerResponseHandle* response_handle,
                 gpointer user_data);

korvane_peer::Bytes MessageFrame(uint32_t id,
                                 const std::string& channel,
                                 const korvane_peer::Bytes& payload);

}  // namespace peer_testing

#endif  // STAND_IN_EMBEDDING_TESTS_PEER_TEST_SUPPORT_H_
