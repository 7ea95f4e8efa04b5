#include "host/desktop_tools/system_telemetry.h"

#include <chrono>
#include <optional>
#include <thread>
#include <utility>

#include "host/desktop_tools/shell_command.h"
#include "host/desktop_tools/tool_output_parsing.h"

namespace korvane_bridge {

namespace {

// Fifteen short waits rather than one long one: shutdown never waits for a
// whole cycle.
constexpr int kWaitStepsPerCycle = 15;
constexpr std::chrono::milliseconds kWaitStep(100);

constexpr char kPlayerStatusCommand[] = "playerctl status 2>/dev/null";
constexpr char kPlayerMetadataCommand[] =
    "playerctl metadata --format "
    "'{{title}}\t{{artist}}\t{{album}}\t{{playerName}}' 2>/dev/null";
constexpr char kPipeWireVolumeCommand[] =
    "wpctl get-volume @DEFAULT_AUDIO_SINK@ 2>/dev/null";
constexpr char kPulseVolumeCommand[] =
    "pactl get-sink-volume @DEFAULT_SINK@ 2>/dev/null";
constexpr char kPulseMuteCommand[] =
    "pactl get-sink-mute @DEFAULT_SINK@ 2>/dev/null";

}  // namespace

SystemTelemetry::SystemTelemetry(std::string stat_path)
    : cpu_sampler_(std::move(stat_path)) {}

void SystemTelemetry::PollSystemTelemetryLoop(
    const std::atomic<bool>& stop_requested) {
  while (!stop_requested.load()) {
    RefreshAudioAndCpuSnapshotNow();
    ReadLinuxMprisMedia();
    for (int step = 0; step < kWaitStepsPerCycle && !stop_requested.load();
         ++step) {
      std::this_thread::sleep_for(kWaitStep);
    }
  }
}

void SystemTelemetry::RefreshAudioAndCpuSnapshotNow() {
  const std::optional<int64_t> cpu = cpu_sampler_.Sample();
  int64_t volume = 0;
  bool muted = false;
  ReadLinuxMasterAudio(&volume, &muted);
  std::lock_guard<std::mutex> lock(telemetry_mutex_);
  if (cpu) {
    cpu_usage_percent_ = *cpu;
  }
  volume_percent_ = volume;
  is_muted_ = muted;
}

void SystemTelemetry::ReadLinuxMasterAudio(int64_t* volume, bool* muted) {
  if (ParseWpctlVolume(RunShellCommandCapture(kPipeWireVolumeCommand), volume,
                       muted)) {
    return;
  }
  const std::string pulse_volume = RunShellCommandCapture(kPulseVolumeCommand);
  if (pulse_volume.empty()) {
    // Neither sound server answered: keep what was known.
    std::lock_guard<std::mutex> lock(telemetry_mutex_);
    *volume = volume_percent_;
    *muted = is_muted_;
    return;
  }
  ParsePactlVolume(pulse_volume, volume);
  *muted = RunShellCommandCapture(kPulseMuteCommand).find("yes") !=
           std::string::npos;
}

void SystemTelemetry::ReadLinuxMprisMedia() {
  const std::string status = RunShellCommandCapture(kPlayerStatusCommand);
  const bool playing = status == "Playing";
  MediaMetadata metadata;
  if (playing || status == "Paused") {
    metadata = SplitMediaMetadata(RunShellCommandCapture(kPlayerMetadataCommand));
  }
  std::lock_guard<std::mutex> lock(telemetry_mutex_);
  has_active_media_ = !metadata.title.empty();
  is_playing_ = playing;
  track_title_ = std::move(metadata.title);
  artist_name_ = std::move(metadata.artist);
  album_name_ = std::move(metadata.album);
  source_app_name_ = std::move(metadata.player_name);
}

KorvaneBridgeNativeSystemTelemetrySnapshot* SystemTelemetry::BuildSnapshot() {
  std::lock_guard<std::mutex> lock(telemetry_mutex_);
  return korvane_bridge_native_system_telemetry_snapshot_new(
      has_active_media_, is_playing_, track_title_.c_str(),
      artist_name_.c_str(), album_name_.c_str(), source_app_name_.c_str(),
      volume_percent_, is_muted_, cpu_usage_percent_);
}

}  // namespace korvane_bridge
