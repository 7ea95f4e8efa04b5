#ifndef LINUX_RUNNER_INPUT_KERNEL_CALLS_H_
#define LINUX_RUNNER_INPUT_KERNEL_CALLS_H_

// The only way the virtual input devices reach the operating system. Each
// method is one system call (or one system() run) with the same arguments and
// result convention: -1 with errno set on failure. Nothing is buffered,
// retried or translated here, so what the backend hands to these methods is
// exactly what the kernel sees; tests replace the whole set with a fake.

#include <poll.h>
#include <sys/types.h>

namespace korvane_bridge {

class KernelCalls {
 public:
  virtual ~KernelCalls() = default;

  virtual int Open(const char* path, int flags) = 0;
  virtual int Close(int fd) = 0;
  // Requests whose argument is a plain integer (capability bits) or unused
  // (device create and destroy, given 0).
  virtual int IoctlValue(int fd, unsigned long request, int value) = 0;
  // Requests whose argument is a structure the kernel reads or fills in.
  virtual int IoctlPointer(int fd, unsigned long request, void* argument) = 0;
  virtual ssize_t Write(int fd, const void* data, size_t size) = 0;
  virtual ssize_t Read(int fd, void* data, size_t size) = 0;
  virtual int Poll(pollfd* fds, nfds_t count, int timeout_ms) = 0;
  virtual int Access(const char* path, int mode) = 0;
  // Runs a command line through the system shell and returns system()'s
  // status.
  virtual int RunShellCommand(const char* command_line) = 0;
};

// The real system calls.
class SystemKernelCalls : public KernelCalls {
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
};

// One process-wide instance; it holds no state, so every thread may share it.
KernelCalls& SystemKernel();

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_INPUT_KERNEL_CALLS_H_
