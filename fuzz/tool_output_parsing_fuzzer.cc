// Feeds arbitrary text to each tool-output parser. A tool that prints
// something unexpected must leave a volume in range and metadata fields that
// are the text's own tab-separated pieces, never a crash.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tool_output_parsing.h"

namespace {

void CheckWpctl(const std::string& output) {
  int64_t volume = -1;
  bool muted = false;
  const bool parsed = korvane_bridge::ParseWpctlVolume(output, &volume, &muted);
  if (parsed != (output.find("Volume:") != std::string::npos)) {
    abort();
  }
  if (parsed ? volume < 0 || volume > 100 ||
                   muted != (output.find("[MUTED]") != std::string::npos)
             : volume != -1) {
    abort();
  }
}

void CheckPactl(const std::string& output) {
  int64_t volume = -1;
  korvane_bridge::ParsePactlVolume(output, &volume);
  if (output.find('%') == std::string::npos ? volume != -1
                                            : volume < 0 || volume > 100) {
    abort();
  }
}

// Joined again with tabs, the fields give back the text up to its fourth
// tab: nothing lost, nothing invented.
void CheckMetadata(const std::string& output) {
  const korvane_bridge::MediaMetadata metadata =
      korvane_bridge::SplitMediaMetadata(output);
  const std::string* const fields[] = {&metadata.artist, &metadata.album,
                                       &metadata.player_name};
  std::string joined = metadata.title;
  size_t tabs = 0;
  for (size_t at = output.find('\t'); at != std::string::npos && tabs < 3;
       at = output.find('\t', at + 1)) {
    joined += '\t' + *fields[tabs++];
  }
  for (size_t i = tabs; i < 3; ++i) {
    if (!fields[i]->empty()) {
      abort();
    }
  }
  if (output.compare(0, joined.size(), joined) != 0 ||
      (joined.size() < output.size() && output[joined.size()] != '\t')) {
    abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string output(reinterpret_cast<const char*>(data), size);
  CheckWpctl(output);
  CheckPactl(output);
  CheckMetadata(output);
  return 0;
}
