#ifndef TESTS_INPUT_FAKE_KERNEL_H_
#define TESTS_INPUT_FAKE_KERNEL_H_

// The kernel behind /dev/uinput for what the real one cannot be made to do
// on demand: refuse a step, take half a batch, hand a worker requests it
// never would. Descriptors are never reused, so a call on a closed one is
// always caught. Safe to use from any thread.

#include <errno.h>
#include <linux/uinput.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "input/kernel_calls.h"

namespace input_testing {

// What the fake kernel was asked to do, refused calls included.
struct KernelCall {
  enum class Kind { kOpen, kIoctl, kWrite, kClose } kind;
  int fd;  // for an open, the descriptor handed out (-1 when refused)
  unsigned long request = 0;
  // As passed with an end-of-upload request.
  std::optional<uinput_ff_upload> upload = std::nullopt;
  std::vector<input_event> events = {};  // a write's whole batch
};

enum class NodeState { kAbsent, kNoPermission, kReady };

class FakeKernel : public korvane_bridge::KernelCalls {
 public:
  int Open(const char* path, int) override {
    std::scoped_lock lock(mutex_);
    const bool refused = strcmp(path, "/dev/uinput") != 0 || Refused(kOpen);
    const int fd = refused ? -1 : next_fd_++;
    calls_.push_back({KernelCall::Kind::kOpen, fd});
    if (refused) {
      return Fail(ENOENT);
    }
    open_.insert(fd);
    return fd;
  }

  int Close(int fd) override {
    std::scoped_lock lock(mutex_);
    if (!IsOpen(fd)) {
      return Fail(EBADF);
    }
    // A worker still polling it would next read someone else's descriptor.
    misuses_ += polls_waiting_[fd] > 0 ? 1 : 0;
    open_.erase(fd);
    calls_.push_back({KernelCall::Kind::kClose, fd});
    return 0;
  }

  int IoctlValue(int fd, unsigned long request, int) override {
    return IoctlPointer(fd, request, nullptr);
  }

  int IoctlPointer(int fd, unsigned long request, void* argument) override {
    std::scoped_lock lock(mutex_);
    if (!IsOpen(fd)) {
      return Fail(EBADF);
    }
    KernelCall call{KernelCall::Kind::kIoctl, fd, request};
    // Begin requests are refused for an id never queued, as the kernel does.
    bool refused = Refused(request);
    if (!refused && request == UI_END_FF_UPLOAD) {
      call.upload = *static_cast<uinput_ff_upload*>(argument);
    } else if (!refused && request == UI_BEGIN_FF_UPLOAD) {
      auto* upload = static_cast<uinput_ff_upload*>(argument);
      refused = !Take(uploads_, upload->request_id, &upload->effect);
    } else if (!refused && request == UI_BEGIN_FF_ERASE) {
      auto* erase = static_cast<uinput_ff_erase*>(argument);
      refused = !Take(erases_, erase->request_id, &erase->effect_id);
    }
    calls_.push_back(call);
    return refused ? Fail(EINVAL) : 0;
  }

  ssize_t Write(int fd, const void* data, size_t size) override {
    std::scoped_lock lock(mutex_);
    if (!IsOpen(fd)) {
      return Fail(EBADF);
    }
    const auto* events = static_cast<const input_event*>(data);
    const std::vector<input_event> batch(events,
                                         events + size / sizeof(input_event));
    calls_.push_back({KernelCall::Kind::kWrite, fd, 0, std::nullopt, batch});
    ssize_t result = static_cast<ssize_t>(size);
    if (!scripted_writes_.empty()) {
      result = scripted_writes_.front();
      scripted_writes_.pop_front();
    }
    return result < 0 ? Fail(EIO) : result;
  }

  ssize_t Read(int fd, void* data, size_t size) override {
    std::scoped_lock lock(mutex_);
    if (!IsOpen(fd)) {
      return Fail(EBADF);
    }
    auto& pending = pending_events_[fd];
    if (size < sizeof(input_event) || pending.empty()) {
      return Fail(pending.empty() ? EAGAIN : EINVAL);
    }
    memcpy(data, &pending.front(), sizeof(input_event));
    if (flooded_.count(fd) == 0) {
      pending.pop_front();
    }
    return sizeof(input_event);
  }

  int Poll(pollfd* fds, nfds_t, int timeout_ms) override {
    std::unique_lock<std::mutex> lock(mutex_);
    pollfd& watch = fds[0];
    if (!IsOpen(watch.fd)) {
      return Fail(EBADF);
    }
    const auto& pending = pending_events_[watch.fd];
    ++polls_waiting_[watch.fd];
    changed_.notify_all();
    // Cut short, so that idle workers slow no test down.
    changed_.wait_for(lock, std::chrono::milliseconds(std::min(timeout_ms, 5)),
                      [&] { return !pending.empty(); });
    --polls_waiting_[watch.fd];
    watch.revents = pending.empty() ? 0 : POLLIN;
    return pending.empty() ? 0 : 1;
  }

  int Access(const char*, int mode) override {
    std::scoped_lock lock(mutex_);
    if (node_ == NodeState::kAbsent) {
      return Fail(ENOENT);
    }
    return mode != F_OK && node_ != NodeState::kReady ? Fail(EACCES) : 0;
  }

  int RunShellCommand(const char*) override {
    std::scoped_lock lock(mutex_);
    node_ = node_after_shell_command_;
    return 0;
  }

  // The next `count` ioctls with `request` fail with EINVAL, or with 0 the
  // next opens with ENOENT.
  void FailRequest(unsigned long request, int count = 1) {
    std::scoped_lock lock(mutex_);
    failing_[request] = count;
  }
  void FailOpens(int count = 1) { FailRequest(kOpen, count); }
  // The next write returns `result` (a short count or -1), not the size.
  void ScriptWrite(ssize_t result) {
    std::scoped_lock lock(mutex_);
    scripted_writes_.push_back(result);
  }

  // Requests and events for the reader of `fd`, in order.
  void QueueUpload(int fd, uint32_t request_id, const ff_effect& effect) {
    std::scoped_lock lock(mutex_);
    uploads_[request_id] = effect;
    QueueLocked(fd, EV_UINPUT, UI_FF_UPLOAD, request_id);
  }
  void QueueErase(int fd, uint32_t request_id, uint32_t effect_id) {
    std::scoped_lock lock(mutex_);
    erases_[request_id] = effect_id;
    QueueLocked(fd, EV_UINPUT, UI_FF_ERASE, request_id);
  }
  void QueueEvent(int fd, uint16_t type, uint16_t code, int32_t value) {
    std::scoped_lock lock(mutex_);
    QueueLocked(fd, type, code, value);
  }
  // Queues an event that reads of `fd` then return forever.
  void Flood(int fd, uint16_t type, uint16_t code, int32_t value) {
    std::scoped_lock lock(mutex_);
    flooded_.insert(fd);
    QueueLocked(fd, type, code, value);
  }
  // Whether the reader of `fd` handled all that was queued within 5 s.
  bool WaitIdle(int fd) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(5), [&] {
      return pending_events_[fd].empty() && polls_waiting_[fd] > 0;
    });
  }

  void SetNode(NodeState state) {
    std::scoped_lock lock(mutex_);
    node_ = state;
  }
  // What the node becomes when a shell command runs.
  void SetNodeAfterShellCommand(NodeState state) {
    std::scoped_lock lock(mutex_);
    node_after_shell_command_ = state;
  }

  std::vector<KernelCall> Calls() const {
    std::scoped_lock lock(mutex_);
    return calls_;
  }
  std::set<int> OpenDescriptors() const {
    std::scoped_lock lock(mutex_);
    return open_;
  }
  // Calls on closed descriptors, closes of one that a poll waits on.
  int Misuses() const {
    std::scoped_lock lock(mutex_);
    return misuses_;
  }

 private:
  // No ioctl request is 0, so it stands for the open in `failing_`.
  static constexpr unsigned long kOpen = 0;

  static int Fail(int error) {
    errno = error;
    return -1;
  }

  bool Refused(unsigned long request) {
    int& left = failing_[request];
    const bool refused = left > 0;
    left -= refused ? 1 : 0;
    return refused;
  }

  bool IsOpen(int fd) {
    const bool open = open_.count(fd) > 0;
    misuses_ += open ? 0 : 1;
    return open;
  }

  void QueueLocked(int fd, uint16_t type, uint16_t code, int32_t value) {
    pending_events_[fd].push_back({{}, type, code, value});
    changed_.notify_all();
  }

  template <typename Value>
  static bool Take(std::map<uint32_t, Value>& queued, uint32_t id, Value* out) {
    const auto found = queued.find(id);
    if (found == queued.end()) {
      return false;
    }
    *out = found->second;
    queued.erase(found);
    return true;
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int next_fd_ = 100;
  std::set<int> open_;
  std::map<int, int> polls_waiting_;
  std::vector<KernelCall> calls_;
  std::map<unsigned long, int> failing_;
  std::deque<ssize_t> scripted_writes_;
  std::map<int, std::deque<input_event>> pending_events_;
  std::set<int> flooded_;
  std::map<uint32_t, ff_effect> uploads_;
  std::map<uint32_t, uint32_t> erases_;
  NodeState node_ = NodeState::kReady;
  NodeState node_after_shell_command_ = NodeState::kReady;
  int misuses_ = 0;
};

// The descriptors handed out by successful opens, in order.
inline std::vector<int> OpenedDescriptors(
    const std::vector<KernelCall>& calls) {
  std::vector<int> opened;
  for (const KernelCall& call : calls) {
    if (call.kind == KernelCall::Kind::kOpen && call.fd >= 0) {
      opened.push_back(call.fd);
    }
  }
  return opened;
}

// The batches written to `fd`, in order.
inline std::vector<std::vector<input_event>> Batches(
    const std::vector<KernelCall>& calls,
    int fd) {
  std::vector<std::vector<input_event>> batches;
  for (const KernelCall& call : calls) {
    if (call.kind == KernelCall::Kind::kWrite && call.fd == fd) {
      batches.push_back(call.events);
    }
  }
  return batches;
}

}  // namespace input_testing

#endif  // TESTS_INPUT_FAKE_KERNEL_H_
