#ifndef TESTS_INPUT_FAKE_KERNEL_H_
#define TESTS_INPUT_FAKE_KERNEL_H_

#include <linux/uinput.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "kernel_calls.h"

namespace input_testing {

// What the fake kernel was asked to do, with each argument decoded. Refused
// calls are recorded too.
struct KernelCall {
  enum class Kind { kOpen, kIoctl, kWrite, kClose };

  explicit KernelCall(Kind call_kind) : kind(call_kind) {}

  Kind kind;
  // The descriptor used; for an open, the one handed out (-1 when refused).
  int fd = -1;
  int flags = 0;
  unsigned long request = 0;
  // The argument of integer requests (capability bits).
  int value = 0;
  std::optional<uinput_setup> setup;
  std::optional<uinput_abs_setup> abs_setup;
  // Force-feedback upload and erase: as filled in by a begin request, as
  // passed with an end request.
  std::optional<uinput_ff_upload> upload;
  std::optional<uinput_ff_erase> erase;
  // A write: the whole batch as passed.
  std::vector<input_event> events;
};

enum class NodeState { kAbsent, kNoPermission, kReady };

// Stands in for the kernel behind /dev/uinput: records every call, fails the
// calls it is told to, and feeds force-feedback requests to the workers.
// Descriptors are never reused, so a call on a closed one is always caught.
// Safe to use from any thread.
class FakeKernel : public korvane_bridge::KernelCalls {
 public:
  int Open(const char* path, int flags) override;
  int Close(int fd) override;
  int IoctlValue(int fd, unsigned long request, int value) override;
  int IoctlPointer(int fd, unsigned long request, void* argument) override;
  ssize_t Write(int fd, const void* data, size_t size) override;
  ssize_t Read(int fd, void* data, size_t size) override;
  int Poll(pollfd* fds, nfds_t count, int timeout_ms) override;
  int Access(const char* path, int mode) override;
  int RunShellCommand(const char* command_line) override;

  // The next `count` opens fail with ENOENT.
  void FailOpens(int count);
  // The next `count` ioctls with `request` fail with EINVAL.
  void FailRequest(unsigned long request, int count = 1);
  // The next write returns `result` (a short count or -1) instead of the
  // whole size.
  void ScriptWrite(ssize_t result);

  // Requests and events for the reader of `fd`, in order.
  void QueueUpload(int fd, uint32_t request_id, const ff_effect& effect);
  void QueueErase(int fd, uint32_t request_id, uint32_t effect_id);
  void QueueEvent(int fd, uint16_t type, uint16_t code, int32_t value);
  // From now on reads of `fd` never run dry: they return `event` forever.
  void Flood(int fd, const input_event& event);
  // Longest time one poll waits for data; the real timeout is still
  // recorded. Keeps idle workers from slowing every test down.
  void SetPollWaitLimit(std::chrono::milliseconds limit);

  void SetNode(NodeState state);
  // What the node becomes when a shell command runs.
  void SetNodeAfterShellCommand(NodeState state);

  std::vector<KernelCall> Calls() const;
  std::vector<std::string> ShellCommands() const;
  std::set<int> OpenDescriptors() const;
  std::set<int> PollTimeouts() const;
  // Calls on descriptors that were not open, and closes of a descriptor
  // that a poll was waiting on.
  int Misuses() const;

 private:
  bool IsReadableLocked(int fd) const;
  bool CheckOpenLocked(int fd);
  // Records a refused request and fails it with EINVAL.
  int RefuseLocked(KernelCall& call);
  int DecodeIoctlLocked(int fd,
                        unsigned long request,
                        void* argument,
                        KernelCall& call);

  mutable std::mutex mutex_;
  std::condition_variable readable_;
  int next_fd_ = 100;
  std::set<int> open_;
  std::map<int, int> polls_waiting_;
  std::vector<KernelCall> calls_;
  int failing_opens_ = 0;
  std::map<unsigned long, int> failing_requests_;
  std::deque<ssize_t> scripted_writes_;
  std::map<int, std::deque<input_event>> pending_events_;
  std::map<int, input_event> floods_;
  std::map<uint32_t, ff_effect> uploads_;
  std::map<uint32_t, uint32_t> erases_;
  std::chrono::milliseconds poll_wait_limit_{5};
  std::set<int> poll_timeouts_;
  NodeState node_ = NodeState::kReady;
  NodeState node_after_shell_command_ = NodeState::kReady;
  std::vector<std::string> shell_commands_;
  int misuses_ = 0;
};

// The three steps at which the kernel can refuse a new device.
enum class CreationStep { kOpen, kSetup, kCreate };
inline constexpr CreationStep kCreationSteps[] = {
    CreationStep::kOpen, CreationStep::kSetup, CreationStep::kCreate};
const char* Name(CreationStep step);
void FailNextCreationAt(FakeKernel& kernel, CreationStep step);

// Calls of one kind on one descriptor, in order.
std::vector<KernelCall> CallsOn(const std::vector<KernelCall>& calls,
                                KernelCall::Kind kind,
                                int fd);
// The descriptors handed out by successful opens, in order.
std::vector<int> OpenedDescriptors(const std::vector<KernelCall>& calls);
// The batches written to `fd`, in order.
std::vector<std::vector<input_event>> Batches(
    const std::vector<KernelCall>& calls,
    int fd);

}  // namespace input_testing

#endif  // TESTS_INPUT_FAKE_KERNEL_H_
