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
using bridge_testing::Encode;
using bridge_testing::List;
using bridge_testing::RecordingHost;
using bridge_testing::RecordValue;
using flutter_testing::FromHex;
using flutter_testing::InProcessDart;
using flutter_testing::LogCapture;
using flutter_testing::ToHex;
using korvane_peer_tool::DescribeValue;
using korvane_peer_tool::FindBridgeMethod;

using Calls = std::vector<std::string>;

// [frame] for player 1 with the left stick at -5, and the frame as text.
Bytes FrameRequest(std::string* text = nullptr) {
  g_autoptr(KorvaneBridgeVirtualControllerFrame) frame =
      korvane_bridge_virtual_controller_frame_new(
          1, 0, 0, FALSE, FALSE, -5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, FALSE,
          0, 0, 0, FALSE, 0, 0, 0);
  g_autoptr(FlValue) request = List({RecordValue(136, frame)});
  if (text != nullptr) {
    *text = " " + DescribeValue(fl_value_get_list_value(request, 0));
  }
  return Encode(request);
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
  std::string frame;
  const Bytes frame_request = FrameRequest(&frame);
  const std::string kTrue = "0c 01 01", kFalse = "0c 01 02", kNull = "0c 01 00";
  const struct {
    const char* method;
    Bytes request;  // no bytes at all stand for a null message
    std::string arguments;
    std::string reply;
  } cases[] = {
      // Readiness ready, then permission required; "uinput", 2, true, null.
      {"getDriverHealth",
       {},
       "",
       "0c 01 86 0c 05 82 03 00 00 00 00 07 06 75 69 6e 70 75 74 03 02 00 00 "
       "00 01 00"},
      {"setupOrRepairDriver", FromHex("00"), "",
       "0c 01 86 0c 05 82 03 02 00 00 00 07 06 75 69 6e 70 75 74 03 02 00 00 "
       "00 01 00"},
      {"mountVirtualController",
       FromHex("0c 01 87 0c 06 03 03 00 00 00 81 03 01 00 00 00 07 03 64 65 76 "
               "07 03 50 61 64 01 02"),
       " VirtualControllerMountRequest(player_number: 3, persona: 1, "
       "device_id: \"dev\", display_name: \"Pad\", enable_gyroscope: true, "
       "enable_rumble: false)",
       kTrue},
      {"unmountVirtualController", FromHex("0c 01 03 02 00 00 00"), " 2",
       kTrue},
      {"unmountVirtualController", FromHex("0c 01 04 00 00 00 00 02 00 00 00"),
       " 8589934592", kFalse},
      {"unmountAllControllers", {}, "", kNull},
      {"pushControllerFrame", frame_request, frame, kNull},
      {"isUdpPortAllowedInFirewall", FromHex("0c 01 03 88 68 00 00"), " 26760",
       kTrue},
      {"ensureUdpPortAllowedInFirewall",
       FromHex("0c 02 07 04 72 75 6c 65 03 87 68 00 00"), " rule 26759", kTrue},
      {"hasDesktopInputPermission", {}, "", kTrue},
      {"requestDesktopInputPermission", {}, "", kFalse},
      {"hasScreenRecordingPermission", {}, "", kTrue},
      {"requestScreenRecordingPermission", {}, "", kTrue},
      {"triggerDeckAction",
       FromHex("0c 01 8b 0c 07 07 01 61 83 03 03 00 00 00 00 02 02 02 02"),
       " NativeDeckActionRequest(action_id: \"a\", action_type: 3, "
       "custom_key_code: null, ctrl_modifier: false, alt_modifier: false, "
       "shift_modifier: false, meta_modifier: false)",
       kTrue},
      {"getSystemTelemetrySnapshot",
       {},
       "",
       "0c 01 8c 0c 09 01 02 07 01 74 07 01 61 07 01 62 07 01 73 03 32 00 00 "
       "00 02 03 07 00 00 00"},
      {"listCapturableWindows", {}, "", "0c 01 0c 00"},
      {"captureWindowFrame",
       FromHex("0c 01 8e 0c 05 03 05 00 00 00 03 80 02 00 00 03 68 01 00 00 03 "
               "50 00 00 00 03 00 00 00 00"),
       " SecondScreenCaptureConfig(window_id: 5, target_width: 640, "
       "target_height: 360, jpeg_quality: 80, previous_frame_hash: 0)",
       kNull},
      {"injectWindowStylusEvent",
       FromHex("0c 01 90 0c 05 03 05 00 00 00 06 00 00 00 00 00 00 00 00 00 00 "
               "00 e0 3f 06 00 00 00 00 00 00 00 00 00 00 00 00 00 d0 3f 85 03 "
               "00 00 00 00 01"),
       " NativeStylusInjectionRequest(window_id: 5, normalized_u: 0.5, "
       "normalized_v: 0.25, phase: 0, restore_cursor_on_release: true)",
       kFalse},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method);
    host_.calls.clear();
    EXPECT_EQ(CallHex(c.method, c.request), c.reply);
    EXPECT_EQ(host_.calls, Calls{c.method + c.arguments});
  }
}

TEST_F(HostApisTest, SuffixesErrorRepliesAndClearingEachApiOnItsOwn) {
  host_.Register(dart_.messenger(), "test");
  // [code, message or "", details or null].
  host_.frame_response = [] {
    return korvane_bridge_virtual_controller_host_api_push_controller_frame_response_new_error(
        "busy", nullptr, nullptr);
  };
  EXPECT_EQ(CallHex("pushControllerFrame", FrameRequest(), ".test"),
            "0c 03 07 04 62 75 73 79 07 00 00");
  host_.frame_response = [] {
    g_autoptr(FlValue) details = fl_value_new_int(9);
    return korvane_bridge_virtual_controller_host_api_push_controller_frame_response_new_error(
        "c", "m", details);
  };
  EXPECT_EQ(CallHex("pushControllerFrame", FrameRequest(), ".test"),
            "0c 03 07 01 63 07 01 6d 03 09 00 00 00");
  EXPECT_EQ(CallHex("pushControllerFrame", FrameRequest()), "");

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
