#include "bridge_methods.h"

#include <gtest/gtest.h>

#include "record_text.h"

namespace {

using korvane_peer_tool::BuildRequest;
using korvane_peer_tool::DescribeValue;
using korvane_peer_tool::FindBridgeMethod;

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

TEST(BridgeMethodsTest, ArgumentsByNameAndRecordsWithTheirFieldsDefaulted) {
  g_autoptr(FlValue) ensure = Request("ensureUdpPortAllowedInFirewall",
                                      {"port=0x6898", "rule_name=ufw"});
  EXPECT_EQ(DescribeValue(ensure), "ufw\n26776");
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
  EXPECT_EQ(korvane_peer_tool::BridgeMethods().size(), 17u);
}

}  // namespace
