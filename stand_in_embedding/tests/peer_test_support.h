#ifndef STAND_IN_EMBEDDING_TESTS_PEER_TEST_SUPPORT_H_
#define STAND_IN_EMBEDDING_TESTS_PEER_TEST_SUPPORT_H_

#include <gio/gio.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

// Sets (or, without a value, removes) one variable until it ends.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

// Keeps polling `condition` every `interval` until it holds (true) or
// `timeout` has passed (false). The servers and programs that tests start can
// take seconds on a loaded two-core machine running the suite in parallel.
bool Eventually(
    const std::function<bool()>& condition,
    std::chrono::milliseconds timeout = std::chrono::seconds(20),
    std::chrono::milliseconds interval = std::chrono::milliseconds(20));

// Ends a child and waits for it: SIGTERM, and SIGKILL for it and for the
// process group it may lead when it has not gone within a few seconds.
struct ProcessStopper {
  void operator()(GSubprocess* process) const;
};
using Process = std::unique_ptr<GSubprocess, ProcessStopper>;

// `command` started through `launcher`; null, with a failed expectation,
// when it cannot start.
GSubprocess* Spawn(GSubprocessLauncher* launcher,
                   const std::vector<std::string>& command);

// A peer on a bare socket, for what korvane-peer never does: half frames,
// frames that break the rules, replies read late or never. A send or a read
// gives up once nothing moved for `patience`.
class RawPeer {
 public:
  explicit RawPeer(const std::string& path,
                   std::chrono::seconds patience = std::chrono::seconds(20));
  ~RawPeer();
  RawPeer(const RawPeer&) = delete;
  RawPeer& operator=(const RawPeer&) = delete;

  int fd() const { return fd_; }
  void Patience(std::chrono::seconds patience);
  // Where in `bytes` the host stopped taking them, sending from `from` on.
  size_t Send(const korvane_peer::Bytes& bytes, size_t from = 0);
  bool SendAll(const korvane_peer::Bytes& bytes) {
    return Send(bytes) == bytes.size();
  }
  // The host's next whole frame; false when it closed or went quiet.
  bool ReadFrame(korvane_peer::Frame* frame);
  // True when the host closes the connection without sending anything.
  bool ClosedByHost();

 private:
  int fd_;
  korvane_peer::FrameReader reader_;
};

}  // namespace peer_testing

#endif  // STAND_IN_EMBEDDING_TESTS_PEER_TEST_SUPPORT_H_
