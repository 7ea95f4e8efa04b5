// Feeds arbitrary bytes to the bridge codec's decoder, as a request to every
// host-API channel, and as the Dart side's reply to an event. The first byte
// picks the target.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "in_process_dart.h"
#include "pigeon/korvane_native_bridge.g.h"

namespace {

using flutter_testing::Bytes;
using flutter_testing::InProcessDart;

using ControllerHandle = KorvaneBridgeVirtualControllerHostApiResponseHandle;
using SystemHandle = KorvaneBridgeHostSystemBridgeApiResponseHandle;

// Slots that read every argument they get and answer at once.
void AnswerHealth(ControllerHandle* handle, gpointer) {
  g_autoptr(KorvaneBridgeNativeDriverHealth) health =
      korvane_bridge_native_driver_health_new(
          KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY, "uinput", 0, TRUE,
          nullptr);
  korvane_bridge_virtual_controller_host_api_respond_get_driver_health(handle,
                                                                       health);
}

void AnswerBool(SystemHandle* handle, gpointer) {
  korvane_bridge_host_system_bridge_api_respond_has_desktop_input_permission(
      handle, TRUE);
}

const KorvaneBridgeVirtualControllerHostApiVTable kControllerSlots = {
    AnswerHealth,
    AnswerHealth,
    [](KorvaneBridgeVirtualControllerMountRequest* request,
       ControllerHandle* handle,
       gpointer) {
      g_free(
          korvane_bridge_virtual_controller_mount_request_to_string(request));
      korvane_bridge_virtual_controller_host_api_respond_mount_virtual_controller(
          handle, TRUE);
    },
    [](int64_t, ControllerHandle* handle, gpointer) {
      korvane_bridge_virtual_controller_host_api_respond_unmount_virtual_controller(
          handle, TRUE);
    },
    [](ControllerHandle* handle, gpointer) {
      korvane_bridge_virtual_controller_host_api_respond_unmount_all_controllers(
          handle);
    },
    [](KorvaneBridgeVirtualControllerFrame* frame, gpointer) {
      g_free(korvane_bridge_virtual_controller_frame_to_string(frame));
      return korvane_bridge_virtual_controller_host_api_push_controller_frame_response_new();
    },
};

const KorvaneBridgeHostSystemBridgeApiVTable kSystemSlots = {
    [](int64_t, SystemHandle* handle, gpointer data) {
      AnswerBool(handle, data);
    },
    [](const gchar* rule, int64_t, SystemHandle* handle, gpointer data) {
      (void)strlen(rule);
      AnswerBool(handle, data);
    },
    AnswerBool,
    AnswerBool,
    AnswerBool,
    AnswerBool,
    [](KorvaneBridgeNativeDeckActionRequest* request,
       SystemHandle* handle,
       gpointer data) {
      g_free(korvane_bridge_native_deck_action_request_to_string(request));
      AnswerBool(handle, data);
    },
    [](SystemHandle* handle, gpointer) {
      g_autoptr(KorvaneBridgeNativeSystemTelemetrySnapshot) snapshot =
          korvane_bridge_native_system_telemetry_snapshot_new(
              FALSE, FALSE, "", "", "", "", 0, FALSE, 0);
      korvane_bridge_host_system_bridge_api_respond_get_system_telemetry_snapshot(
          handle, snapshot);
    },
    [](SystemHandle* handle, gpointer) {
      g_autoptr(FlValue) windows = fl_value_new_list();
      korvane_bridge_host_system_bridge_api_respond_list_capturable_windows(
          handle, windows);
    },
    [](KorvaneBridgeSecondScreenCaptureConfig* config,
       SystemHandle* handle,
       gpointer) {
      g_free(korvane_bridge_second_screen_capture_config_to_string(config));
      korvane_bridge_host_system_bridge_api_respond_capture_window_frame(
          handle, nullptr);
    },
    [](KorvaneBridgeNativeStylusInjectionRequest* request,
       SystemHandle* handle,
       gpointer data) {
      g_free(korvane_bridge_native_stylus_injection_request_to_string(request));
      AnswerBool(handle, data);
    },
};

// Undecodable requests are logged as warnings, which is expected here; a
// critical means an accessor was misused, which is a fault.
void AbortOnCritical(const gchar*,
                     GLogLevelFlags level,
                     const gchar* message,
                     gpointer) {
  if (level & (G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_ERROR)) {
    fprintf(stderr, "critical: %s\n", message);
    abort();
  }
}

InProcessDart* Dart() {
  static InProcessDart* dart = [] {
    g_log_set_default_handler(AbortOnCritical, nullptr);
    auto* dart = new InProcessDart();
    korvane_bridge_virtual_controller_host_api_set_method_handlers(
        dart->messenger(), nullptr, &kControllerSlots, nullptr, nullptr);
    korvane_bridge_host_system_bridge_api_set_method_handlers(
        dart->messenger(), nullptr, &kSystemSlots, nullptr, nullptr);
    return dart;
  }();
  return dart;
}

constexpr char kEventChannel[] =
    "dev.flutter.pigeon.korvane_desktop.VirtualControllerFlutterApi."
    "onDriverHealthChanged";

// The three events share one reply path; one of them reaches all of it.
void SendEventAnsweredWith(const Bytes& reply) {
  static Bytes next_reply;
  static KorvaneBridgeVirtualControllerFlutterApi* api = [] {
    Dart()->SetHandler(kEventChannel, [](const Bytes&) {
      return std::optional<Bytes>(next_reply);
    });
    return korvane_bridge_virtual_controller_flutter_api_new(
        Dart()->messenger(), nullptr);
  }();
  next_reply = reply;
  g_autoptr(KorvaneBridgeNativeDriverHealth) health =
      korvane_bridge_native_driver_health_new(
          KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY, "uinput", 0, TRUE,
          nullptr);
  bool finished = false;
  korvane_bridge_virtual_controller_flutter_api_on_driver_health_changed(
      api, health, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer finished) {
        g_autoptr(GError) error = nullptr;
        g_autoptr(
            KorvaneBridgeVirtualControllerFlutterApiOnDriverHealthChangedResponse)
            response =
                korvane_bridge_virtual_controller_flutter_api_on_driver_health_changed_finish(
                    KORVANE_BRIDGE_VIRTUAL_CONTROLLER_FLUTTER_API(source),
                    result, &error);
        if (response != nullptr &&
            korvane_bridge_virtual_controller_flutter_api_on_driver_health_changed_response_is_error(
                response)) {
          (void)strlen(
              korvane_bridge_virtual_controller_flutter_api_on_driver_health_changed_response_get_error_code(
                  response));
          (void)strlen(
              korvane_bridge_virtual_controller_flutter_api_on_driver_health_changed_response_get_error_message(
                  response));
          FlValue* details =
              korvane_bridge_virtual_controller_flutter_api_on_driver_health_changed_response_get_error_details(
                  response);
          if (details != nullptr) {
            g_free(fl_value_to_string(details));
          }
        }
        *static_cast<bool*>(finished) = true;
      },
      &finished);
  if (!InProcessDart::RunUntil([&finished] { return finished; })) {
    abort();  // every send must finish
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  Bytes message(data + 1, data + size);
  size_t target = data[0] % (korvane_bridge_host_api_method_count + 2);
  if (target == korvane_bridge_host_api_method_count + 1) {
    SendEventAnsweredWith(message);
    return 0;
  }
  if (target == korvane_bridge_host_api_method_count) {
    g_autoptr(FlMessageCodec) codec = FL_MESSAGE_CODEC(
        g_object_new(korvane_bridge_message_codec_get_type(), nullptr));
    g_autoptr(GBytes) bytes = g_bytes_new(message.data(), message.size());
    g_autoptr(FlValue) value =
        fl_message_codec_decode_message(codec, bytes, nullptr);
    if (value != nullptr) {
      // Whatever decodes must encode again.
      g_autoptr(GError) error = nullptr;
      g_autoptr(GBytes) again =
          fl_message_codec_encode_message(codec, value, &error);
      if (again == nullptr) {
        abort();
      }
    }
    return 0;
  }
  if (!Dart()
           ->Call(korvane_bridge_host_api_methods[target].channel, message)
           .has_value()) {
    abort();  // every request must be answered
  }
  return 0;
}
