#include "host/desktop_tools/cpu_load_sampler.h"

#include <fstream>
#include <utility>

namespace korvane_bridge {

CpuLoadSampler::CpuLoadSampler(std::string stat_path)
    : stat_path_(std::move(stat_path)) {}

std::optional<int64_t> CpuLoadSampler::Sample() {
  std::ifstream stat(stat_path_);
  if (!stat) {
    return std::nullopt;
  }
  // The aggregate line: its label, then user, nice, system, idle, iowait,
  // irq, softirq and steal. A column that cannot be read counts as 0.
  std::string label;
  stat >> label;
  uint64_t ticks[8] = {};
  for (uint64_t& column : ticks) {
    if (!(stat >> column)) {
      column = 0;
    }
  }
  // Waiting for I/O is idle time; each column counts once in the total.
  const uint64_t idle = ticks[3] + ticks[4];
  uint64_t total = 0;
  for (uint64_t column : ticks) {
    total += column;
  }

  std::lock_guard<std::mutex> lock(mutex_);
  const uint64_t delta_total = total - prev_cpu_total_ticks_;
  const uint64_t delta_idle = idle - prev_cpu_idle_ticks_;
  prev_cpu_idle_ticks_ = idle;
  prev_cpu_total_ticks_ = total;
  if (delta_total == 0) {
    return std::nullopt;
  }
  const uint64_t busy = delta_total < delta_idle ? 0 : delta_total - delta_idle;
  const uint64_t percent = busy * 100 / delta_total;
  return static_cast<int64_t>(percent < 100 ? percent : 100);
}

}  // namespace korvane_bridge
