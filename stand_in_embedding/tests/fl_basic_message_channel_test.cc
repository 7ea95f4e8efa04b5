#include <flutter_linux/flutter_linux.h>
#include <gtest/gtest.h>

#include "in_process_dart.h"
#include "log_capture.h"

// Relayed messages, replies and failed sends are FlPeerRelayTest's; a second
// response and the release of handler data, HostApisTest's.
namespace {

using flutter_testing::FromHex;
using flutter_testing::InProcessDart;
using flutter_testing::LogCapture;

TEST(FlBasicMessageChannelTest, UndecodableMessageIsWarnedAndAnsweredEmpty) {
  InProcessDart dart;
  g_autoptr(FlStandardMessageCodec) codec = fl_standard_message_codec_new();
  g_autoptr(FlBasicMessageChannel) channel = fl_basic_message_channel_new(
      dart.messenger(), "bad", FL_MESSAGE_CODEC(codec));
  fl_basic_message_channel_set_message_handler(
      channel,
      [](FlBasicMessageChannel*, FlValue*, FlBasicMessageChannelResponseHandle*,
         gpointer) { ADD_FAILURE() << "an undecodable message was handled"; },
      nullptr, nullptr);

  LogCapture log;
  auto reply = dart.Call("bad", FromHex("0c 05 00"));
  ASSERT_TRUE(reply.has_value());
  EXPECT_TRUE(reply->empty());
  ASSERT_EQ(log.Messages(G_LOG_LEVEL_WARNING).size(), 1u);
  EXPECT_NE(log.Messages(G_LOG_LEVEL_WARNING)[0].find("bad"),
            std::string::npos);
}

}  // namespace
