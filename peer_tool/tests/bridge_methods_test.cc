#include "bridge_methods.h"

#include <gtest/gtest.h>

#include "record_text.h"

namespace {

using korvane_peer_tool::FindBridgeMethod;

// What BuildRequest makes of `arguments`: the request as korvane-peer prints
// it, or the reason it refused them.
std::string Built(const std::string& method,
                  std::vector<std::string> arguments) {
  std::string error;
  g_autoptr(FlValue) request = korvane_peer_tool::BuildRequest(
      *FindBridgeMethod(method), arguments, &error);
  return request != nullptr ? korvane_peer_tool::DescribeValue(request) : error;
}

TEST(BridgeMethodsTest, ArgumentsByNameRecordsDefaultedAndRefusalsExplained) {
  // The method and its arguments, and what they make.
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"ensureUdpPortAllowedInFirewall", "port=0x6898", "rule_name=ufw"},
       "ufw\n26776"},
      {{"triggerDeckAction", "action_id=mute", "action_type=15",
        "ctrl_modifier=true"},
       "NativeDeckActionRequest(action_id: \"mute\", action_type: 15, "
       "custom_key_code: null, ctrl_modifier: true, alt_modifier: false, "
       "shift_modifier: false, meta_modifier: false)"},
      {{"triggerDeckAction", "custom_key_code=", "action_id=a b"},
       "NativeDeckActionRequest(action_id: \"a b\", action_type: 0, "
       "custom_key_code: \"\", ctrl_modifier: false, alt_modifier: false, "
       "shift_modifier: false, meta_modifier: false)"},
      {{"injectWindowStylusEvent", "window_id=0x1e00004", "normalized_u=0.25",
        "normalized_v=-1e-3", "phase=2"},
       "NativeStylusInjectionRequest(window_id: 31457284, normalized_u: 0.25, "
       "normalized_v: -0.001, phase: 2, restore_cursor_on_release: false)"},
      {{"getDriverHealth", "x=1"}, "getDriverHealth takes no x"},
      {{"unmountVirtualController"}, "missing player_number="},
      {{"unmountVirtualController", "player_number=2x"},
       "player_number=2x is not a valid INT"},
      {{"captureWindowFrame", "window_id"}, "\"window_id\" is not name=value"},
      {{"captureWindowFrame", "colour=red"},
       "no field colour in SecondScreenCaptureConfig"},
      {{"mountVirtualController", "enable_rumble=yes"},
       "enable_rumble=yes is not a valid BOOL"},
      {{"mountVirtualController", "persona=4294967296"},
       "persona=4294967296 is not a valid ENUM"},
      {{"pushControllerFrame", "timestamp_us=99999999999999999999"},
       "timestamp_us=99999999999999999999 is not a valid INT"},
  };
  for (const auto& [call, built] : cases) {
    EXPECT_EQ(Built(call[0], {call.begin() + 1, call.end()}), built);
  }
  EXPECT_EQ(FindBridgeMethod("onControllerRumble"), nullptr);
  EXPECT_EQ(korvane_peer_tool::BridgeMethods().size(), 17u);
}

}  // namespace
