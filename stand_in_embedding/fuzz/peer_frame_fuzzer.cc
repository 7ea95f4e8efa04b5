// Arbitrary bytes in chunks of a size that the first byte chooses: every
// frame read must encode and read back the same; a broken stream says why.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "frame.h"

namespace {

using korvane_peer::Frame;
using korvane_peer::FrameKind;
using korvane_peer::FrameReader;

void CheckRoundTrip(const Frame& frame) {
  auto encoded = frame.kind == FrameKind::kMessage
                     ? korvane_peer::EncodeMessage(frame.id, frame.channel,
                                                   frame.payload.data(),
                                                   frame.payload.size())
                     : korvane_peer::EncodeReply(frame.id, frame.payload.data(),
                                                 frame.payload.size());
  if (!encoded) {
    abort();
  }
  FrameReader reader;
  reader.Append(encoded->data(), encoded->size());
  Frame again;
  std::string problem;
  if (reader.Next(&again, &problem) != FrameReader::Result::kFrame ||
      again.kind != frame.kind || again.id != frame.id ||
      again.channel != frame.channel || again.payload != frame.payload) {
    abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  const size_t chunk = data[0] % 16 + 1;
  data++;
  size--;

  FrameReader reader;
  Frame frame;
  std::string problem;
  for (size_t offset = 0; offset < size; offset += chunk) {
    reader.Append(data + offset, std::min(chunk, size - offset));
    FrameReader::Result result;
    while ((result = reader.Next(&frame, &problem)) ==
           FrameReader::Result::kFrame) {
      CheckRoundTrip(frame);
    }
    if (result == FrameReader::Result::kBroken) {
      if (problem.empty()) {
        abort();
      }
      return 0;
    }
  }
  return 0;
}
