#ifndef STAND_IN_EMBEDDING_PEER_PROTOCOL_FRAME_H_
#define STAND_IN_EMBEDDING_PEER_PROTOCOL_FRAME_H_

// The frames of the peer socket, shared by the host's relay and every peer
// client so that both ends encode and validate them the same way.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane_peer {

using Bytes = std::vector<uint8_t>;

// Bytes that may follow the length field of one frame.
inline constexpr uint32_t kMaxFrameLength = 64u * 1024 * 1024;

enum class FrameKind : uint8_t {
  kMessage = 1,
  kReply = 2,
};

struct Frame {
  FrameKind kind = FrameKind::kMessage;
  uint32_t id = 0;
  std::string channel;  // empty for replies
  Bytes payload;
};

// Nothing when the frame cannot be sent: a channel name longer than its
// 16-bit length field allows, or more than kMaxFrameLength bytes in all.
std::optional<Bytes> EncodeMessage(uint32_t id,
                                   std::string_view channel,
                                   const uint8_t* payload,
                                   size_t payload_size);
std::optional<Bytes> EncodeReply(uint32_t id,
                                 const uint8_t* payload,
                                 size_t payload_size);

// Cuts a byte stream into frames. A stream that breaks the format once is
// broken for good: every later call reports the same problem, because the
// frame boundaries after it cannot be trusted.
class FrameReader {
 public:
  enum class Result {
    kFrame,     // *frame holds the next frame
    kNeedMore,  // no whole frame yet
    kBroken,    // *problem says what is wrong
  };

  void Append(const uint8_t* data, size_t size);
  Result Next(Frame* frame, std::string* problem);

 private:
  Result Break(std::string problem_text, std::string* problem);

  Bytes buffer_;
  size_t start_ = 0;
  std::optional<std::string> broken_;
};

}  // namespace korvane_peer

#endif  // STAND_IN_EMBEDDING_PEER_PROTOCOL_FRAME_H_
