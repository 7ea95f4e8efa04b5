#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "bridge_test_support.h"
#include "in_process_dart.h"
#include "log_capture.h"

namespace {

using bridge_testing::Bytes;
using bridge_testing::Encode;
using bridge_testing::List;
using bridge_testing::RecordValue;
using flutter_testing::FromHex;
using flutter_testing::InProcessDart;
using flutter_testing::LogCapture;
using flutter_testing::ToHex;

std::string Channel(const std::string& api, const std::string& method) {
  return "dev.flutter.pigeon.korvane_desktop." + api + "." + method;
}

std::string Controller(const std::string& method) {
  return Channel("VirtualControllerHostApi", method);
}

std::string System(const std::string& method) {
  return Channel("HostSystemBridgeApi", method);
}

// What the slots saw, and how to answer.
struct Host {
  std::vector<std::string> calls;
  int released = 0;
  // When set, slots keep their handle here instead of answering.
  bool defer = false;
  std::vector<GObject*> deferred;
  // The push-frame slot's answer; nullptr to return none.
  std::function<KorvaneBridgeVirtualControllerHostApiPushControllerFrameResponse*()>
      frame_response = [] {
        return korvane_bridge_virtual_controller_host_api_push_controller_frame_response_new();
      };

  static Host* From(gpointer user_data) { return static_cast<Host*>(user_data); }

  // Records the call; true when the slot should answer now.
  bool Record(const std::string& call, gpointer handle) {
    calls.push_back(call);
    if (defer) {
      deferred.push_back(G_OBJECT(g_object_ref(handle)));
    }
    return !defer;
  }
};

KorvaneBridgeNativeDriverHealth* Health(KorvaneBridgeNativeDriverReadiness readiness) {
  return korvane_bridge_native_driver_health_new(readiness, "uinput", 2, TRUE, nullptr);
}

const KorvaneBridgeVirtualControllerHostApiVTable kControllerSlots = {
    [](KorvaneBridgeVirtualControllerHostApiResponseHandle* handle, gpointer data) {
      if (Host::From(data)->Record("getDriverHealth", handle)) {
        g_autoptr(KorvaneBridgeNativeDriverHealth) health =
            Health(KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY);
        korvane_bridge_virtual_controller_host_api_respond_get_driver_health(handle, health);
      }
    },
    [](KorvaneBridgeVirtualControllerHostApiResponseHandle* handle, gpointer data) {
      if (Host::From(data)->Record("setupOrRepairDriver", handle)) {
        g_autoptr(KorvaneBridgeNativeDriverHealth) health =
            Health(KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_PERMISSION_REQUIRED);
        korvane_bridge_virtual_controller_host_api_respond_setup_or_repair_driver(handle,
                                                                                 health);
      }
    },
    [](KorvaneBridgeVirtualControllerMountRequest* request,
       KorvaneBridgeVirtualControllerHostApiResponseHandle* handle, gpointer data) {
      g_autofree gchar* text = korvane_bridge_virtual_controller_mount_request_to_string(request);
      if (Host::From(data)->Record(text, handle)) {
        korvane_bridge_virtual_controller_host_api_respond_mount_virtual_controller(handle, TRUE);
      }
    },
    [](int64_t player, KorvaneBridgeVirtualControllerHostApiResponseHandle* handle,
       gpointer data) {
      if (Host::From(data)->Record("unmount " + std::to_string(player), handle)) {
        korvane_bridge_virtual_controller_host_api_respond_unmount_virtual_controller(
            handle, player == 2);
      }
    },
    [](KorvaneBridgeVirtualControllerHostApiResponseHandle* handle, gpointer data) {
      if (Host::From(data)->Record("unmountAllControllers", handle)) {
        korvane_bridge_virtual_controller_host_api_respond_unmount_all_controllers(handle);
      }
    },
    [](KorvaneBridgeVirtualControllerFrame* frame, gpointer data)
        -> KorvaneBridgeVirtualControllerHostApiPushControllerFrameResponse* {
      Host* host = Host::From(data);
      host->calls.push_back(
          "frame " + std::to_string(korvane_bridge_virtual_controller_frame_get_player_number(frame)) +
          " " + std::to_string(korvane_bridge_virtual_controller_frame_get_left_stick_x(frame)));
      return host->frame_response();
    },
};

#define BOOL_SLOT(name, method, result)                                          \
  [](KorvaneBridgeHostSystemBridgeApiResponseHandle* handle, gpointer data) {    \
    if (Host::From(data)->Record(name, handle)) {                                \
      korvane_bridge_host_system_bridge_api_respond_##method(handle, result);   \
    }                                                                            \
  }

const KorvaneBridgeHostSystemBridgeApiVTable kSystemSlots = {
    [](int64_t port, KorvaneBridgeHostSystemBridgeApiResponseHandle* handle, gpointer data) {
      if (Host::From(data)->Record("isUdpPortAllowed " + std::to_string(port), handle)) {
        korvane_bridge_host_system_bridge_api_respond_is_udp_port_allowed_in_firewall(
            handle, port == 26760);
      }
    },
    [](const gchar* rule, int64_t port, KorvaneBridgeHostSystemBridgeApiResponseHandle* handle,
       gpointer data) {
      if (Host::From(data)->Record(std::string("ensureUdpPortAllowed ") + rule + " " +
                                       std::to_string(port),
                                   handle)) {
        korvane_bridge_host_system_bridge_api_respond_ensure_udp_port_allowed_in_firewall(
            handle, TRUE);
      }
    },
    BOOL_SLOT("hasDesktopInputPermission", has_desktop_input_permission, TRUE),
    BOOL_SLOT("requestDesktopInputPermission", request_desktop_input_permission, FALSE),
    BOOL_SLOT("hasScreenRecordingPermission", has_screen_recording_permission, TRUE),
    BOOL_SLOT("requestScreenRecordingPermission", request_screen_recording_permission, TRUE),
    [](KorvaneBridgeNativeDeckActionRequest* request,
       KorvaneBridgeHostSystemBridgeApiResponseHandle* handle, gpointer data) {
      g_autofree gchar* text = korvane_bridge_native_deck_action_request_to_string(request);
      if (Host::From(data)->Record(text, handle)) {
        korvane_bridge_host_system_bridge_api_respond_trigger_deck_action(handle, TRUE);
      }
    },
    [](KorvaneBridgeHostSystemBridgeApiResponseHandle* handle, gpointer data) {
      if (Host::From(data)->Record("getSystemTelemetrySnapshot", handle)) {
        g_autoptr(KorvaneBridgeNativeSystemTelemetrySnapshot) snapshot =
            korvane_bridge_native_system_telemetry_snapshot_new(TRUE, TRUE, "t", "a", "b",
                                                                "s", 50, FALSE, 7);
        korvane_bridge_host_system_bridge_api_respond_get_system_telemetry_snapshot(handle,
                                                                                   snapshot);
      }
    },
    [](KorvaneBridgeHostSystemBridgeApiResponseHandle* handle, gpointer data) {
      if (Host::From(data)->Record("listCapturableWindows", handle)) {
        g_autoptr(FlValue) windows = fl_value_new_list();
        korvane_bridge_host_system_bridge_api_respond_list_capturable_windows(handle, windows);
      }
    },
    [](KorvaneBridgeSecondScreenCaptureConfig* config,
       KorvaneBridgeHostSystemBridgeApiResponseHandle* handle, gpointer data) {
      g_autofree gchar* text = korvane_bridge_second_screen_capture_config_to_string(config);
      if (Host::From(data)->Record(text, handle)) {
        korvane_bridge_host_system_bridge_api_respond_capture_window_frame(handle, nullptr);
      }
    },
    [](KorvaneBridgeNativeStylusInjectionRequest* request,
       KorvaneBridgeHostSystemBridgeApiResponseHandle* handle, gpointer data) {
      g_autofree gchar* text = korvane_bridge_native_stylus_injection_request_to_string(request);
      if (Host::From(data)->Record(text, handle)) {
        korvane_bridge_host_system_bridge_api_respond_inject_window_stylus_event(handle, FALSE);
      }
    },
};

class HostApisTest : public ::testing::Test {
 protected:
  void Register(const KorvaneBridgeVirtualControllerHostApiVTable* controller = &kControllerSlots,
                const KorvaneBridgeHostSystemBridgeApiVTable* system = &kSystemSlots,
                const gchar* suffix = nullptr) {
    auto release = [](gpointer data) { Host::From(data)->released++; };
    korvane_bridge_virtual_controller_host_api_set_method_handlers(dart_.messenger(), suffix,
                                                                   controller, &host_, release);
    korvane_bridge_host_system_bridge_api_set_method_handlers(dart_.messenger(), suffix, system,
                                                              &host_, release);
  }

  // Sends `request` and returns the reply in hex; "(none)" when unanswered.
  std::string CallHex(const std::string& channel, FlValue* request) {
    auto reply = dart_.Call(channel, request != nullptr ? Encode(request) : Bytes(),
                            std::chrono::milliseconds(500));
    return reply.has_value() ? ToHex(*reply) : "(none)";
  }

  void TearDown() override {
    for (GObject* handle : host_.deferred) {
      g_object_unref(handle);
    }
  }

  InProcessDart dart_;
  Host host_;
};

std::string Hex(FlValue* value) {
  g_autoptr(FlValue) owned = value;
  return ToHex(Encode(owned));
}

TEST_F(HostApisTest, EveryMethodReachesItsSlotAndIsAnswered) {
  Register();
  g_autoptr(KorvaneBridgeVirtualControllerMountRequest) mount =
      korvane_bridge_virtual_controller_mount_request_new(
          3, KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_XBOX_360_PAD, "dev", "Pad", TRUE, FALSE);
  g_autoptr(KorvaneBridgeNativeDeckActionRequest) deck =
      korvane_bridge_native_deck_action_request_new(
          "a", KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_UP, nullptr, FALSE, FALSE, FALSE,
          FALSE);
  g_autoptr(KorvaneBridgeSecondScreenCaptureConfig) capture =
      korvane_bridge_second_screen_capture_config_new(5, 640, 360, 80, 0);
  g_autoptr(KorvaneBridgeNativeStylusInjectionRequest) stylus =
      korvane_bridge_native_stylus_injection_request_new(5, 0.5, 0.25,
                                                         KORVANE_BRIDGE_STYLUS_PHASE_DOWN, TRUE);
  g_autoptr(KorvaneBridgeNativeDriverHealth) ready =
      Health(KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY);
  g_autoptr(KorvaneBridgeNativeDriverHealth) permission =
      Health(KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_PERMISSION_REQUIRED);
  g_autoptr(KorvaneBridgeNativeSystemTelemetrySnapshot) snapshot =
      korvane_bridge_native_system_telemetry_snapshot_new(TRUE, TRUE, "t", "a", "b", "s", 50,
                                                          FALSE, 7);
  g_autofree gchar* mount_text = korvane_bridge_virtual_controller_mount_request_to_string(mount);
  g_autofree gchar* deck_text = korvane_bridge_native_deck_action_request_to_string(deck);
  g_autofree gchar* capture_text =
      korvane_bridge_second_screen_capture_config_to_string(capture);
  g_autofree gchar* stylus_text = korvane_bridge_native_stylus_injection_request_to_string(stylus);

  struct Case {
    std::string channel;
    FlValue* request;  // taken; nullptr sends no bytes at all
    std::string call;
    std::string reply;
  } cases[] = {
      {Controller("getDriverHealth"), nullptr, "getDriverHealth",
       Hex(List({RecordValue(134, ready)}))},
      {Controller("setupOrRepairDriver"), fl_value_new_null(), "setupOrRepairDriver",
       Hex(List({RecordValue(134, permission)}))},
      {Controller("mountVirtualController"), List({RecordValue(135, mount)}), mount_text,
       "0c 01 01"},
      {Controller("unmountVirtualController"), List({fl_value_new_int(2)}), "unmount 2",
       "0c 01 01"},
      {Controller("unmountVirtualController"), List({fl_value_new_int(INT64_C(1) << 33)}),
       "unmount 8589934592", "0c 01 02"},
      {Controller("unmountAllControllers"), nullptr, "unmountAllControllers", "0c 01 00"},
      {System("isUdpPortAllowedInFirewall"), List({fl_value_new_int(26760)}),
       "isUdpPortAllowed 26760", "0c 01 01"},
      {System("ensureUdpPortAllowedInFirewall"),
       List({fl_value_new_string("rule"), fl_value_new_int(26759)}),
       "ensureUdpPortAllowed rule 26759", "0c 01 01"},
      {System("hasDesktopInputPermission"), nullptr, "hasDesktopInputPermission", "0c 01 01"},
      {System("requestDesktopInputPermission"), nullptr, "requestDesktopInputPermission",
       "0c 01 02"},
      {System("hasScreenRecordingPermission"), nullptr, "hasScreenRecordingPermission",
       "0c 01 01"},
      {System("requestScreenRecordingPermission"), nullptr, "requestScreenRecordingPermission",
       "0c 01 01"},
      {System("triggerDeckAction"), List({RecordValue(139, deck)}), deck_text, "0c 01 01"},
      {System("getSystemTelemetrySnapshot"), nullptr, "getSystemTelemetrySnapshot",
       Hex(List({RecordValue(140, snapshot)}))},
      {System("listCapturableWindows"), nullptr, "listCapturableWindows", "0c 01 0c 00"},
      {System("captureWindowFrame"), List({RecordValue(142, capture)}), capture_text,
       "0c 01 00"},
      {System("injectWindowStylusEvent"), List({RecordValue(144, stylus)}), stylus_text,
       "0c 01 02"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.channel);
    host_.calls.clear();
    g_autoptr(FlValue) request = c.request;
    EXPECT_EQ(CallHex(c.channel, request), c.reply);
    EXPECT_EQ(host_.calls, std::vector<std::string>{c.call});
  }

  // The one synchronous method: a frame for player 1 with left stick -5.
  g_autoptr(KorvaneBridgeVirtualControllerFrame) frame = korvane_bridge_virtual_controller_frame_new(
      1, 0, 0, FALSE, FALSE, -5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, FALSE, 0, 0, 0, FALSE, 0, 0, 0);
  g_autoptr(FlValue) frame_request = List({RecordValue(136, frame)});
  EXPECT_EQ(ToHex(Encode(frame_request)).substr(0, 14), "0c 01 88 0c 1a");
  host_.calls.clear();
  EXPECT_EQ(CallHex(Controller("pushControllerFrame"), frame_request), "0c 01 00");
  EXPECT_EQ(host_.calls, std::vector<std::string>{"frame 1 -5"});
}

TEST_F(HostApisTest, WireExamples) {
  Register();
  EXPECT_EQ(ToHex(dart_.Call(Controller("unmountVirtualController"),
                             FromHex("0C 01 03 02 00 00 00"))
                      .value_or(Bytes())),
            "0c 01 01");
  EXPECT_EQ(host_.calls, std::vector<std::string>{"unmount 2"});
}

TEST_F(HostApisTest, ErrorRepliesAndSuffixes) {
  KorvaneBridgeVirtualControllerHostApiVTable controller = {};
  controller.get_driver_health = [](KorvaneBridgeVirtualControllerHostApiResponseHandle* handle,
                                    gpointer) {
    korvane_bridge_virtual_controller_host_api_respond_error_get_driver_health(handle, "busy",
                                                                              nullptr, nullptr);
  };
  controller.unmount_all_controllers =
      [](KorvaneBridgeVirtualControllerHostApiResponseHandle* handle, gpointer) {
        g_autoptr(FlValue) details = fl_value_new_int(9);
        korvane_bridge_virtual_controller_host_api_respond_error_unmount_all_controllers(
            handle, "c", "m", details);
      };
  Register(&controller, &kSystemSlots, "test");

  // [code, "", null] when the message and details are absent.
  EXPECT_EQ(CallHex(Controller("getDriverHealth.test"), nullptr),
            "0c 03 07 04 62 75 73 79 07 00 00");
  EXPECT_EQ(CallHex(Controller("unmountAllControllers.test"), nullptr),
            "0c 03 07 01 63 07 01 6d 03 09 00 00 00");
  // Without the suffix nothing is registered.
  EXPECT_EQ(CallHex(Controller("getDriverHealth"), nullptr), "");
}

TEST_F(HostApisTest, EmptySlotLeavesOnlyThatMethodUnanswered) {
  KorvaneBridgeVirtualControllerHostApiVTable controller = kControllerSlots;
  controller.unmount_all_controllers = nullptr;
  Register(&controller);

  LogCapture log;  // the stand-in engine reports the dropped reply
  EXPECT_EQ(CallHex(Controller("unmountAllControllers"), nullptr), "(none)");
  EXPECT_EQ(CallHex(Controller("getDriverHealth"), nullptr).substr(0, 8), "0c 01 86");
  EXPECT_TRUE(log.Messages(G_LOG_LEVEL_WARNING).empty());
}

TEST_F(HostApisTest, ClearingRemovesEveryChannelAndReleasesUserDataOnce) {
  Register();
  korvane_bridge_virtual_controller_host_api_clear_method_handlers(dart_.messenger(), nullptr);
  EXPECT_EQ(host_.released, 1);
  EXPECT_EQ(CallHex(Controller("getDriverHealth"), nullptr), "");
  EXPECT_EQ(CallHex(Controller("pushControllerFrame"), nullptr), "");
  // The other API is untouched.
  EXPECT_EQ(CallHex(System("hasDesktopInputPermission"), nullptr), "0c 01 01");

  korvane_bridge_host_system_bridge_api_clear_method_handlers(dart_.messenger(), nullptr);
  EXPECT_EQ(host_.released, 2);
  EXPECT_EQ(CallHex(System("hasDesktopInputPermission"), nullptr), "");
  EXPECT_TRUE(host_.calls.size() == 1);
}

TEST_F(HostApisTest, HandlerMayAnswerLaterExactlyOnce) {
  Register();
  host_.defer = true;
  auto reply = dart_.Send(Controller("unmountVirtualController"), FromHex("0c 01 03 02 00 00 00"));
  InProcessDart::Drain();
  ASSERT_EQ(host_.deferred.size(), 1u);
  EXPECT_FALSE(reply->answered);

  // Answer from an idle callback, long after the channel callback returned.
  g_idle_add(
      [](gpointer data) -> gboolean {
        auto* handle =
            reinterpret_cast<KorvaneBridgeVirtualControllerHostApiResponseHandle*>(data);
        korvane_bridge_virtual_controller_host_api_respond_unmount_virtual_controller(handle,
                                                                                     TRUE);
        return G_SOURCE_REMOVE;
      },
      host_.deferred[0]);
  ASSERT_TRUE(InProcessDart::RunUntil([&] { return reply->answered; }));
  EXPECT_EQ(ToHex(reply->bytes), "0c 01 01");

  // A second answer is refused with the send warning; the Dart side got one.
  LogCapture log;
  korvane_bridge_virtual_controller_host_api_respond_unmount_virtual_controller(
      reinterpret_cast<KorvaneBridgeVirtualControllerHostApiResponseHandle*>(host_.deferred[0]),
      FALSE);
  EXPECT_EQ(log.Messages(G_LOG_LEVEL_WARNING),
            std::vector<std::string>{"Failed to send response to "
                                     "VirtualControllerHostApi.unmountVirtualController: "
                                     "already responded"});
}

TEST_F(HostApisTest, WarningTexts) {
  Register();
  LogCapture log;

  host_.frame_response = [] {
    return static_cast<KorvaneBridgeVirtualControllerHostApiPushControllerFrameResponse*>(
        nullptr);
  };
  g_autoptr(KorvaneBridgeVirtualControllerFrame) frame = korvane_bridge_virtual_controller_frame_new(
      1, 0, 0, FALSE, FALSE, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, FALSE, 0, 0, 0, FALSE, 0, 0, 0);
  g_autoptr(FlValue) request = List({RecordValue(136, frame)});
  EXPECT_EQ(CallHex(Controller("pushControllerFrame"), request), "(none)");

  // Details that the codec cannot write make the reply unsendable.
  host_.frame_response = [] {
    g_autoptr(FlValue) details = fl_value_new_custom(250, nullptr, nullptr);
    return korvane_bridge_virtual_controller_host_api_push_controller_frame_response_new_error(
        "c", "m", details);
  };
  EXPECT_EQ(CallHex(Controller("pushControllerFrame"), request), "(none)");

  EXPECT_EQ(log.Messages(G_LOG_LEVEL_WARNING),
            (std::vector<std::string>{
                "No response returned to VirtualControllerHostApi.pushControllerFrame",
                "Failed to send response to VirtualControllerHostApi.pushControllerFrame: "
                "Custom value not implemented"}));
}

TEST_F(HostApisTest, MalformedArgumentsGetAnErrorReplyNamingTheMethod) {
  Register();
  g_autoptr(KorvaneBridgeNativeRumbleEvent) rumble =
      korvane_bridge_native_rumble_event_new(1, 2, 3);
  struct Case {
    std::string channel;
    FlValue* request;
  } cases[] = {
      {Controller("mountVirtualController"), nullptr},
      {Controller("mountVirtualController"), fl_value_new_list()},
      {Controller("mountVirtualController"), List({RecordValue(137, rumble)})},
      {Controller("unmountVirtualController"), List({fl_value_new_string("2")})},
      {Controller("unmountVirtualController"), fl_value_new_int(2)},
      {Controller("pushControllerFrame"), List({fl_value_new_null()})},
      {System("ensureUdpPortAllowedInFirewall"), List({fl_value_new_string("rule")})},
      {System("ensureUdpPortAllowedInFirewall"),
       List({fl_value_new_int(1), fl_value_new_int(2)})},
      {System("captureWindowFrame"), List({fl_value_new_custom(132, fl_value_new_int(1),
                                                               [](gpointer v) {
                                                                 fl_value_unref(
                                                                     static_cast<FlValue*>(v));
                                                               })})},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.channel);
    g_autoptr(FlValue) request = c.request;
    auto reply = dart_.Call(c.channel, request != nullptr ? Encode(request) : Bytes());
    ASSERT_TRUE(reply.has_value());
    g_autoptr(FlValue) envelope = bridge_testing::Decode(*reply);
    ASSERT_NE(envelope, nullptr);
    ASSERT_EQ(fl_value_get_length(envelope), 3u);
    EXPECT_STREQ(fl_value_get_string(fl_value_get_list_value(envelope, 0)), "invalid-arguments");
    std::string method = c.channel.substr(c.channel.rfind('.', c.channel.rfind('.') - 1) + 1);
    EXPECT_EQ(fl_value_get_string(fl_value_get_list_value(envelope, 1)),
              "Invalid arguments for " + method);
  }
  EXPECT_TRUE(host_.calls.empty()) << "no slot saw a malformed request";
}

}  // namespace
