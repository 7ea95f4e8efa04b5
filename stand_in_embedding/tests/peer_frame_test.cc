#include <gtest/gtest.h>

#include "bytes.h"
#include "frame.h"

// Streams cut in pieces and lengths of 0 or over the limit are the peer frame
// fuzzer's and ProgramE2eTest's; these pin the layout and the other rules.
namespace {

using flutter_testing::FromHex;
using flutter_testing::ToHex;
using korvane_peer::Bytes;
using korvane_peer::EncodeMessage;
using korvane_peer::EncodeReply;
using korvane_peer::Frame;
using korvane_peer::FrameReader;
using korvane_peer::kMaxFrameLength;

TEST(PeerFrameTest, EncodesLittleEndianWithinTheLimits) {
  Bytes payload = {0xff};
  EXPECT_EQ(ToHex(*EncodeMessage(0x01020304, "ab", payload.data(), 1)),
            "0a 00 00 00 01 04 03 02 01 02 00 61 62 ff");
  EXPECT_EQ(ToHex(*EncodeReply(7, nullptr, 0)), "05 00 00 00 02 07 00 00 00");

  EXPECT_TRUE(EncodeMessage(1, std::string(65535, 'c'), nullptr, 0));
  EXPECT_FALSE(EncodeMessage(1, std::string(65536, 'c'), nullptr, 0));
  Bytes largest(kMaxFrameLength - 5);
  auto frame = EncodeReply(1, largest.data(), largest.size());
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->size(), 4 + size_t{kMaxFrameLength});
  EXPECT_FALSE(EncodeReply(1, largest.data(), largest.size() + 1));
  EXPECT_FALSE(EncodeMessage(1, "c", largest.data(), largest.size() - 2));
}

// The header is judged before the body arrives: the reader neither waits
// for nor buffers the megabytes that a length announces.
TEST(PeerFrameTest, ReaderRejectsEveryFrameThatBreaksTheRules) {
  struct Case {
    const char* hex;
    const char* problem;  // "" where the frame is merely incomplete
  } cases[] = {
      {"05 00 00 00 00 01 00 00 00", "unknown frame kind 0"},
      {"05 00 00 00 03 01 00 00 00", "unknown frame kind 3"},
      {"00 00 00 04 07", "unknown frame kind 7"},
      {"00 00 00 04 01 00", ""},
      {"04 00 00 00 02 01 00 00", "shorter than its header"},
      {"06 00 00 00 01 01 00 00 00 00", "shorter than its header"},
      {"09 00 00 00 01 01 00 00 00 05 00 61 62", "runs past the frame"},
      {"09 00 00 00 01 01 00 00 00 02 00 ff fe", "not UTF-8"},
      {"09 00 00 00 01 01 00 00 00 02 00 61 00", "not UTF-8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hex);
    FrameReader reader;
    Bytes bytes = FromHex(c.hex);
    reader.Append(bytes.data(), bytes.size());
    Frame frame;
    std::string problem;
    FrameReader::Result result = reader.Next(&frame, &problem);
    if (*c.problem == '\0') {
      EXPECT_EQ(result, FrameReader::Result::kNeedMore) << problem;
    } else {
      EXPECT_EQ(result, FrameReader::Result::kBroken);
      EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    }
  }
}

}  // namespace
