#include "bridge_methods.h"

#include <gtest/gtest.h>

#include "hex.h"
#include "in_process_dart.h"
#include "log_capture.h"
#include "pigeon/korvane_native_bridge.g.h"
#include "record_text.h"

namespace {

using flutter_testing::InProcessDart;
using korvane_peer_tool::BridgeMethod;
using korvane_peer_tool::BuildRequest;
using korvane_peer_tool::DescribeValue;
using korvane_peer_tool::FindBridgeMethod;
using korvane_peer_tool::FormatHex;

korvane_peer::Bytes Encode(FlValue* value) {
  g_autoptr(FlMessageCodec) codec = FL_MESSAGE_CODEC(
      g_object_new(korvane_bridge_message_codec_get_type(), nullptr));
  g_autoptr(GBytes) bytes =
      fl_message_codec_encode_message(codec, value, nullptr);
  return flutter_testing::ToBytes(bytes);
}

FlValue* Request(const char* method, std::vector<std::string> arguments) {
  std::string error;
  FlValue* request = BuildRequest(*FindBridgeMethod(method), arguments, &error);
  EXPECT_NE(request, nullptr) << error;
  return request;
}

std::string ErrorOf(const char* method, std::vector<std::string> arguments) {
  std::string error;
  g_autoptr(FlValue) request =
      BuildRequest(*FindBridgeMethod(method), arguments, &error);
  EXPECT_EQ(request, nullptr);
  return error;
}

TEST(BridgeMethodsTest, PlainArgumentsEncodeAsTheBridgeExpects) {
  g_autoptr(FlValue) unmount =
      Request("unmountVirtualController", {"player_number=2"});
  EXPECT_EQ(FormatHex(Encode(unmount)), "0c 01 03 02 00 00 00");
  g_autoptr(FlValue) ensure =
      Request("ensureUdpPortAllowedInFirewall", {"port=0x6898", "rule_name=ufw"});
  EXPECT_EQ(DescribeValue(ensure), "ufw\n26776");
  g_autoptr(FlValue) none = Request("getDriverHealth", {});
  EXPECT_EQ(FormatHex(Encode(none)), "0c 00");
}

TEST(BridgeMethodsTest, RecordsTakeNamedFieldsAndDefaultTheRest) {
  g_autoptr(FlValue) deck =
      Request("triggerDeckAction",
              {"action_id=mute", "action_type=15", "ctrl_modifier=true"});
  EXPECT_EQ(DescribeValue(deck),
            "NativeDeckActionRequest(action_id: \"mute\", action_type: 15, "
            "custom_key_code: null, ctrl_modifier: true, alt_modifier: false, "
            "shift_modifier: false, meta_modifier: false)");
  g_autoptr(FlValue) keyed =
      Request("triggerDeckAction", {"custom_key_code=", "action_id=a b"});
  EXPECT_NE(DescribeValue(keyed).find("action_id: \"a b\", action_type: 0, "
                                      "custom_key_code: \"\""),
            std::string::npos);
  g_autoptr(FlValue) stylus = Request(
      "injectWindowStylusEvent", {"window_id=0x1e00004", "normalized_u=0.25",
                                  "normalized_v=-1e-3", "phase=2"});
  EXPECT_EQ(
      DescribeValue(stylus),
      "NativeStylusInjectionRequest(window_id: 31457284, normalized_u: 0.25, "
      "normalized_v: -0.001, phase: 2, restore_cursor_on_release: false)");
}

TEST(BridgeMethodsTest, WrongArgumentsAreRefusedWithAReason) {
  EXPECT_EQ(ErrorOf("getDriverHealth", {"x=1"}), "getDriverHealth takes no x");
  EXPECT_EQ(ErrorOf("unmountVirtualController", {}), "missing player_number=");
  EXPECT_EQ(ErrorOf("unmountVirtualController", {"player_number=2x"}),
            "player_number=2x is not a valid INT");
  EXPECT_EQ(ErrorOf("captureWindowFrame", {"window_id"}),
            "\"window_id\" is not name=value");
  EXPECT_EQ(ErrorOf("captureWindowFrame", {"colour=red"}),
            "no field colour in SecondScreenCaptureConfig");
  EXPECT_EQ(ErrorOf("mountVirtualController", {"enable_rumble=yes"}),
            "enable_rumble=yes is not a valid BOOL");
  EXPECT_EQ(ErrorOf("mountVirtualController", {"persona=4294967296"}),
            "persona=4294967296 is not a valid ENUM");
  EXPECT_EQ(
      ErrorOf("pushControllerFrame", {"timestamp_us=99999999999999999999"}),
      "timestamp_us=99999999999999999999 is not a valid INT");
  EXPECT_EQ(FindBridgeMethod("onControllerRumble"), nullptr);
}

// Every slot is filled, so the bridge gets as far as decoding each request;
// a handle-answered slot that then does nothing leaves the request without
// a reply. An empty reply would mean a wrong channel, an error reply a
// request of the wrong shape.
TEST(BridgeMethodsTest, EveryMethodReachesItsBridgeHandler) {
  constexpr auto kIgnore = [](auto...) {};
  static const KorvaneBridgeVirtualControllerHostApiVTable kController = {
      kIgnore,
      kIgnore,
      kIgnore,
      kIgnore,
      kIgnore,
      [](KorvaneBridgeVirtualControllerFrame*, gpointer) {
        return korvane_bridge_virtual_controller_host_api_push_controller_frame_response_new();
      }};
  static const KorvaneBridgeHostSystemBridgeApiVTable kSystem = {
      kIgnore, kIgnore, kIgnore, kIgnore, kIgnore, kIgnore,
      kIgnore, kIgnore, kIgnore, kIgnore, kIgnore};
  InProcessDart dart;
  korvane_bridge_virtual_controller_host_api_set_method_handlers(
      dart.messenger(), nullptr, &kController, nullptr, nullptr);
  korvane_bridge_host_system_bridge_api_set_method_handlers(
      dart.messenger(), nullptr, &kSystem, nullptr, nullptr);

  const std::map<std::string, std::vector<std::string>> plain_arguments = {
      {"unmountVirtualController", {"player_number=1"}},
      {"isUdpPortAllowedInFirewall", {"port=1"}},
      {"ensureUdpPortAllowedInFirewall", {"rule_name=n", "port=1"}},
  };
  EXPECT_EQ(korvane_peer_tool::BridgeMethods().size(), 17u);
  for (const BridgeMethod& method : korvane_peer_tool::BridgeMethods()) {
    SCOPED_TRACE(method.name);
    auto arguments = plain_arguments.find(method.name);
    g_autoptr(FlValue) request =
        Request(method.name, arguments != plain_arguments.end()
                                 ? arguments->second
                                 : std::vector<std::string>{});
    flutter_testing::LogCapture log;
    auto reply = dart.Send(method.channel, Encode(request));
    ASSERT_TRUE(InProcessDart::RunUntil([&] { return reply->released; }));
    if (!method.answered_later) {
      EXPECT_EQ(FormatHex(reply->bytes), "0c 01 00");
    } else {
      EXPECT_FALSE(reply->answered) << FormatHex(reply->bytes);
    }
  }
}

}  // namespace
