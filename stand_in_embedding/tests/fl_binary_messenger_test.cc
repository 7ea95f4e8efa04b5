#include <flutter_linux/flutter_linux.h>
#include <gtest/gtest.h>

#include <thread>

#include "in_process_dart.h"
#include "log_capture.h"

namespace {

using flutter_testing::Bytes;
using flutter_testing::InProcessDart;
using flutter_testing::LogCapture;
using flutter_testing::ToBytes;
using flutter_testing::ToGBytes;

// Counts how often its user data is released.
struct Releases {
  int count = 0;
  static void Release(gpointer data) { static_cast<Releases*>(data)->count++; }
};

void EchoHandler(FlBinaryMessenger* messenger,
                 const gchar* /*channel*/,
                 GBytes* message,
                 FlBinaryMessengerResponseHandle* handle,
                 gpointer /*user_data*/) {
  EXPECT_TRUE(fl_binary_messenger_send_response(messenger, handle, message, nullptr));
}

void SilentHandler(FlBinaryMessenger* /*messenger*/,
                   const gchar* /*channel*/,
                   GBytes* /*message*/,
                   FlBinaryMessengerResponseHandle* /*handle*/,
                   gpointer /*user_data*/) {}

TEST(FlBinaryMessengerTest, MessagesArriveThroughTheMainContext) {
  InProcessDart dart;
  bool called = false;
  fl_binary_messenger_set_message_handler_on_channel(
      dart.messenger(), "echo",
      [](FlBinaryMessenger* messenger, const gchar* channel, GBytes* message,
         FlBinaryMessengerResponseHandle* handle, gpointer user_data) {
        *static_cast<bool*>(user_data) = true;
        EXPECT_STREQ(channel, "echo");
        EchoHandler(messenger, channel, message, handle, nullptr);
      },
      &called, nullptr);

  auto reply = dart.Send("echo", {1, 2, 3});
  EXPECT_FALSE(called) << "delivered inside the send, not through the context";
  ASSERT_TRUE(InProcessDart::RunUntil([&] { return reply->answered; }));
  EXPECT_TRUE(called);
  EXPECT_EQ(reply->bytes, (Bytes{1, 2, 3}));
}

TEST(FlBinaryMessengerTest, UserDataIsReleasedOnceWhenReplacedClearedOrShutDown) {
  Releases first, second, third;
  {
    InProcessDart dart;
    FlBinaryMessenger* messenger = dart.messenger();
    fl_binary_messenger_set_message_handler_on_channel(messenger, "a", EchoHandler,
                                                       &first, Releases::Release);
    fl_binary_messenger_set_message_handler_on_channel(messenger, "a", EchoHandler,
                                                       &second, Releases::Release);
    EXPECT_EQ(first.count, 1);
    EXPECT_EQ(second.count, 0);
    fl_binary_messenger_set_message_handler_on_channel(messenger, "a", nullptr,
                                                       nullptr, nullptr);
    EXPECT_EQ(second.count, 1);
    auto reply = dart.Call("a", {1});
    ASSERT_TRUE(reply.has_value());
    EXPECT_TRUE(reply->empty()) << "a cleared handler must not be called";

    fl_binary_messenger_set_message_handler_on_channel(messenger, "b", EchoHandler,
                                                       &third, Releases::Release);
  }
  EXPECT_EQ(first.count, 1);
  EXPECT_EQ(second.count, 1);
  EXPECT_EQ(third.count, 1) << "the messenger going away releases the rest";
}

// A handler that replaces itself must not have its data freed under it.
TEST(FlBinaryMessengerTest, HandlerMayReplaceItselfWhileRunning) {
  InProcessDart dart;
  struct State {
    Releases releases;
    bool alive = true;
  } state;
  fl_binary_messenger_set_message_handler_on_channel(
      dart.messenger(), "self",
      [](FlBinaryMessenger* messenger, const gchar* channel, GBytes* message,
         FlBinaryMessengerResponseHandle* handle, gpointer user_data) {
        auto* state = static_cast<State*>(user_data);
        fl_binary_messenger_set_message_handler_on_channel(messenger, channel, nullptr,
                                                           nullptr, nullptr);
        EXPECT_EQ(state->releases.count, 0) << "released while still running";
        EchoHandler(messenger, channel, message, handle, nullptr);
      },
      &state, [](gpointer data) { static_cast<State*>(data)->releases.count++; });
  auto reply = dart.Call("self", {4});
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(*reply, Bytes{4});
  EXPECT_EQ(state.releases.count, 1);
}

TEST(FlBinaryMessengerTest, ReplyFromAnotherThreadReachesTheSender) {
  InProcessDart dart;
  std::thread worker;
  fl_binary_messenger_set_message_handler_on_channel(
      dart.messenger(), "thread",
      [](FlBinaryMessenger* messenger, const gchar* /*channel*/, GBytes* /*message*/,
         FlBinaryMessengerResponseHandle* handle, gpointer user_data) {
        g_object_ref(handle);
        *static_cast<std::thread*>(user_data) = std::thread([messenger, handle] {
          g_autoptr(GBytes) reply = g_bytes_new("t", 1);
          EXPECT_TRUE(fl_binary_messenger_send_response(messenger, handle, reply, nullptr));
          g_object_unref(handle);
        });
      },
      &worker, nullptr);
  auto reply = dart.Call("thread", {});
  worker.join();
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(*reply, Bytes{'t'});
}

TEST(FlBinaryMessengerTest, SecondResponseIsRefused) {
  InProcessDart dart;
  fl_binary_messenger_set_message_handler_on_channel(
      dart.messenger(), "twice",
      [](FlBinaryMessenger* messenger, const gchar* /*channel*/, GBytes* message,
         FlBinaryMessengerResponseHandle* handle, gpointer /*user_data*/) {
        EXPECT_TRUE(fl_binary_messenger_send_response(messenger, handle, message, nullptr));
        g_autoptr(GError) error = nullptr;
        EXPECT_FALSE(fl_binary_messenger_send_response(messenger, handle, message, &error));
        EXPECT_TRUE(g_error_matches(error, FL_BINARY_MESSENGER_ERROR,
                                    FL_BINARY_MESSENGER_ERROR_ALREADY_RESPONDED));
      },
      nullptr, nullptr);
  auto reply = dart.Call("twice", {7});
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(*reply, Bytes{7});
}

TEST(FlBinaryMessengerTest, UnansweredMessageGetsNoReplyAndACritical) {
  InProcessDart dart;
  fl_binary_messenger_set_message_handler_on_channel(dart.messenger(), "silent",
                                                     SilentHandler, nullptr, nullptr);
  LogCapture log;
  auto reply = dart.Send("silent", {1});
  ASSERT_TRUE(InProcessDart::RunUntil([&] { return reply->released; }));
  EXPECT_FALSE(reply->answered);
  EXPECT_EQ(log.Messages(G_LOG_LEVEL_CRITICAL),
            std::vector<std::string>{"FlBinaryMessengerResponseHandle was not responded to"});
}

// Collects the outcome of one host send.
struct SendOutcome {
  bool done = false;
  std::optional<Bytes> reply;
  GError* error = nullptr;
  ~SendOutcome() { g_clear_error(&error); }

  static void Finish(GObject* object, GAsyncResult* result, gpointer user_data) {
    auto* outcome = static_cast<SendOutcome*>(user_data);
    g_autoptr(GBytes) reply = fl_binary_messenger_send_on_channel_finish(
        FL_BINARY_MESSENGER(object), result, &outcome->error);
    if (reply != nullptr) {
      outcome->reply = ToBytes(reply);
    }
    outcome->done = true;
  }
};

void SendFromHost(FlBinaryMessenger* messenger,
                  const char* channel,
                  const Bytes& message,
                  SendOutcome* outcome,
                  GCancellable* cancellable = nullptr) {
  g_autoptr(GBytes) bytes = ToGBytes(message);
  fl_binary_messenger_send_on_channel(messenger, channel, bytes, cancellable,
                                      SendOutcome::Finish, outcome);
}

TEST(FlBinaryMessengerTest, HostSendsCompleteWithTheDartReplyOrFail) {
  InProcessDart dart;
  dart.SetHandler("ask", [](const Bytes& message) -> std::optional<Bytes> {
    Bytes reply = message;
    reply.push_back(0xff);
    return reply;
  });
  dart.SetHandler("hold", [](const Bytes&) { return std::nullopt; });
  SendOutcome answered, no_handler, late, failed;
  SendFromHost(dart.messenger(), "ask", {1}, &answered);
  SendFromHost(dart.messenger(), "nobody", {2}, &no_handler);
  SendFromHost(dart.messenger(), "hold", {3}, &late);
  SendFromHost(dart.messenger(), "hold", {4}, &failed);
  EXPECT_FALSE(answered.done) << "completion must come through the main context";
  ASSERT_TRUE(InProcessDart::RunUntil(
      [&] { return answered.done && no_handler.done && dart.held().size() == 2; }));
  EXPECT_EQ(answered.reply, (Bytes{1, 0xff}));
  EXPECT_EQ(no_handler.reply, Bytes());
  ASSERT_EQ(dart.received().size(), 4u);
  EXPECT_EQ(dart.received()[0].channel, "ask");
  EXPECT_EQ(dart.received()[0].message, Bytes{1});

  EXPECT_FALSE(late.done);
  dart.Answer(dart.held()[0].id, Bytes{5});
  dart.Answer(dart.held()[0].id, std::nullopt);
  ASSERT_TRUE(InProcessDart::RunUntil([&] { return late.done && failed.done; }));
  EXPECT_EQ(late.reply, Bytes{5});
  EXPECT_FALSE(failed.reply.has_value());
  EXPECT_NE(failed.error, nullptr);
}

TEST(FlBinaryMessengerTest, CancelledOrShutDownSendsFail) {
  SendOutcome cancelled, early, pending;
  {
    InProcessDart dart;
    dart.SetHandler("hold", [](const Bytes&) { return std::nullopt; });
    g_autoptr(GCancellable) cancellable = g_cancellable_new();
    g_autoptr(GCancellable) cancelled_before = g_cancellable_new();
    g_cancellable_cancel(cancelled_before);
    SendFromHost(dart.messenger(), "hold", {1}, &cancelled, cancellable);
    SendFromHost(dart.messenger(), "hold", {2}, &early, cancelled_before);
    SendFromHost(dart.messenger(), "hold", {3}, &pending);
    InProcessDart::Drain();
    EXPECT_FALSE(cancelled.done);
    g_cancellable_cancel(cancellable);
    ASSERT_TRUE(InProcessDart::RunUntil([&] { return cancelled.done && early.done; }));
    EXPECT_TRUE(g_error_matches(cancelled.error, G_IO_ERROR, G_IO_ERROR_CANCELLED));
    EXPECT_TRUE(g_error_matches(early.error, G_IO_ERROR, G_IO_ERROR_CANCELLED));

    // A late answer to the cancelled send is ignored.
    dart.Answer(dart.held()[0].id, Bytes{1});
    InProcessDart::Drain();
    EXPECT_FALSE(pending.done);
  }
  EXPECT_TRUE(InProcessDart::RunUntil([&] { return pending.done; }));
  EXPECT_TRUE(g_error_matches(pending.error, G_IO_ERROR, G_IO_ERROR_CLOSED));
}

}  // namespace
