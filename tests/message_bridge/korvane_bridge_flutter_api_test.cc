#include <gtest/gtest.h>

#include "bridge_test_support.h"
#include "in_process_dart.h"
#include "log_capture.h"

namespace {

using bridge_testing::Bytes;
using bridge_testing::Decode;
using flutter_testing::FromHex;
using flutter_testing::InProcessDart;
using flutter_testing::LogCapture;

const char kRumbleChannel[] =
    "dev.flutter.pigeon.korvane_desktop.VirtualControllerFlutterApi.onControllerRumble";

using RumbleResponse = KorvaneBridgeVirtualControllerFlutterApiOnControllerRumbleResponse;

// The outcome of one send, collected through its finish function.
struct Outcome {
  bool done = false;
  RumbleResponse* response = nullptr;
  GError* error = nullptr;
  ~Outcome() {
    g_clear_object(&response);
    g_clear_error(&error);
  }
  static void Finish(GObject* api, GAsyncResult* result, gpointer data) {
    auto* self = static_cast<Outcome*>(data);
    self->response = korvane_bridge_virtual_controller_flutter_api_on_controller_rumble_finish(
        KORVANE_BRIDGE_VIRTUAL_CONTROLLER_FLUTTER_API(api), result, &self->error);
    self->done = true;
  }
};

void SendRumble(KorvaneBridgeVirtualControllerFlutterApi* api, Outcome* outcome) {
  g_autoptr(KorvaneBridgeNativeRumbleEvent) event =
      korvane_bridge_native_rumble_event_new(3, 255, 127);
  korvane_bridge_virtual_controller_flutter_api_on_controller_rumble(
      api, event, nullptr, outcome != nullptr ? Outcome::Finish : nullptr, outcome);
}

// Sends a rumble that the Dart side answers with `reply`, and finishes it.
void SendRumbleAnsweredWith(const Bytes& reply, Outcome* outcome) {
  InProcessDart dart;
  dart.SetHandler(kRumbleChannel, [reply](const Bytes&) { return std::optional<Bytes>(reply); });
  g_autoptr(KorvaneBridgeVirtualControllerFlutterApi) api =
      korvane_bridge_virtual_controller_flutter_api_new(dart.messenger(), nullptr);
  SendRumble(api, outcome);
  ASSERT_TRUE(InProcessDart::RunUntil([&] { return outcome->done; }));
  ASSERT_NE(outcome->response, nullptr);
}

TEST(KorvaneBridgeFlutterApiTest, EventsGoOutOnTheirChannelsAsOneRecord) {
  InProcessDart dart;
  g_autoptr(KorvaneBridgeVirtualControllerFlutterApi) plain =
      korvane_bridge_virtual_controller_flutter_api_new(dart.messenger(), nullptr);
  g_autoptr(KorvaneBridgeVirtualControllerFlutterApi) suffixed =
      korvane_bridge_virtual_controller_flutter_api_new(dart.messenger(), "x");

  SendRumble(plain, nullptr);
  SendRumble(suffixed, nullptr);
  g_autoptr(KorvaneBridgeNativePlayerLedEvent) led =
      korvane_bridge_native_player_led_event_new(2, 1, 2, 3);
  korvane_bridge_virtual_controller_flutter_api_on_player_led_updated(plain, led, nullptr,
                                                                      nullptr, nullptr);
  g_autoptr(KorvaneBridgeNativeDriverHealth) health = korvane_bridge_native_driver_health_new(
      KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY, "uinput", 0, TRUE, nullptr);
  korvane_bridge_virtual_controller_flutter_api_on_driver_health_changed(plain, health, nullptr,
                                                                         nullptr, nullptr);
  InProcessDart::Drain();

  ASSERT_EQ(dart.received().size(), 4u);
  EXPECT_EQ(dart.received()[0].channel, kRumbleChannel);
  EXPECT_EQ(dart.received()[1].channel, std::string(kRumbleChannel) + ".x");
  EXPECT_EQ(dart.received()[2].channel,
            "dev.flutter.pigeon.korvane_desktop.VirtualControllerFlutterApi.onPlayerLedUpdated");
  EXPECT_EQ(dart.received()[3].channel,
            "dev.flutter.pigeon.korvane_desktop.VirtualControllerFlutterApi."
            "onDriverHealthChanged");

  g_autoptr(FlValue) message = Decode(dart.received()[0].message);
  ASSERT_NE(message, nullptr);
  ASSERT_EQ(fl_value_get_length(message), 1u);
  FlValue* record = fl_value_get_list_value(message, 0);
  ASSERT_EQ(fl_value_get_custom_type(record), 137);
  g_autoptr(KorvaneBridgeNativeRumbleEvent) expected =
      korvane_bridge_native_rumble_event_new(3, 255, 127);
  EXPECT_TRUE(korvane_bridge_native_rumble_event_equals(
      expected, KORVANE_BRIDGE_NATIVE_RUMBLE_EVENT(fl_value_get_custom_value_object(record))));
  EXPECT_EQ(dart.received()[3].message[2], 0x86);
}

TEST(KorvaneBridgeFlutterApiTest, FinishTellsSuccessFromAnErrorReply) {
  struct Case {
    const char* name;
    Bytes reply;  // empty: no listener on the Dart side
    bool is_error;
  } cases[] = {
      {"empty list", FromHex("0c 00"), false},
      {"list of null", FromHex("0c 01 00"), false},
      {"no listener", Bytes(), false},
      {"error reply", FromHex("0c 03 07 01 63 07 03 6d 73 67 03 05 00 00 00"), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Outcome outcome;
    SendRumbleAnsweredWith(c.reply, &outcome);
    ASSERT_NE(outcome.response, nullptr);
    EXPECT_EQ(korvane_bridge_virtual_controller_flutter_api_on_controller_rumble_response_is_error(
                  outcome.response),
              c.is_error);
    if (c.is_error) {
      EXPECT_STREQ(
          korvane_bridge_virtual_controller_flutter_api_on_controller_rumble_response_get_error_code(
              outcome.response),
          "c");
      EXPECT_STREQ(
          korvane_bridge_virtual_controller_flutter_api_on_controller_rumble_response_get_error_message(
              outcome.response),
          "msg");
      EXPECT_EQ(fl_value_get_int(
                    korvane_bridge_virtual_controller_flutter_api_on_controller_rumble_response_get_error_details(
                        outcome.response)),
                5);
    } else {
      LogCapture log;
      EXPECT_EQ(
          korvane_bridge_virtual_controller_flutter_api_on_controller_rumble_response_get_error_code(
              outcome.response),
          nullptr);
      EXPECT_EQ(log.Messages(G_LOG_LEVEL_CRITICAL).size(), 1u);
    }
  }
}

TEST(KorvaneBridgeFlutterApiTest, FailedSendsReachFinishAsErrors) {
  InProcessDart dart;
  dart.SetHandler(kRumbleChannel, [](const Bytes&) { return std::nullopt; });
  g_autoptr(KorvaneBridgeVirtualControllerFlutterApi) api =
      korvane_bridge_virtual_controller_flutter_api_new(dart.messenger(), nullptr);
  Outcome failed, garbled;
  SendRumble(api, &failed);
  InProcessDart::Drain();
  ASSERT_EQ(dart.held().size(), 1u);
  dart.Answer(dart.held()[0].id, std::nullopt);

  dart.SetHandler(kRumbleChannel, [](const Bytes&) { return FromHex("0c 05"); });
  SendRumble(api, &garbled);
  ASSERT_TRUE(InProcessDart::RunUntil([&] { return failed.done && garbled.done; }));
  EXPECT_EQ(failed.response, nullptr);
  EXPECT_NE(failed.error, nullptr);
  EXPECT_EQ(garbled.response, nullptr);
  EXPECT_TRUE(g_error_matches(garbled.error, FL_MESSAGE_CODEC_ERROR,
                              FL_MESSAGE_CODEC_ERROR_OUT_OF_DATA));
}

TEST(KorvaneBridgeFlutterApiTest, ShortErrorListsDoNotReadPastTheirEnd) {
  // Two elements, the first not a string: an error, but a malformed one.
  Outcome outcome;
  SendRumbleAnsweredWith(FromHex("0c 02 03 01 00 00 00 00"), &outcome);
  ASSERT_NE(outcome.response, nullptr);
  EXPECT_TRUE(korvane_bridge_virtual_controller_flutter_api_on_controller_rumble_response_is_error(
      outcome.response));
  EXPECT_STREQ(
      korvane_bridge_virtual_controller_flutter_api_on_controller_rumble_response_get_error_code(
          outcome.response),
      "");
  EXPECT_EQ(
      korvane_bridge_virtual_controller_flutter_api_on_controller_rumble_response_get_error_details(
          outcome.response),
      nullptr);
}

}  // namespace
