#include <flutter_linux/flutter_linux.h>
#include <gtest/gtest.h>

#include "in_process_dart.h"
#include "log_capture.h"

// Relayed messages, replies and failed sends are FlPeerRelayTest's; a second
// response is HostApisTest's.
namespace {

using flutter_testing::Bytes;
using flutter_testing::FromHex;
using flutter_testing::InProcessDart;
using flutter_testing::LogCapture;

void EchoHandler(FlBinaryMessenger* messenger,
                 const gchar*,
                 GBytes* message,
                 FlBinaryMessengerResponseHandle* handle,
                 gpointer) {
  EXPECT_TRUE(
      fl_binary_messenger_send_response(messenger, handle, message, nullptr));
}

TEST(FlBinaryMessengerTest,
     UserDataIsReleasedOnceWhenReplacedClearedOrShutDown) {
  int first = 0, second = 0, third = 0;
  auto release = [](gpointer count) { (*static_cast<int*>(count))++; };
  {
    InProcessDart dart;
    FlBinaryMessenger* messenger = dart.messenger();
    fl_binary_messenger_set_message_handler_on_channel(
        messenger, "a", EchoHandler, &first, release);
    fl_binary_messenger_set_message_handler_on_channel(
        messenger, "a", EchoHandler, &second, release);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    fl_binary_messenger_set_message_handler_on_channel(messenger, "a", nullptr,
                                                       nullptr, nullptr);
    EXPECT_EQ(second, 1);
    auto reply = dart.Call("a", {1});
    ASSERT_TRUE(reply.has_value());
    EXPECT_TRUE(reply->empty()) << "a cleared handler must not be called";

    fl_binary_messenger_set_message_handler_on_channel(
        messenger, "b", EchoHandler, &third, release);
  }
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 1);
  EXPECT_EQ(third, 1) << "the messenger going away releases the rest";
}

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
