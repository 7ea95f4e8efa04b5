#include <gtest/gtest.h>

#include <vector>

#include "bytes.h"
#include "frame.h"

namespace {

using flutter_testing::FromHex;
using flutter_testing::ToHex;
using korvane_peer::Bytes;
using korvane_peer::EncodeMessage;
using korvane_peer::EncodeReply;
using korvane_peer::Frame;
using korvane_peer::FrameKind;
using korvane_peer::FrameReader;
using korvane_peer::kMaxFrameLength;

// Everything `reader` yields until it needs more bytes or breaks.
std::vector<Frame> Drain(FrameReader* reader, FrameReader::Result* last) {
  std::vector<Frame> frames;
  Frame frame;
  std::string problem;
  while ((*last = reader->Next(&frame, &problem)) ==
         FrameReader::Result::kFrame) {
    frames.push_back(frame);
  }
  return frames;
}

TEST(PeerFrameTest, EncodesMessagesAndRepliesLittleEndian) {
  Bytes payload = {0xff};
  EXPECT_EQ(ToHex(*EncodeMessage(0x01020304, "ab", payload.data(), 1)),
            "0a 00 00 00 01 04 03 02 01 02 00 61 62 ff");
  EXPECT_EQ(ToHex(*EncodeReply(7, nullptr, 0)), "05 00 00 00 02 07 00 00 00");
  EXPECT_EQ(ToHex(*EncodeMessage(9, "", nullptr, 0)),
            "07 00 00 00 01 09 00 00 00 00 00");
}

TEST(PeerFrameTest, RefusesToEncodeWhatDoesNotFitAFrame) {
  Bytes none;
  EXPECT_TRUE(EncodeMessage(1, std::string(65535, 'c'), none.data(), 0));
  EXPECT_FALSE(EncodeMessage(1, std::string(65536, 'c'), none.data(), 0));

  Bytes largest(kMaxFrameLength - 5);
  auto frame = EncodeReply(1, largest.data(), largest.size());
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->size(), 4 + size_t{kMaxFrameLength});
  // Too long by one byte: refused before anything is read or copied.
  EXPECT_FALSE(EncodeReply(1, largest.data(), largest.size() + 1));
  EXPECT_FALSE(EncodeMessage(1, "c", largest.data(), largest.size() - 2));
}

TEST(PeerFrameTest, ReaderYieldsTheSameFramesHoweverTheBytesArrive) {
  Bytes payload = {1, 2, 3};
  Bytes stream =
      *EncodeMessage(5, "dev.channel", payload.data(), payload.size());
  Bytes reply = *EncodeReply(5, payload.data(), 0);
  Bytes empty_channel = *EncodeMessage(6, "", payload.data(), 1);
  stream.insert(stream.end(), reply.begin(), reply.end());
  stream.insert(stream.end(), empty_channel.begin(), empty_channel.end());

  FrameReader whole;
  whole.Append(stream.data(), stream.size());
  FrameReader::Result last;
  std::vector<Frame> frames = Drain(&whole, &last);
  EXPECT_EQ(last, FrameReader::Result::kNeedMore);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].kind, FrameKind::kMessage);
  EXPECT_EQ(frames[0].id, 5u);
  EXPECT_EQ(frames[0].channel, "dev.channel");
  EXPECT_EQ(frames[0].payload, payload);
  EXPECT_EQ(frames[1].kind, FrameKind::kReply);
  EXPECT_TRUE(frames[1].payload.empty());
  EXPECT_EQ(frames[2].channel, "");
  EXPECT_EQ(frames[2].payload, Bytes{1});

  FrameReader trickle;
  std::vector<Frame> trickled;
  for (uint8_t byte : stream) {
    trickle.Append(&byte, 1);
    for (Frame& frame : Drain(&trickle, &last)) {
      trickled.push_back(frame);
    }
    EXPECT_NE(last, FrameReader::Result::kBroken);
  }
  ASSERT_EQ(trickled.size(), frames.size());
  for (size_t i = 0; i < frames.size(); i++) {
    EXPECT_EQ(trickled[i].id, frames[i].id);
    EXPECT_EQ(trickled[i].channel, frames[i].channel);
    EXPECT_EQ(trickled[i].payload, frames[i].payload);
  }
}

// The header is judged before the body arrives: the reader neither waits
// for nor buffers the megabytes that a length announces.
TEST(PeerFrameTest, ReaderRejectsEveryFrameThatBreaksTheRules) {
  struct Case {
    const char* hex;
    const char* problem;  // "" where the frame is merely incomplete
  } cases[] = {
      {"00 00 00 00", "frame length 0"},
      {"01 00 00 04", "over the limit"},
      {"ff ff ff ff", "over the limit"},
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

TEST(PeerFrameTest, BrokenStreamStaysBroken) {
  FrameReader reader;
  Bytes bad = FromHex("00 00 00 00");
  reader.Append(bad.data(), bad.size());
  Bytes good = *EncodeReply(1, nullptr, 0);
  reader.Append(good.data(), good.size());
  Frame frame;
  std::string problem;
  EXPECT_EQ(reader.Next(&frame, &problem), FrameReader::Result::kBroken);
  EXPECT_EQ(reader.Next(&frame, &problem), FrameReader::Result::kBroken);
  EXPECT_EQ(problem, "frame length 0");
}

}  // namespace
