#ifndef LINUX_RUNNER_HOST_TOOL_OUTPUT_PARSING_H_
#define LINUX_RUNNER_HOST_TOOL_OUTPUT_PARSING_H_

// What the host reads out of the desktop tools' answers. The texts matched
// are the tools' own; everything else they print is ignored.

#include <stdint.h>

#include <string>

namespace korvane_bridge {

// `wpctl get-volume`: false when the output is no volume line. Otherwise
// the volume in percent (rounded, 0..100) and whether it is muted.
bool ParseWpctlVolume(const std::string& output,
                      int64_t* volume_percent,
                      bool* muted);

// `pactl get-sink-volume`: the digits right before the first "%", clamped
// to 0..100. Without a "%" the volume is left as it is.
void ParsePactlVolume(const std::string& output, int64_t* volume_percent);

// `playerctl metadata` in the host's tab-separated format.
struct MediaMetadata {
  std::string title;
  std::string artist;
  std::string album;
  std::string player_name;
};
MediaMetadata SplitMediaMetadata(const std::string& output);

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_TOOL_OUTPUT_PARSING_H_
