#include "fake_kernel.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>

namespace input_testing {

namespace {

constexpr char kNodePath[] = "/dev/uinput";

int Fail(int error) {
  errno = error;
  return -1;
}

// Hands out what was queued for a force-feedback request; the kernel too
// refuses a begin request whose id it does not know.
template <typename Value>
bool TakeQueued(std::map<uint32_t, Value>& queued,
                uint32_t request_id,
                Value* value) {
  const auto found = queued.find(request_id);
  if (found == queued.end()) {
    return false;
  }
  *value = found->second;
  queued.erase(found);
  return true;
}

template <typename Record>
Record Copy(const void* argument) {
  Record record;
  memcpy(&record, argument, sizeof(record));
  return record;
}

}  // namespace

int FakeKernel::Open(const char* path, int flags) {
  std::lock_guard<std::mutex> lock(mutex_);
  KernelCall call{KernelCall::Kind::kOpen};
  call.flags = flags;
  if (strcmp(path, kNodePath) != 0 || failing_opens_ > 0) {
    failing_opens_ = std::max(0, failing_opens_ - 1);
    calls_.push_back(call);
    return Fail(ENOENT);
  }
  call.fd = next_fd_++;
  open_.insert(call.fd);
  calls_.push_back(call);
  return call.fd;
}

int FakeKernel::Close(int fd) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!CheckOpenLocked(fd)) {
    return Fail(EBADF);
  }
  if (polls_waiting_[fd] > 0) {
    ++misuses_;
  }
  open_.erase(fd);
  KernelCall call{KernelCall::Kind::kClose};
  call.fd = fd;
  calls_.push_back(call);
  return 0;
}

int FakeKernel::IoctlValue(int fd, unsigned long request, int value) {
  std::lock_guard<std::mutex> lock(mutex_);
  KernelCall call{KernelCall::Kind::kIoctl};
  call.value = value;
  return DecodeIoctlLocked(fd, request, nullptr, call);
}

int FakeKernel::IoctlPointer(int fd, unsigned long request, void* argument) {
  std::lock_guard<std::mutex> lock(mutex_);
  KernelCall call{KernelCall::Kind::kIoctl};
  return DecodeIoctlLocked(fd, request, argument, call);
}

int FakeKernel::DecodeIoctlLocked(int fd,
                                  unsigned long request,
                                  void* argument,
                                  KernelCall& call) {
  call.fd = fd;
  call.request = request;
  if (!CheckOpenLocked(fd)) {
    return Fail(EBADF);
  }
  auto failing = failing_requests_.find(request);
  if (failing != failing_requests_.end() && failing->second > 0) {
    --failing->second;
    return RefuseLocked(call);
  }
  switch (request) {
    case UI_DEV_SETUP:
      call.setup = Copy<uinput_setup>(argument);
      break;
    case UI_ABS_SETUP:
      call.abs_setup = Copy<uinput_abs_setup>(argument);
      break;
    case UI_BEGIN_FF_UPLOAD: {
      auto* upload = static_cast<uinput_ff_upload*>(argument);
      if (!TakeQueued(uploads_, upload->request_id, &upload->effect)) {
        return RefuseLocked(call);
      }
      call.upload = *upload;
      break;
    }
    case UI_END_FF_UPLOAD:
      call.upload = Copy<uinput_ff_upload>(argument);
      break;
    case UI_BEGIN_FF_ERASE: {
      auto* erase = static_cast<uinput_ff_erase*>(argument);
      if (!TakeQueued(erases_, erase->request_id, &erase->effect_id)) {
        return RefuseLocked(call);
      }
      call.erase = *erase;
      break;
    }
    case UI_END_FF_ERASE:
      call.erase = Copy<uinput_ff_erase>(argument);
      break;
    default:
      break;
  }
  calls_.push_back(call);
  return 0;
}

int FakeKernel::RefuseLocked(KernelCall& call) {
  calls_.push_back(call);
  return Fail(EINVAL);
}

ssize_t FakeKernel::Write(int fd, const void* data, size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!CheckOpenLocked(fd)) {
    return Fail(EBADF);
  }
  KernelCall call{KernelCall::Kind::kWrite};
  call.fd = fd;
  const auto* events = static_cast<const input_event*>(data);
  call.events.assign(events, events + size / sizeof(input_event));
  ssize_t result = static_cast<ssize_t>(size);
  if (!scripted_writes_.empty()) {
    result = scripted_writes_.front();
    scripted_writes_.pop_front();
  }
  calls_.push_back(call);
  return result < 0 ? Fail(EIO) : result;
}

ssize_t FakeKernel::Read(int fd, void* data, size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!CheckOpenLocked(fd)) {
    return Fail(EBADF);
  }
  if (size < sizeof(input_event)) {
    return Fail(EINVAL);
  }
  const auto flood = floods_.find(fd);
  if (flood != floods_.end()) {
    memcpy(data, &flood->second, sizeof(input_event));
    return sizeof(input_event);
  }
  auto& pending = pending_events_[fd];
  if (pending.empty()) {
    return Fail(EAGAIN);
  }
  memcpy(data, &pending.front(), sizeof(input_event));
  pending.pop_front();
  return sizeof(input_event);
}

int FakeKernel::Poll(pollfd* fds, nfds_t count, int timeout_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  poll_timeouts_.insert(timeout_ms);
  for (nfds_t i = 0; i < count; ++i) {
    if (!CheckOpenLocked(fds[i].fd)) {
      return Fail(EBADF);
    }
  }
  auto any_readable = [&] {
    return std::any_of(fds, fds + count,
                       [&](const pollfd& p) { return IsReadableLocked(p.fd); });
  };
  const auto wait = std::min<std::chrono::milliseconds>(
      std::chrono::milliseconds(timeout_ms), poll_wait_limit_);
  for (nfds_t i = 0; i < count; ++i) {
    ++polls_waiting_[fds[i].fd];
  }
  readable_.wait_for(lock, wait, any_readable);
  int ready = 0;
  for (nfds_t i = 0; i < count; ++i) {
    --polls_waiting_[fds[i].fd];
    fds[i].revents = IsReadableLocked(fds[i].fd) ? POLLIN : 0;
    ready += fds[i].revents != 0 ? 1 : 0;
  }
  return ready;
}

int FakeKernel::Access(const char* path, int mode) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (strcmp(path, kNodePath) != 0 || node_ == NodeState::kAbsent) {
    return Fail(ENOENT);
  }
  if (mode != F_OK && node_ != NodeState::kReady) {
    return Fail(EACCES);
  }
  return 0;
}

int FakeKernel::RunShellCommand(const char* command_line) {
  std::lock_guard<std::mutex> lock(mutex_);
  shell_commands_.push_back(command_line);
  node_ = node_after_shell_command_;
  return 0;
}

void FakeKernel::FailOpens(int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  failing_opens_ = count;
}

void FakeKernel::FailRequest(unsigned long request, int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  failing_requests_[request] = count;
}

void FakeKernel::ScriptWrite(ssize_t result) {
  std::lock_guard<std::mutex> lock(mutex_);
  scripted_writes_.push_back(result);
}

void FakeKernel::QueueUpload(int fd,
                             uint32_t request_id,
                             const ff_effect& effect) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    uploads_[request_id] = effect;
  }
  QueueEvent(fd, EV_UINPUT, UI_FF_UPLOAD, static_cast<int32_t>(request_id));
}

void FakeKernel::QueueErase(int fd, uint32_t request_id, uint32_t effect_id) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    erases_[request_id] = effect_id;
  }
  QueueEvent(fd, EV_UINPUT, UI_FF_ERASE, static_cast<int32_t>(request_id));
}

void FakeKernel::QueueEvent(int fd,
                            uint16_t type,
                            uint16_t code,
                            int32_t value) {
  input_event event;
  memset(&event, 0, sizeof(event));
  event.type = type;
  event.code = code;
  event.value = value;
  std::lock_guard<std::mutex> lock(mutex_);
  pending_events_[fd].push_back(event);
  readable_.notify_all();
}

void FakeKernel::Flood(int fd, const input_event& event) {
  std::lock_guard<std::mutex> lock(mutex_);
  floods_[fd] = event;
  readable_.notify_all();
}

void FakeKernel::SetPollWaitLimit(std::chrono::milliseconds limit) {
  std::lock_guard<std::mutex> lock(mutex_);
  poll_wait_limit_ = limit;
}

void FakeKernel::SetNode(NodeState state) {
  std::lock_guard<std::mutex> lock(mutex_);
  node_ = state;
}

void FakeKernel::SetNodeAfterShellCommand(NodeState state) {
  std::lock_guard<std::mutex> lock(mutex_);
  node_after_shell_command_ = state;
}

std::vector<KernelCall> FakeKernel::Calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

std::vector<std::string> FakeKernel::ShellCommands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shell_commands_;
}

std::set<int> FakeKernel::OpenDescriptors() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

std::set<int> FakeKernel::PollTimeouts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return poll_timeouts_;
}

int FakeKernel::Misuses() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return misuses_;
}

bool FakeKernel::IsReadableLocked(int fd) const {
  if (floods_.count(fd) > 0) {
    return true;
  }
  const auto pending = pending_events_.find(fd);
  return pending != pending_events_.end() && !pending->second.empty();
}

bool FakeKernel::CheckOpenLocked(int fd) {
  if (open_.count(fd) > 0) {
    return true;
  }
  ++misuses_;
  return false;
}

const char* Name(CreationStep step) {
  switch (step) {
    case CreationStep::kOpen:
      return "open";
    case CreationStep::kSetup:
      return "setup";
    case CreationStep::kCreate:
      return "create";
  }
  return "?";
}

void FailNextCreationAt(FakeKernel& kernel, CreationStep step) {
  switch (step) {
    case CreationStep::kOpen:
      kernel.FailOpens(1);
      break;
    case CreationStep::kSetup:
      kernel.FailRequest(UI_DEV_SETUP);
      break;
    case CreationStep::kCreate:
      kernel.FailRequest(UI_DEV_CREATE);
      break;
  }
}

std::vector<KernelCall> CallsOn(const std::vector<KernelCall>& calls,
                                KernelCall::Kind kind,
                                int fd) {
  std::vector<KernelCall> selected;
  std::copy_if(
      calls.begin(), calls.end(), std::back_inserter(selected),
      [&](const KernelCall& c) { return c.kind == kind && c.fd == fd; });
  return selected;
}

std::vector<int> OpenedDescriptors(const std::vector<KernelCall>& calls) {
  std::vector<int> opened;
  for (const KernelCall& call : calls) {
    if (call.kind == KernelCall::Kind::kOpen && call.fd >= 0) {
      opened.push_back(call.fd);
    }
  }
  return opened;
}

std::vector<std::vector<input_event>> Batches(
    const std::vector<KernelCall>& calls,
    int fd) {
  std::vector<std::vector<input_event>> batches;
  for (const KernelCall& call : CallsOn(calls, KernelCall::Kind::kWrite, fd)) {
    batches.push_back(call.events);
  }
  return batches;
}

}  // namespace input_testing
