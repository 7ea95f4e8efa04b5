#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge_methods.h"
#include "bridge_test_support.h"
#include "in_process_dart.h"
#include "log_capture.h"
#include "record_text.h"

namespace {

using bridge_testing::Bytes;
using bridge_testing::RecordingHost;
using flutter_testing::FromHex;
using flutter_testing::InProcessDart;
using flutter_testing::LogCapture;
using flutter_testing::ToHex;
using korvane_peer_tool::DescribeValue;
using korvane_peer_tool::FindBridgeMethod;

using Calls = std::vector<std::string>;

// The request that korvane-peer builds from `arguments`, and the arguments
// in `text` as the slots record them; no arguments make a null message.
Bytes Request(const std::string& method,
              const std::vector<std::string>& arguments,
              std::string* text = nullptr) {
  std::string error;
  g_autoptr(FlValue) request = korvane_peer_tool::BuildRequest(
      *FindBridgeMethod(method), arguments, &error);
  EXPECT_NE(request, nullptr) << error;
  for (size_t i = 0; text != nullptr && i < fl_value_get_length(request); i++) {
    *text += " " + DescribeValue(fl_value_get_list_value(request, i));
  }
  return arguments.empty() ? Bytes{} : bridge_testing::Encode(request);
}

class HostApisTest : public ::testing::Test {
 protected:
  // The reply in hex; "" when nothing handles the channel.
  std::string CallHex(const std::string& method,
                      const Bytes& request,
                      const std::string& suffix = "") {
    auto reply =
        dart_.Call(FindBridgeMethod(method)->channel + suffix, request);
    return reply.has_value() ? ToHex(*reply) : "(none)";
  }

  // Declared first: the messenger releases its user data as it goes.
  RecordingHost host_;
  InProcessDart dart_;
};

TEST_F(HostApisTest, EveryMethodReachesItsSlotAndIsAnswered) {
  host_.Register(dart_.messenger());
  const std::string kTrue = "0c 01 01", kFalse = "0c 01 02", kNull = "0c 01 00";
  // The method and korvane-peer's arguments, and the reply.
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      // Readiness ready, then permission required; "uinput", 2, true, null.
      {{"getDriverHealth"},
       "0c 01 86 0c 05 82 03 00 00 00 00 07 06 75 69 6e 70 75 74 03 02 00 00 "
       "00 01 00"},
      {{"setupOrRepairDriver"},
       "0c 01 86 0c 05 82 03 02 00 00 00 07 06 75 69 6e 70 75 74 03 02 00 00 "
       "00 01 00"},
      {{"mountVirtualController", "player_number=3", "persona=1",
        "device_id=dev", "display_name=Pad", "enable_gyroscope=true"},
       kTrue},
      {{"unmountVirtualController", "player_number=2"}, kTrue},
      {{"unmountVirtualController", "player_number=8589934592"}, kFalse},
      {{"unmountAllControllers"}, kNull},
      {{"pushControllerFrame", "player_number=1", "left_stick_x=-5"}, kNull},
      {{"isUdpPortAllowedInFirewall", "port=26760"}, kTrue},
      {{"ensureUdpPortAllowedInFirewall", "rule_name=rule", "port=26759"},
       kTrue},
      {{"hasDesktopInputPermission"}, kTrue},
      {{"requestDesktopInputPermission"}, kFalse},
      {{"hasScreenRecordingPermission"}, kTrue},
      {{"requestScreenRecordingPermission"}, kTrue},
      {{"triggerDeckAction", "action_id=a", "action_type=3"}, kTrue},
      {{"getSystemTelemetrySnapshot"},
       "0c 01 8c 0c 09 01 02 07 01 74 07 01 61 07 01 62 07 01 73 03 32 00 00 "
       "00 02 03 07 00 00 00"},
      {{"listCapturableWindows"}, "0c 01 0c 00"},
      {{"captureWindowFrame", "window_id=5", "target_width=640",
        "target_height=360", "jpeg_quality=80"},
       kNull},
      {{"injectWindowStylusEvent", "window_id=5", "normalized_u=0.5",
        "normalized_v=0.25", "restore_cursor_on_release=true"},
       kFalse},
  };
  for (const auto& [call, reply] : cases) {
    SCOPED_TRACE(call[0]);
    host_.calls.clear();
    std::string text;
    EXPECT_EQ(CallHex(call[0],
                      Request(call[0], {call.begin() + 1, call.end()}, &text)),
              reply);
    EXPECT_EQ(host_.calls, Calls{call[0] + text});
  }
}

TEST_F(HostApisTest, SuffixesErrorRepliesAndClearingEachApiOnItsOwn) {
  host_.Register(dart_.messenger(), "test");
  const Bytes frame = Request("pushControllerFrame", {"player_number=1"});
  // [code, message or "", details or null].
  host_.frame_response = [] {
    return korvane_bridge_virtual_controller_host_api_push_controller_frame_response_new_error(
        "busy", nullptr, nullptr);
  };
  EXPECT_EQ(CallHex("pushControllerFrame", frame, ".test"),
            "0c 03 07 04 62 75 73 79 07 00 00");
  host_.frame_response = [] {
    g_autoptr(FlValue) details = fl_value_new_int(9);
    return korvane_bridge_virtual_controller_host_api_push_controller_frame_response_new_error(
        "c", "m", details);
  };
  EXPECT_EQ(CallHex("pushControllerFrame", frame, ".test"),
            "0c 03 07 01 63 07 01 6d 03 09 00 00 00");
  EXPECT_EQ(CallHex("pushControllerFrame", frame), "");

  // Clearing one API releases its user data once and leaves the other.
  korvane_bridge_virtual_controller_host_api_clear_method_handlers(
      dart_.messenger(), "test");
  EXPECT_EQ(host_.released, 1);
  EXPECT_EQ(CallHex("getDriverHealth", {}, ".test"), "");
  EXPECT_EQ(CallHex("pushControllerFrame", {}, ".test"), "");
  EXPECT_EQ(CallHex("hasDesktopInputPermission", {}, ".test"), "0c 01 01");
  korvane_bridge_host_system_bridge_api_clear_method_handlers(dart_.messenger(),
                                                              "test");
  EXPECT_EQ(host_.released, 2);
  EXPECT_EQ(CallHex("hasDesktopInputPermission", {}, ".test"), "");
  EXPECT_EQ(host_.calls.size(), 3u);
}

TEST_F(HostApisTest, HandlerMayAnswerLaterExactlyOnce) {
  host_.Register(dart_.messenger());
  host_.defer = true;
  auto reply = dart_.Send(FindBridgeMethod("unmountVirtualController")->channel,
                          FromHex("0c 01 03 02 00 00 00"));
  InProcessDart::Drain();
  ASSERT_EQ(host_.deferred.size(), 1u);
  EXPECT_FALSE(reply->answered);
  auto* handle =
      reinterpret_cast<KorvaneBridgeVirtualControllerHostApiResponseHandle*>(
          host_.deferred[0]);

  korvane_bridge_virtual_controller_host_api_respond_unmount_virtual_controller(
      handle, TRUE);
  ASSERT_TRUE(InProcessDart::RunUntil([&] { return reply->answered; }));
  EXPECT_EQ(ToHex(reply->bytes), "0c 01 01");

  // A second answer is refused with the send warning; the Dart side got one.
  LogCapture log;
  korvane_bridge_virtual_controller_host_api_respond_unmount_virtual_controller(
      handle, FALSE);
  EXPECT_EQ(log.Messages(G_LOG_LEVEL_WARNING),
            Calls{"Failed to send response to "
                  "VirtualControllerHostApi.unmountVirtualController: "
                  "already responded"});
}

TEST_F(HostApisTest, MalformedArgumentsGetAnErrorReplyNamingTheMethod) {
  host_.Register(dart_.messenger());
  const std::pair<const char*, Bytes> cases[] = {
      {"mountVirtualController", {}},
      {"mountVirtualController", FromHex("0c 00")},
      // A rumble event where the mount request belongs.
      {"mountVirtualController",
       FromHex("0c 01 89 0c 03 03 01 00 00 00 03 02 00 00 00 03 03 00 00 00")},
      // ["2"], and 2 not in a list.
      {"unmountVirtualController", FromHex("0c 01 07 01 32")},
      {"unmountVirtualController", FromHex("03 02 00 00 00")},
      {"pushControllerFrame", FromHex("0c 01 00")},
      // ["rule"], and [1, 2].
      {"ensureUdpPortAllowedInFirewall", FromHex("0c 01 07 04 72 75 6c 65")},
      {"ensureUdpPortAllowedInFirewall",
       FromHex("0c 02 03 01 00 00 00 03 02 00 00 00")},
      // A touch mode where the capture config belongs.
      {"captureWindowFrame", FromHex("0c 01 84 03 01 00 00 00")},
  };
  for (const auto& [method, request] : cases) {
    SCOPED_TRACE(method);
    const std::string channel = FindBridgeMethod(method)->channel;
    g_autoptr(FlValue) envelope =
        bridge_testing::Decode(dart_.Call(channel, request).value_or(Bytes{}));
    ASSERT_NE(envelope, nullptr);
    // [code, message naming the channel's last two parts, null].
    EXPECT_EQ(
        DescribeValue(envelope),
        "invalid-arguments\nInvalid arguments for " +
            channel.substr(channel.rfind('.', channel.rfind('.') - 1) + 1) +
            "\nnull");
  }
  EXPECT_TRUE(host_.calls.empty()) << "no slot saw a malformed request";
}

}  // namespace
