#include "tool_output_parsing.h"

#include <glib.h>

#include <cmath>

namespace korvane_bridge {

namespace {

constexpr int64_t kMaxPercent = 100;

int64_t ClampPercent(int64_t percent) {
  return percent < 0 ? 0 : (percent > kMaxPercent ? kMaxPercent : percent);
}

}  // namespace

bool ParseWpctlVolume(const std::string& output,
                      int64_t* volume_percent,
                      bool* muted) {
  if (output.find("Volume:") == std::string::npos) {
    return false;
  }
  *muted = output.find("[MUTED]") != std::string::npos;
  // The decimal point is a dot whatever the user's locale: wpctl's own
  // format, not a translated one. NaN gives 0; the clamp comes before the
  // rounding so that no value is out of range for it.
  const std::string after_colon = output.substr(output.find(':') + 1);
  const double level = g_ascii_strtod(after_colon.c_str(), nullptr) * 100.0;
  const double clamped =
      std::isnan(level) ? 0.0 : std::fmin(std::fmax(level, 0.0), kMaxPercent);
  *volume_percent = std::llround(clamped);
  return true;
}

void ParsePactlVolume(const std::string& output, int64_t* volume_percent) {
  const size_t percent_sign = output.find('%');
  if (percent_sign == std::string::npos) {
    return;
  }
  size_t digits_start = percent_sign;
  while (digits_start > 0 && g_ascii_isdigit(output[digits_start - 1])) {
    digits_start--;
  }
  // Leading digits beyond any sane volume saturate instead of overflowing.
  int64_t value = 0;
  for (size_t i = digits_start; i < percent_sign && value <= kMaxPercent;
       ++i) {
    value = value * 10 + (output[i] - '0');
  }
  *volume_percent = ClampPercent(value);
}

MediaMetadata SplitMediaMetadata(const std::string& output) {
  MediaMetadata metadata;
  std::string* const fields[] = {&metadata.title, &metadata.artist,
                                 &metadata.album, &metadata.player_name};
  size_t start = 0;
  for (std::string* field : fields) {
    if (start > output.size()) {
      break;
    }
    const size_t tab = output.find('\t', start);
    *field = output.substr(start, tab == std::string::npos ? std::string::npos
                                                           : tab - start);
    start = tab == std::string::npos ? output.size() + 1 : tab + 1;
  }
  return metadata;
}

}  // namespace korvane_bridge
