#include "input/kernel_calls.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace korvane_bridge {

int SystemKernelCalls::Open(const char* path, int flags) {
  return open(path, flags);
}

int SystemKernelCalls::Close(int fd) {
  return close(fd);
}

int SystemKernelCalls::IoctlValue(int fd, unsigned long request, int value) {
  return ioctl(fd, request, value);
}

int SystemKernelCalls::IoctlPointer(int fd,
                                    unsigned long request,
                                    void* argument) {
  return ioctl(fd, request, argument);
}

ssize_t SystemKernelCalls::Write(int fd, const void* data, size_t size) {
  return write(fd, data, size);
}

ssize_t SystemKernelCalls::Read(int fd, void* data, size_t size) {
  return read(fd, data, size);
}

int SystemKernelCalls::Poll(pollfd* fds, nfds_t count, int timeout_ms) {
  return poll(fds, count, timeout_ms);
}

int SystemKernelCalls::Access(const char* path, int mode) {
  return access(path, mode);
}

int SystemKernelCalls::RunShellCommand(const char* command_line) {
  return system(command_line);
}

KernelCalls& SystemKernel() {
  static SystemKernelCalls kernel;
  return kernel;
}

}  // namespace korvane_bridge
