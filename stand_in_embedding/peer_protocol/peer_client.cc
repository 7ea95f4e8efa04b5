#include "peer_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "socket_path.h"

namespace korvane_peer {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kReadChunk = 64 * 1024;

std::string ErrnoText(const std::string& what) {
  return what + ": " + strerror(errno);
}

}  // namespace

std::unique_ptr<PeerClient> PeerClient::Connect(const std::string& path,
                                                std::string* error) {
  const int fd = ConnectToSocket(path);
  if (fd < 0) {
    *error = errno == ENAMETOOLONG
                 ? "unusable peer socket path \"" + path + "\""
                 : ErrnoText("cannot connect to " + path);
    return nullptr;
  }
  return std::unique_ptr<PeerClient>(new PeerClient(fd));
}

PeerClient::PeerClient(int fd) : fd_(fd) {}

PeerClient::~PeerClient() {
  if (fd_ >= 0) {
    close(fd_);
  }
}

void PeerClient::SetHostMessageHandler(HostMessageHandler handler) {
  handler_ = std::move(handler);
}

std::optional<Bytes> PeerClient::Call(const std::string& channel,
                                      const Bytes& message,
                                      int timeout_ms,
                                      std::string* error) {
  const uint32_t id = next_id_++;
  if (!Write(EncodeMessage(id, channel, message.data(), message.size()),
             error)) {
    return std::nullopt;
  }
  pending_[id] = std::nullopt;
  WaitEnd end =
      Pump([&] { return pending_[id].has_value(); }, timeout_ms, error);
  std::optional<Bytes> reply = std::move(pending_[id]);
  pending_.erase(id);
  if (end == WaitEnd::kTimedOut) {
    *error = "no reply on " + channel + " in time";
  } else if (end == WaitEnd::kClosed) {
    *error = "the host closed the connection before replying on " + channel;
  }
  return reply;
}

PeerClient::WaitEnd PeerClient::Serve(size_t count,
                                      int timeout_ms,
                                      std::string* error) {
  const size_t target = answered_ + count;
  return Pump([&] { return count > 0 && answered_ >= target; }, timeout_ms,
              error);
}

PeerClient::WaitEnd PeerClient::Fail(WaitEnd end,
                                     const std::string& why,
                                     std::string* error) {
  *error = why;
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
  return end;
}

PeerClient::WaitEnd PeerClient::Pump(const std::function<bool()>& done,
                                     int timeout_ms,
                                     std::string* error) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (fd_ < 0) {
      return Fail(WaitEnd::kClosed, "not connected", error);
    }
    int wait_ms = -1;
    if (timeout_ms >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - Clock::now());
      if (left.count() <= 0) {
        *error = "timed out";
        return WaitEnd::kTimedOut;
      }
      wait_ms = static_cast<int>(left.count());
    }
    pollfd poll_fd = {fd_, POLLIN, 0};
    int ready = poll(&poll_fd, 1, wait_ms);
    if (ready < 0 && errno != EINTR) {
      return Fail(WaitEnd::kFailed, ErrnoText("poll"), error);
    }
    if (ready <= 0) {
      continue;
    }

    uint8_t chunk[kReadChunk];
    ssize_t got = read(fd_, chunk, sizeof(chunk));
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      return Fail(WaitEnd::kFailed, ErrnoText("read"), error);
    }
    if (got == 0) {
      return Fail(WaitEnd::kClosed, "the host closed the connection", error);
    }
    reader_.Append(chunk, static_cast<size_t>(got));
    Frame frame;
    std::string problem;
    FrameReader::Result result;
    while ((result = reader_.Next(&frame, &problem)) ==
           FrameReader::Result::kFrame) {
      if (!Handle(std::move(frame), error)) {
        return Fail(WaitEnd::kFailed, *error, error);
      }
    }
    if (result == FrameReader::Result::kBroken) {
      return Fail(WaitEnd::kFailed, "broken frame from the host: " + problem,
                  error);
    }
  }
  return WaitEnd::kDone;
}

bool PeerClient::Handle(Frame frame, std::string* error) {
  if (frame.kind == FrameKind::kReply) {
    auto it = pending_.find(frame.id);
    if (it == pending_.end() || it->second.has_value()) {
      *error = "reply to unknown id " + std::to_string(frame.id);
      return false;
    }
    it->second = std::move(frame.payload);
    return true;
  }
  Bytes reply = handler_ ? handler_(frame.channel, frame.payload) : Bytes();
  answered_++;
  return Write(EncodeReply(frame.id, reply.data(), reply.size()), error);
}

bool PeerClient::Write(const std::optional<Bytes>& frame, std::string* error) {
  if (!frame) {
    *error = "too large for one frame";
    return false;
  }
  if (fd_ < 0) {
    *error = "not connected";
    return false;
  }
  size_t sent = 0;
  while (sent < frame->size()) {
    ssize_t n =
        send(fd_, frame->data() + sent, frame->size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      *error = ErrnoText("send");
      return false;
    }
    sent += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace korvane_peer
