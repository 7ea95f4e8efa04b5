#ifndef LINUX_RUNNER_HOST_DESKTOP_TOOLS_TOOL_OUTPUT_PARSING_H_
#define LINUX_RUNNER_HOST_DESKTOP_TOOLS_TOOL_OUTPUT_PARSING_H_

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

// Whether the rule "26759:26760/udp", which leaves out one of the
// handheld's ports, counts for the two it names.
enum class NarrowUfwRange { kIgnored, kCounts };

// The rules of an active `ufw status` (C locale), read in order as ufw
// applies them to an IPv4 packet coming in from anywhere: true when an
// ALLOW or LIMIT rule whose "To" is exactly "P/udp", "P" or the handheld's
// range 26759:26761/udp (the narrow range too, if it counts) holding the
// port comes before every DENY or REJECT rule that may catch the port.
// Rules for some sources only, outgoing and routed rules and IPv6 rules
// decide nothing either way.
bool UfwAllowsUdpPort(const std::string& status,
                      int64_t port,
                      NarrowUfwRange narrow_range);

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_DESKTOP_TOOLS_TOOL_OUTPUT_PARSING_H_
