#ifndef LINUX_RUNNER_HOST_DESKTOP_TOOLS_CPU_LOAD_SAMPLER_H_
#define LINUX_RUNNER_HOST_DESKTOP_TOOLS_CPU_LOAD_SAMPLER_H_

// The CPU load between two readings of the kernel's tick counters. The
// telemetry thread and deck actions both sample, so each sample is taken
// under a lock of the sampler's own.

#include <stdint.h>

#include <mutex>
#include <optional>
#include <string>

namespace korvane_bridge {

class CpuLoadSampler {
 public:
  explicit CpuLoadSampler(std::string stat_path = "/proc/stat");

  // Percent busy since the previous sample (since boot for the first), or
  // nothing when the counters cannot be read or no tick has passed.
  std::optional<int64_t> Sample();

 private:
  const std::string stat_path_;
  std::mutex mutex_;
  uint64_t prev_cpu_idle_ticks_ = 0;
  uint64_t prev_cpu_total_ticks_ = 0;
};

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_DESKTOP_TOOLS_CPU_LOAD_SAMPLER_H_
