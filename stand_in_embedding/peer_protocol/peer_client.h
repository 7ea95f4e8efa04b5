#ifndef STAND_IN_EMBEDDING_PEER_PROTOCOL_PEER_CLIENT_H_
#define STAND_IN_EMBEDDING_PEER_PROTOCOL_PEER_CLIENT_H_

// The peer end of the peer socket, for command-line tools and tests: it plays
// the Dart side over a blocking connection. Replies and host messages are
// only read while a call waits in Call() or Serve().

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "frame.h"

namespace korvane_peer {

class PeerClient {
 public:
  // Returns the reply to a host message.
  using HostMessageHandler =
      std::function<Bytes(const std::string& channel, const Bytes& message)>;

  enum class WaitEnd {
    kDone,
    kTimedOut,
    kClosed,  // the host closed the connection
    kFailed,  // the connection broke or the host broke the frame rules
  };

  static std::unique_ptr<PeerClient> Connect(const std::string& path,
                                             std::string* error);
  ~PeerClient();
  PeerClient(const PeerClient&) = delete;
  PeerClient& operator=(const PeerClient&) = delete;

  // Without a handler, host messages get an empty reply, which tells the
  // host that no handler listens on the channel.
  void SetHostMessageHandler(HostMessageHandler handler);

  // Sends `message` on `channel` and waits for its reply, answering host
  // messages meanwhile. A negative timeout waits for ever.
  std::optional<Bytes> Call(const std::string& channel,
                            const Bytes& message,
                            int timeout_ms,
                            std::string* error);

  // Answers host messages until `count` of them are answered (0: no limit),
  // the timeout passes or the connection ends.
  WaitEnd Serve(size_t count, int timeout_ms, std::string* error);

 private:
  explicit PeerClient(int fd);

  WaitEnd Pump(const std::function<bool()>& done,
               int timeout_ms,
               std::string* error);
  bool Handle(Frame frame, std::string* error);
  bool Write(const std::optional<Bytes>& frame, std::string* error);
  WaitEnd Fail(WaitEnd end, const std::string& why, std::string* error);

  int fd_;
  FrameReader reader_;
  HostMessageHandler handler_;
  uint32_t next_id_ = 1;
  // Calls waiting for their reply; filled in when it arrives.
  std::map<uint32_t, std::optional<Bytes>> pending_;
  size_t answered_ = 0;
};

}  // namespace korvane_peer

#endif  // STAND_IN_EMBEDDING_PEER_PROTOCOL_PEER_CLIENT_H_
