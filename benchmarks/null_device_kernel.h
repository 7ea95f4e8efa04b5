#ifndef BENCHMARKS_NULL_DEVICE_KERNEL_H_
#define BENCHMARKS_NULL_DEVICE_KERNEL_H_

#include <fcntl.h>

#include <chrono>
#include <thread>

#include "input/kernel_calls.h"

namespace benchmark_support {

// Devices that accept everything and swallow what is written, so that a
// frame costs what it would with a real device minus the kernel's own work.
class NullDeviceKernel : public korvane_bridge::SystemKernelCalls {
 public:
  int Open(const char*, int) override {
    return open("/dev/null", O_RDWR | O_CLOEXEC);
  }
  int IoctlValue(int, unsigned long, int) override { return 0; }
  int IoctlPointer(int, unsigned long, void*) override { return 0; }
  // /dev/null is always readable, so the workers would spin on it; they
  // idle instead, waking often enough not to hold up the unmount at the end.
  int Poll(pollfd*, nfds_t, int) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return 0;
  }
};

}  // namespace benchmark_support

#endif  // BENCHMARKS_NULL_DEVICE_KERNEL_H_
