// Feeds arbitrary text to each tool-output parser: unexpected output must
// leave a volume in range, metadata fields that are the text's own
// tab-separated pieces and ports allowed only by rules that name them.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/desktop_tools/tool_output_parsing.h"

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

// Joined again with tabs, the fields give back the text up to its fourth.
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

// A port counts as allowed only through a rule that names it, itself or
// inside the handheld's range; the narrow range only ever adds to that.
void CheckUfw(const std::string& output) {
  using korvane_bridge::NarrowUfwRange;
  for (int64_t port : {1, 26760}) {
    const bool with_narrow =
        korvane_bridge::UfwAllowsUdpPort(output, port, NarrowUfwRange::kCounts);
    const bool without_narrow = korvane_bridge::UfwAllowsUdpPort(
        output, port, NarrowUfwRange::kIgnored);
    if ((without_narrow && !with_narrow) ||
        (with_narrow &&
         output.find(std::to_string(port)) == std::string::npos &&
         output.find("26759:26761/udp") == std::string::npos)) {
      abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string output(reinterpret_cast<const char*>(data), size);
  CheckWpctl(output);
  CheckPactl(output);
  CheckMetadata(output);
  CheckUfw(output);
  return 0;
}
