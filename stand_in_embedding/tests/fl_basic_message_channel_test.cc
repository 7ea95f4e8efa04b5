#include <flutter_linux/flutter_linux.h>
#include <gtest/gtest.h>

#include "in_process_dart.h"
#include "log_capture.h"

namespace {

using flutter_testing::Bytes;
using flutter_testing::FromHex;
using flutter_testing::InProcessDart;
using flutter_testing::LogCapture;
using flutter_testing::ToHex;

FlBasicMessageChannel* NewChannel(FlBinaryMessenger* messenger, const char* name) {
  g_autoptr(FlStandardMessageCodec) codec = fl_standard_message_codec_new();
  return fl_basic_message_channel_new(messenger, name, FL_MESSAGE_CODEC(codec));
}

// Counts its calls and echoes.
void CountingHandler(FlBasicMessageChannel* channel,
                     FlValue* message,
                     FlBasicMessageChannelResponseHandle* handle,
                     gpointer calls) {
  (*static_cast<int*>(calls))++;
  EXPECT_TRUE(fl_basic_message_channel_respond(channel, handle, message, nullptr));
}

// Clearing works by name: a new channel object with the same name and no
// handler removes the earlier registration and releases its user data once.
TEST(FlBasicMessageChannelTest, ClearingByNameReleasesTheEarlierRegistration) {
  InProcessDart dart;
  static int released;
  released = 0;
  int calls = 0;
  {
    g_autoptr(FlBasicMessageChannel) channel = NewChannel(dart.messenger(), "c");
    fl_basic_message_channel_set_message_handler(channel, CountingHandler, &calls,
                                                 [](gpointer) { released++; });
  }
  {
    g_autoptr(FlBasicMessageChannel) clearer = NewChannel(dart.messenger(), "c");
    fl_basic_message_channel_set_message_handler(clearer, nullptr, nullptr, nullptr);
  }
  EXPECT_EQ(released, 1);

  auto reply = dart.Call("c", FromHex("00"));
  ASSERT_TRUE(reply.has_value());
  EXPECT_TRUE(reply->empty()) << "no handler after clearing";
  EXPECT_EQ(calls, 0);
}

TEST(FlBasicMessageChannelTest, UndecodableMessageIsWarnedAndAnsweredEmpty) {
  InProcessDart dart;
  int calls = 0;
  g_autoptr(FlBasicMessageChannel) channel = NewChannel(dart.messenger(), "bad");
  fl_basic_message_channel_set_message_handler(channel, CountingHandler, &calls, nullptr);

  LogCapture log;
  auto reply = dart.Call("bad", FromHex("0c 05 00"));
  ASSERT_TRUE(reply.has_value());
  EXPECT_TRUE(reply->empty());
  EXPECT_EQ(calls, 0);
  ASSERT_EQ(log.Messages(G_LOG_LEVEL_WARNING).size(), 1u);
  EXPECT_NE(log.Messages(G_LOG_LEVEL_WARNING)[0].find("bad"), std::string::npos);
}

TEST(FlBasicMessageChannelTest, SecondRespondIsACriticalNotASecondReply) {
  InProcessDart dart;
  g_autoptr(FlBasicMessageChannel) channel = NewChannel(dart.messenger(), "twice");
  fl_basic_message_channel_set_message_handler(
      channel,
      [](FlBasicMessageChannel* channel, FlValue* message,
         FlBasicMessageChannelResponseHandle* handle, gpointer) {
        EXPECT_TRUE(fl_basic_message_channel_respond(channel, handle, message, nullptr));
        LogCapture log;
        EXPECT_FALSE(fl_basic_message_channel_respond(channel, handle, message, nullptr));
        EXPECT_EQ(log.Messages(G_LOG_LEVEL_CRITICAL).size(), 1u);
      },
      nullptr, nullptr);
  auto reply = dart.Call("twice", FromHex("01"));
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(ToHex(*reply), "01");
}

struct SendResult {
  bool done = false;
  FlValue* value = nullptr;
  GError* error = nullptr;
  ~SendResult() {
    if (value != nullptr) {
      fl_value_unref(value);
    }
    g_clear_error(&error);
  }
  static void Finish(GObject* object, GAsyncResult* result, gpointer user_data) {
    auto* self = static_cast<SendResult*>(user_data);
    self->value = fl_basic_message_channel_send_finish(FL_BASIC_MESSAGE_CHANNEL(object),
                                                       result, &self->error);
    self->done = true;
  }
};

TEST(FlBasicMessageChannelTest, SendDecodesTheReplyOrReportsTheFailure) {
  InProcessDart dart;
  dart.SetHandler("answer", [](const Bytes& message) -> std::optional<Bytes> {
    EXPECT_EQ(ToHex(message), "07 02 68 69");  // "hi"
    return FromHex("03 2a 00 00 00");          // 42
  });
  dart.SetHandler("garbage", [](const Bytes&) -> std::optional<Bytes> {
    return FromHex("03 2a");
  });
  dart.SetHandler("fail", [](const Bytes&) { return std::nullopt; });

  g_autoptr(FlValue) hi = fl_value_new_string("hi");
  g_autoptr(FlValue) custom = fl_value_new_custom(250, nullptr, nullptr);
  SendResult answered, no_handler, garbage, failed, unencodable;
  g_autoptr(FlBasicMessageChannel) answer = NewChannel(dart.messenger(), "answer");
  g_autoptr(FlBasicMessageChannel) nobody = NewChannel(dart.messenger(), "nobody");
  g_autoptr(FlBasicMessageChannel) broken = NewChannel(dart.messenger(), "garbage");
  g_autoptr(FlBasicMessageChannel) fail = NewChannel(dart.messenger(), "fail");
  fl_basic_message_channel_send(answer, hi, nullptr, SendResult::Finish, &answered);
  fl_basic_message_channel_send(nobody, hi, nullptr, SendResult::Finish, &no_handler);
  fl_basic_message_channel_send(broken, hi, nullptr, SendResult::Finish, &garbage);
  fl_basic_message_channel_send(fail, hi, nullptr, SendResult::Finish, &failed);
  fl_basic_message_channel_send(answer, custom, nullptr, SendResult::Finish, &unencodable);
  InProcessDart::Drain();
  ASSERT_EQ(dart.held().size(), 1u);
  dart.Answer(dart.held()[0].id, std::nullopt);

  ASSERT_TRUE(InProcessDart::RunUntil(
      [&] { return answered.done && no_handler.done && garbage.done && failed.done &&
                   unencodable.done; }));
  ASSERT_NE(answered.value, nullptr);
  EXPECT_EQ(fl_value_get_int(answered.value), 42);
  // An empty reply ("no handler") decodes as null.
  ASSERT_NE(no_handler.value, nullptr);
  EXPECT_EQ(fl_value_get_type(no_handler.value), FL_VALUE_TYPE_NULL);
  EXPECT_EQ(garbage.value, nullptr);
  EXPECT_TRUE(g_error_matches(garbage.error, FL_MESSAGE_CODEC_ERROR,
                              FL_MESSAGE_CODEC_ERROR_OUT_OF_DATA));
  EXPECT_EQ(failed.value, nullptr);
  EXPECT_NE(failed.error, nullptr);
  // What cannot be encoded fails through the callback and is never sent.
  EXPECT_TRUE(g_error_matches(unencodable.error, FL_MESSAGE_CODEC_ERROR,
                              FL_MESSAGE_CODEC_ERROR_UNSUPPORTED_TYPE));
  EXPECT_EQ(dart.received().size(), 4u);
}

}  // namespace
