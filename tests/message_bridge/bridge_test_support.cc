#include "bridge_test_support.h"

namespace bridge_testing {

namespace {

FlMessageCodec* NewCodec() {
  return FL_MESSAGE_CODEC(
      g_object_new(korvane_bridge_message_codec_get_type(), nullptr));
}

using ControllerHandle = KorvaneBridgeVirtualControllerHostApiResponseHandle;
using SystemHandle = KorvaneBridgeHostSystemBridgeApiResponseHandle;

RecordingHost* HostOf(gpointer data) {
  return static_cast<RecordingHost*>(data);
}

// Records "method Record(...)"; true when the slot should answer now.
template <typename Record>
bool RecordCall(gpointer data,
                const char* method,
                Record* record,
                gchar* (*to_string)(Record*),
                gpointer handle) {
  g_autofree gchar* text = to_string(record);
  return HostOf(data)->Record(std::string(method) + " " + text, handle);
}

void AnswerHealth(const char* method,
                  KorvaneBridgeNativeDriverReadiness readiness,
                  void (*respond)(ControllerHandle*,
                                  KorvaneBridgeNativeDriverHealth*),
                  ControllerHandle* handle,
                  gpointer data) {
  if (HostOf(data)->Record(method, handle)) {
    g_autoptr(KorvaneBridgeNativeDriverHealth) health =
        korvane_bridge_native_driver_health_new(readiness, "uinput", 2, TRUE,
                                                nullptr);
    respond(handle, health);
  }
}

#define CONTROLLER(method) \
  korvane_bridge_virtual_controller_host_api_respond_##method
#define SYSTEM(method) korvane_bridge_host_system_bridge_api_respond_##method

// A slot without arguments that answers `answer`.
#define BOOL_SLOT(name, method, answer)                \
  [](SystemHandle* handle, gpointer data) {            \
    if (HostOf(data)->Record(name, handle)) {          \
      SYSTEM(method)(handle, answer);                  \
    }                                                  \
  }

}  // namespace

const ControllerSlots RecordingHost::kControllerSlots = {
    [](ControllerHandle* handle, gpointer data) {
      AnswerHealth("getDriverHealth",
                   KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY,
                   CONTROLLER(get_driver_health), handle, data);
    },
    [](ControllerHandle* handle, gpointer data) {
      AnswerHealth("setupOrRepairDriver",
                   KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_PERMISSION_REQUIRED,
                   CONTROLLER(setup_or_repair_driver), handle, data);
    },
    [](KorvaneBridgeVirtualControllerMountRequest* request,
       ControllerHandle* handle, gpointer data) {
      if (RecordCall(data, "mountVirtualController", request,
                     korvane_bridge_virtual_controller_mount_request_to_string,
                     handle)) {
        CONTROLLER(mount_virtual_controller)(handle, TRUE);
      }
    },
    [](int64_t player, ControllerHandle* handle, gpointer data) {
      if (HostOf(data)->Record(
              "unmountVirtualController " + std::to_string(player), handle)) {
        CONTROLLER(unmount_virtual_controller)(handle, player == 2);
      }
    },
    [](ControllerHandle* handle, gpointer data) {
      if (HostOf(data)->Record("unmountAllControllers", handle)) {
        CONTROLLER(unmount_all_controllers)(handle);
      }
    },
    [](KorvaneBridgeVirtualControllerFrame* frame, gpointer data) {
      RecordingHost* host = HostOf(data);
      g_autofree gchar* text =
          korvane_bridge_virtual_controller_frame_to_string(frame);
      host->calls.push_back(std::string("pushControllerFrame ") + text);
      return host->frame_response();
    },
};

const SystemSlots RecordingHost::kSystemSlots = {
    [](int64_t port, SystemHandle* handle, gpointer data) {
      if (HostOf(data)->Record(
              "isUdpPortAllowedInFirewall " + std::to_string(port), handle)) {
        SYSTEM(is_udp_port_allowed_in_firewall)(handle, port == 26760);
      }
    },
    [](const gchar* rule, int64_t port, SystemHandle* handle, gpointer data) {
      if (HostOf(data)->Record(std::string("ensureUdpPortAllowedInFirewall ") +
                                   rule + " " + std::to_string(port),
                               handle)) {
        SYSTEM(ensure_udp_port_allowed_in_firewall)(handle, TRUE);
      }
    },
    BOOL_SLOT("hasDesktopInputPermission", has_desktop_input_permission, TRUE),
    BOOL_SLOT("requestDesktopInputPermission",
              request_desktop_input_permission, FALSE),
    BOOL_SLOT("hasScreenRecordingPermission", has_screen_recording_permission,
              TRUE),
    BOOL_SLOT("requestScreenRecordingPermission",
              request_screen_recording_permission, TRUE),
    [](KorvaneBridgeNativeDeckActionRequest* request, SystemHandle* handle,
       gpointer data) {
      if (RecordCall(data, "triggerDeckAction", request,
                     korvane_bridge_native_deck_action_request_to_string,
                     handle)) {
        SYSTEM(trigger_deck_action)(handle, TRUE);
      }
    },
    [](SystemHandle* handle, gpointer data) {
      if (HostOf(data)->Record("getSystemTelemetrySnapshot", handle)) {
        g_autoptr(KorvaneBridgeNativeSystemTelemetrySnapshot) snapshot =
            korvane_bridge_native_system_telemetry_snapshot_new(
                TRUE, FALSE, "t", "a", "b", "s", 50, FALSE, 7);
        SYSTEM(get_system_telemetry_snapshot)(handle, snapshot);
      }
    },
    [](SystemHandle* handle, gpointer data) {
      if (HostOf(data)->Record("listCapturableWindows", handle)) {
        g_autoptr(FlValue) windows = fl_value_new_list();
        SYSTEM(list_capturable_windows)(handle, windows);
      }
    },
    [](KorvaneBridgeSecondScreenCaptureConfig* config, SystemHandle* handle,
       gpointer data) {
      if (RecordCall(data, "captureWindowFrame", config,
                     korvane_bridge_second_screen_capture_config_to_string,
                     handle)) {
        SYSTEM(capture_window_frame)(handle, nullptr);
      }
    },
    [](KorvaneBridgeNativeStylusInjectionRequest* request,
       SystemHandle* handle, gpointer data) {
      if (RecordCall(data, "injectWindowStylusEvent", request,
                     korvane_bridge_native_stylus_injection_request_to_string,
                     handle)) {
        SYSTEM(inject_window_stylus_event)(handle, FALSE);
      }
    },
};

RecordingHost::~RecordingHost() {
  for (GObject* handle : deferred) {
    g_object_unref(handle);
  }
}

void RecordingHost::Register(FlBinaryMessenger* messenger,
                             const gchar* suffix,
                             const ControllerSlots* controller,
                             const SystemSlots* system) {
  auto release = [](gpointer data) { HostOf(data)->released++; };
  korvane_bridge_virtual_controller_host_api_set_method_handlers(
      messenger, suffix, controller, this, release);
  korvane_bridge_host_system_bridge_api_set_method_handlers(
      messenger, suffix, system, this, release);
}

bool RecordingHost::Record(std::string call, gpointer handle) {
  calls.push_back(std::move(call));
  if (defer) {
    deferred.push_back(G_OBJECT(g_object_ref(handle)));
  }
  return !defer;
}

std::string ChannelOf(const std::string& method) {
  const std::pair<const KorvaneBridgeMethodDescription*, size_t> tables[] = {
      {korvane_bridge_host_api_methods, korvane_bridge_host_api_method_count},
      {korvane_bridge_flutter_api_methods,
       korvane_bridge_flutter_api_method_count}};
  for (const auto& [methods, count] : tables) {
    for (size_t i = 0; i < count; i++) {
      if (method == methods[i].name) {
        return methods[i].channel;
      }
    }
  }
  g_error("no bridge method %s", method.c_str());
}

Bytes Encode(FlValue* value) {
  g_autoptr(FlMessageCodec) codec = NewCodec();
  g_autoptr(GError) error = nullptr;
  g_autoptr(GBytes) bytes =
      fl_message_codec_encode_message(codec, value, &error);
  g_assert_no_error(error);
  return flutter_testing::ToBytes(bytes);
}

FlValue* Decode(const Bytes& bytes,
                int* error_code,
                std::string* error_message) {
  g_autoptr(FlMessageCodec) codec = NewCodec();
  g_autoptr(GBytes) message = flutter_testing::ToGBytes(bytes);
  g_autoptr(GError) error = nullptr;
  FlValue* value = fl_message_codec_decode_message(codec, message, &error);
  if (value == nullptr) {
    if (error_code != nullptr) {
      *error_code = error->code;
    }
    if (error_message != nullptr) {
      *error_message = error->message;
    }
  }
  return value;
}

FlValue* List(std::initializer_list<FlValue*> values) {
  FlValue* list = fl_value_new_list();
  for (FlValue* value : values) {
    fl_value_append_take(list, value);
  }
  return list;
}

FlValue* RecordValue(int code, gpointer record) {
  return fl_value_new_custom_object(code, G_OBJECT(record));
}

}  // namespace bridge_testing
