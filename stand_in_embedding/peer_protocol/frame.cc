#include "frame.h"

#include <glib.h>

#include <limits>
#include <utility>

namespace korvane_peer {

namespace {

constexpr size_t kLengthSize = 4;
constexpr size_t kReplyHeaderSize = 1 + 4;                   // kind, id
constexpr size_t kMessageHeaderSize = kReplyHeaderSize + 2;  // channel length
constexpr size_t kShrinkAbove = 1024 * 1024;

void PutU16(Bytes* out, uint16_t value) {
  out->push_back(value & 0xff);
  out->push_back(value >> 8);
}

void PutU32(Bytes* out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    out->push_back((value >> shift) & 0xff);
  }
}

uint16_t GetU16(const uint8_t* data) {
  return static_cast<uint16_t>(data[0] | (data[1] << 8));
}

uint32_t GetU32(const uint8_t* data) {
  return static_cast<uint32_t>(data[0]) |
         (static_cast<uint32_t>(data[1]) << 8) |
         (static_cast<uint32_t>(data[2]) << 16) |
         (static_cast<uint32_t>(data[3]) << 24);
}

std::optional<Bytes> Encode(FrameKind kind,
                            uint32_t id,
                            std::optional<std::string_view> channel,
                            const uint8_t* payload,
                            size_t payload_size) {
  size_t header =
      channel ? kMessageHeaderSize + channel->size() : kReplyHeaderSize;
  if (channel && channel->size() > std::numeric_limits<uint16_t>::max()) {
    return std::nullopt;
  }
  if (payload_size > kMaxFrameLength - header) {
    return std::nullopt;
  }
  Bytes frame;
  frame.reserve(kLengthSize + header + payload_size);
  PutU32(&frame, static_cast<uint32_t>(header + payload_size));
  frame.push_back(static_cast<uint8_t>(kind));
  PutU32(&frame, id);
  if (channel) {
    PutU16(&frame, static_cast<uint16_t>(channel->size()));
    frame.insert(frame.end(), channel->begin(), channel->end());
  }
  if (payload_size > 0) {
    frame.insert(frame.end(), payload, payload + payload_size);
  }
  return frame;
}

}  // namespace

std::optional<Bytes> EncodeMessage(uint32_t id,
                                   std::string_view channel,
                                   const uint8_t* payload,
                                   size_t payload_size) {
  return Encode(FrameKind::kMessage, id, channel, payload, payload_size);
}

std::optional<Bytes> EncodeReply(uint32_t id,
                                 const uint8_t* payload,
                                 size_t payload_size) {
  return Encode(FrameKind::kReply, id, std::nullopt, payload, payload_size);
}

void FrameReader::Append(const uint8_t* data, size_t size) {
  if (broken_ || size == 0) {
    return;
  }
  // Reclaim consumed bytes before growing, so that a long-lived connection
  // does not keep every frame it ever read, nor the room that its largest
  // frame once took.
  if (start_ == buffer_.size() && buffer_.capacity() > kShrinkAbove) {
    Bytes().swap(buffer_);
    start_ = 0;
  } else if (start_ > 0 && start_ >= buffer_.size() / 2) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + start_);
    start_ = 0;
  }
  buffer_.insert(buffer_.end(), data, data + size);
}

FrameReader::Result FrameReader::Break(std::string problem_text,
                                       std::string* problem) {
  broken_ = std::move(problem_text);
  buffer_.clear();
  start_ = 0;
  *problem = *broken_;
  return Result::kBroken;
}

FrameReader::Result FrameReader::Next(Frame* frame, std::string* problem) {
  if (broken_) {
    *problem = *broken_;
    return Result::kBroken;
  }
  const size_t available = buffer_.size() - start_;
  const uint8_t* data = buffer_.data() + start_;
  if (available < kLengthSize) {
    return Result::kNeedMore;
  }

  // The header is judged as soon as it has arrived, so that a bad length
  // never makes the reader wait for (or buffer) bytes that will not come.
  const uint32_t length = GetU32(data);
  if (length == 0) {
    return Break("frame length 0", problem);
  }
  if (length > kMaxFrameLength) {
    return Break("frame length " + std::to_string(length) + " over the limit",
                 problem);
  }
  if (available == kLengthSize) {
    return Result::kNeedMore;
  }
  const uint8_t kind = data[kLengthSize];
  if (kind != static_cast<uint8_t>(FrameKind::kMessage) &&
      kind != static_cast<uint8_t>(FrameKind::kReply)) {
    return Break("unknown frame kind " + std::to_string(kind), problem);
  }
  if (available - kLengthSize < length) {
    return Result::kNeedMore;
  }

  const uint8_t* body = data + kLengthSize;
  const bool is_message = kind == static_cast<uint8_t>(FrameKind::kMessage);
  const size_t header = is_message ? kMessageHeaderSize : kReplyHeaderSize;
  if (length < header) {
    return Break("frame of " + std::to_string(length) +
                     " bytes is shorter than its header",
                 problem);
  }
  size_t channel_length = 0;
  if (is_message) {
    channel_length = GetU16(body + kReplyHeaderSize);
    if (channel_length > length - header) {
      return Break("channel length " + std::to_string(channel_length) +
                       " runs past the frame",
                   problem);
    }
    const char* channel = reinterpret_cast<const char*>(body + header);
    if (!g_utf8_validate_len(channel, channel_length, nullptr)) {
      return Break("channel name is not UTF-8 text", problem);
    }
  }

  frame->kind = static_cast<FrameKind>(kind);
  frame->id = GetU32(body + 1);
  frame->channel.assign(reinterpret_cast<const char*>(body + header),
                        channel_length);
  frame->payload.assign(body + header + channel_length, body + length);
  start_ += kLengthSize + length;
  return Result::kFrame;
}

}  // namespace korvane_peer
