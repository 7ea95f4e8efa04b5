#ifndef LINUX_RUNNER_HOST_DESKTOP_TOOLS_SYSTEM_TELEMETRY_H_
#define LINUX_RUNNER_HOST_DESKTOP_TOOLS_SYSTEM_TELEMETRY_H_

// The desktop's state as the handheld shows it: what is playing, the master
// volume and mute, the CPU load. A thread refreshes the cache every cycle
// and deck actions refresh the part they changed; readers only ever see the
// cache, so no reply waits for a tool.

#include <stdint.h>

#include <atomic>
#include <mutex>
#include <string>

#include "host/desktop_tools/cpu_load_sampler.h"
#include "pigeon/korvane_bridge_records.h"

namespace korvane_bridge {

class SystemTelemetry {
 public:
  explicit SystemTelemetry(std::string stat_path = "/proc/stat");
  SystemTelemetry(const SystemTelemetry&) = delete;
  SystemTelemetry& operator=(const SystemTelemetry&) = delete;

  // Samples until `stop_requested` is set, noticing it within 100 ms of
  // waiting; a cycle in progress is finished first.
  void PollSystemTelemetryLoop(const std::atomic<bool>& stop_requested);

  // On the calling thread, each storing its whole result in one step.
  void RefreshAudioAndCpuSnapshotNow();
  void ReadLinuxMprisMedia();

  // A new record of the cached values; the caller owns its reference.
  KorvaneBridgeNativeSystemTelemetrySnapshot* BuildSnapshot();

 private:
  void ReadLinuxMasterAudio(int64_t* volume, bool* muted);

  CpuLoadSampler cpu_sampler_;

  // Never held while a tool runs or a file is read.
  std::mutex telemetry_mutex_;
  bool has_active_media_ = false;
  bool is_playing_ = false;
  std::string track_title_;
  std::string artist_name_;
  std::string album_name_;
  std::string source_app_name_;
  int64_t volume_percent_ = 0;
  bool is_muted_ = false;
  int64_t cpu_usage_percent_ = 0;
};

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_DESKTOP_TOOLS_SYSTEM_TELEMETRY_H_
