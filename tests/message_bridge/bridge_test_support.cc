#include "bridge_test_support.h"

namespace bridge_testing {

namespace {

FlMessageCodec* NewCodec() {
  return FL_MESSAGE_CODEC(
      g_object_new(korvane_bridge_message_codec_get_type(), nullptr));
}

RecordingHost* HostOf(gpointer data) {
  return static_cast<RecordingHost*>(data);
}

// An argument as the slots record it, after a space.
std::string Text(int64_t value) {
  return " " + std::to_string(value);
}
#define TEXT_OF(Record, record)                                          \
  std::string Text(Record* value) {                                      \
    g_autofree gchar* text = korvane_bridge_##record##_to_string(value); \
    return std::string(" ") + text;                                      \
  }
TEXT_OF(KorvaneBridgeVirtualControllerMountRequest,
        virtual_controller_mount_request)
TEXT_OF(KorvaneBridgeVirtualControllerFrame, virtual_controller_frame)
TEXT_OF(KorvaneBridgeNativeDeckActionRequest, native_deck_action_request)
TEXT_OF(KorvaneBridgeSecondScreenCaptureConfig, second_screen_capture_config)
TEXT_OF(KorvaneBridgeNativeStylusInjectionRequest,
        native_stylus_injection_request)
#undef TEXT_OF

KorvaneBridgeNativeDriverHealth* Health(
    KorvaneBridgeNativeDriverReadiness readiness) {
  return korvane_bridge_native_driver_health_new(readiness, "uinput", 2, TRUE,
                                                 nullptr);
}

KorvaneBridgeNativeSystemTelemetrySnapshot* Snapshot() {
  return korvane_bridge_native_system_telemetry_snapshot_new(
      TRUE, FALSE, "t", "a", "b", "s", 50, FALSE, 7);
}

#define CONTROLLER(method) \
  korvane_bridge_virtual_controller_host_api_respond_##method
#define SYSTEM(method) korvane_bridge_host_system_bridge_api_respond_##method

// Slots that record `name` (and `argument`) and, unless the host defers,
// run `answer`.
#define SLOT(name, answer)                    \
  [](auto* handle, gpointer data) {           \
    if (HostOf(data)->Record(name, handle)) { \
      answer;                                 \
    }                                         \
  }
#define ARGUMENT_SLOT(name, answer)                            \
  [](auto argument, auto* handle, gpointer data) {             \
    if (HostOf(data)->Record(name + Text(argument), handle)) { \
      answer;                                                  \
    }                                                          \
  }

const KorvaneBridgeVirtualControllerHostApiVTable kControllerSlots = {
    SLOT("getDriverHealth",
         g_autoptr(KorvaneBridgeNativeDriverHealth) health =
             Health(KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY);
         CONTROLLER(get_driver_health)(handle, health)),
    SLOT("setupOrRepairDriver",
         g_autoptr(KorvaneBridgeNativeDriverHealth) health =
             Health(KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_PERMISSION_REQUIRED);
         CONTROLLER(setup_or_repair_driver)(handle, health)),
    ARGUMENT_SLOT("mountVirtualController",
                  CONTROLLER(mount_virtual_controller)(handle, TRUE)),
    ARGUMENT_SLOT(
        "unmountVirtualController",
        CONTROLLER(unmount_virtual_controller)(handle, argument == 2)),
    SLOT("unmountAllControllers", CONTROLLER(unmount_all_controllers)(handle)),
    [](KorvaneBridgeVirtualControllerFrame* frame, gpointer data) {
      HostOf(data)->calls.push_back("pushControllerFrame" + Text(frame));
      return HostOf(data)->frame_response();
    },
};

const KorvaneBridgeHostSystemBridgeApiVTable kSystemSlots = {
    ARGUMENT_SLOT(
        "isUdpPortAllowedInFirewall",
        SYSTEM(is_udp_port_allowed_in_firewall)(handle, argument == 26760)),
    [](const gchar* rule, int64_t port, auto* handle, gpointer data) {
      if (HostOf(data)->Record(std::string("ensureUdpPortAllowedInFirewall ") +
                                   rule + Text(port),
                               handle)) {
        SYSTEM(ensure_udp_port_allowed_in_firewall)(handle, TRUE);
      }
    },
    SLOT("hasDesktopInputPermission",
         SYSTEM(has_desktop_input_permission)(handle, TRUE)),
    SLOT("requestDesktopInputPermission",
         SYSTEM(request_desktop_input_permission)(handle, FALSE)),
    SLOT("hasScreenRecordingPermission",
         SYSTEM(has_screen_recording_permission)(handle, TRUE)),
    SLOT("requestScreenRecordingPermission",
         SYSTEM(request_screen_recording_permission)(handle, TRUE)),
    ARGUMENT_SLOT("triggerDeckAction",
                  SYSTEM(trigger_deck_action)(handle, TRUE)),
    SLOT("getSystemTelemetrySnapshot",
         g_autoptr(KorvaneBridgeNativeSystemTelemetrySnapshot) snapshot =
             Snapshot();
         SYSTEM(get_system_telemetry_snapshot)(handle, snapshot)),
    SLOT("listCapturableWindows",
         g_autoptr(FlValue) windows = fl_value_new_list();
         SYSTEM(list_capturable_windows)(handle, windows)),
    ARGUMENT_SLOT("captureWindowFrame",
                  SYSTEM(capture_window_frame)(handle, nullptr)),
    ARGUMENT_SLOT("injectWindowStylusEvent",
                  SYSTEM(inject_window_stylus_event)(handle, FALSE)),
};

}  // namespace

RecordingHost::~RecordingHost() {
  for (GObject* handle : deferred) {
    g_object_unref(handle);
  }
}

void RecordingHost::Register(FlBinaryMessenger* messenger,
                             const gchar* suffix) {
  auto release = [](gpointer data) { HostOf(data)->released++; };
  korvane_bridge_virtual_controller_host_api_set_method_handlers(
      messenger, suffix, &kControllerSlots, this, release);
  korvane_bridge_host_system_bridge_api_set_method_handlers(
      messenger, suffix, &kSystemSlots, this, release);
}

bool RecordingHost::Record(std::string call, gpointer handle) {
  calls.push_back(std::move(call));
  if (defer) {
    deferred.push_back(G_OBJECT(g_object_ref(handle)));
  }
  return !defer;
}

Bytes Encode(FlValue* value) {
  g_autoptr(FlMessageCodec) codec = NewCodec();
  return flutter_testing::EncodeMessage(codec, value);
}

FlValue* Decode(const Bytes& bytes, GError** error) {
  g_autoptr(FlMessageCodec) codec = NewCodec();
  return flutter_testing::DecodeMessage(codec, bytes, error);
}

FlValue* RecordValue(int code, gpointer record) {
  return fl_value_new_custom_object(code, G_OBJECT(record));
}

}  // namespace bridge_testing
