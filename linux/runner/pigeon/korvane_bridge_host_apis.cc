#include "korvane_bridge_host_apis.h"

#include "korvane_bridge_codec.h"
#include "korvane_bridge_host_api_channels.h"
#include "korvane_bridge_record_schema.h"

using korvane_bridge_channels::Argument;
using korvane_bridge_channels::ApiDescription;
using korvane_bridge_channels::DecodedArguments;
using korvane_bridge_channels::MethodDescription;
using korvane_bridge_channels::RecordValue;
using namespace korvane_bridge_records;

// --- VirtualControllerHostApi ------------------------------------------------

KORVANE_BRIDGE_DEFINE_HOST_API(VirtualControllerHostApi,
                               virtual_controller_host_api)

KORVANE_BRIDGE_DEFINE_RESPONSE(VirtualControllerHostApiPushControllerFrameResponse,
                               virtual_controller_host_api_push_controller_frame_response)

namespace {

enum ControllerMethod {
  kGetDriverHealth,
  kSetupOrRepairDriver,
  kMountVirtualController,
  kUnmountVirtualController,
  kUnmountAllControllers,
  kPushControllerFrame,
};

using ControllerHandle = KorvaneBridgeVirtualControllerHostApiResponseHandle;
using ControllerVTable = KorvaneBridgeVirtualControllerHostApiVTable;

bool ControllerHasSlot(const void* table, int method) {
  auto* vtable = static_cast<const ControllerVTable*>(table);
  switch (method) {
    case kGetDriverHealth:
      return vtable->get_driver_health != nullptr;
    case kSetupOrRepairDriver:
      return vtable->setup_or_repair_driver != nullptr;
    case kMountVirtualController:
      return vtable->mount_virtual_controller != nullptr;
    case kUnmountVirtualController:
      return vtable->unmount_virtual_controller != nullptr;
    case kUnmountAllControllers:
      return vtable->unmount_all_controllers != nullptr;
    case kPushControllerFrame:
      return vtable->push_controller_frame != nullptr;
  }
  return false;
}

void ControllerCall(const void* table,
                    int method,
                    const DecodedArguments& args,
                    GObject* response_handle,
                    gpointer user_data) {
  auto* vtable = static_cast<const ControllerVTable*>(table);
  auto* handle = reinterpret_cast<ControllerHandle*>(response_handle);
  switch (method) {
    case kGetDriverHealth:
      vtable->get_driver_health(handle, user_data);
      return;
    case kSetupOrRepairDriver:
      vtable->setup_or_repair_driver(handle, user_data);
      return;
    case kMountVirtualController:
      vtable->mount_virtual_controller(
          KORVANE_BRIDGE_VIRTUAL_CONTROLLER_MOUNT_REQUEST(args.record), handle,
          user_data);
      return;
    case kUnmountVirtualController:
      vtable->unmount_virtual_controller(args.integer, handle, user_data);
      return;
    case kUnmountAllControllers:
      vtable->unmount_all_controllers(handle, user_data);
      return;
  }
}

FlValue* ControllerCallSynchronous(const void* table,
                                   int method,
                                   const DecodedArguments& args,
                                   gpointer user_data) {
  auto* vtable = static_cast<const ControllerVTable*>(table);
  if (method != kPushControllerFrame) {
    return nullptr;
  }
  g_autoptr(KorvaneBridgeVirtualControllerHostApiPushControllerFrameResponse)
      response = vtable->push_controller_frame(
          KORVANE_BRIDGE_VIRTUAL_CONTROLLER_FRAME(args.record), user_data);
  return response != nullptr ? fl_value_ref(response->value) : nullptr;
}

const MethodDescription kControllerMethods[] = {
    {"getDriverHealth", Argument::kNone, 0, false, {}, "NativeDriverHealth"},
    {"setupOrRepairDriver", Argument::kNone, 0, false, {},
     "NativeDriverHealth"},
    {"mountVirtualController", Argument::kRecord,
     kVirtualControllerMountRequestCode, false, {}, "bool"},
    {"unmountVirtualController", Argument::kInt, 0, false, {"player_number"},
     "bool"},
    {"unmountAllControllers", Argument::kNone, 0, false, {}, "null"},
    {"pushControllerFrame", Argument::kRecord, kVirtualControllerFrameCode,
     true, {}, "null"},
};

const ApiDescription kControllerApi = {
    "VirtualControllerHostApi",
    kControllerMethods,
    G_N_ELEMENTS(kControllerMethods),
    korvane_bridge_virtual_controller_host_api_get_type,
    korvane_bridge_virtual_controller_host_api_response_handle_get_type,
    ControllerHasSlot,
    ControllerCall,
    ControllerCallSynchronous,
};

}  // namespace

const ApiDescription& korvane_bridge_channels::VirtualControllerHostApiDescription() {
  return kControllerApi;
}

void korvane_bridge_virtual_controller_host_api_set_method_handlers(
    FlBinaryMessenger* messenger,
    const gchar* suffix,
    const KorvaneBridgeVirtualControllerHostApiVTable* vtable,
    gpointer user_data,
    GDestroyNotify user_data_free_func) {
  korvane_bridge_channels::SetMethodHandlers(
      kControllerApi, messenger, suffix, vtable, user_data, user_data_free_func);
}

void korvane_bridge_virtual_controller_host_api_clear_method_handlers(
    FlBinaryMessenger* messenger,
    const gchar* suffix) {
  korvane_bridge_channels::ClearMethodHandlers(kControllerApi, messenger,
                                               suffix);
}

KorvaneBridgeVirtualControllerHostApiPushControllerFrameResponse*
korvane_bridge_virtual_controller_host_api_push_controller_frame_response_new() {
  return korvane_bridge_virtual_controller_host_api_push_controller_frame_response_take(
      korvane_bridge_channels::SuccessEnvelope(nullptr));
}

KorvaneBridgeVirtualControllerHostApiPushControllerFrameResponse*
korvane_bridge_virtual_controller_host_api_push_controller_frame_response_new_error(
    const gchar* code,
    const gchar* message,
    FlValue* details) {
  return korvane_bridge_virtual_controller_host_api_push_controller_frame_response_take(
      korvane_bridge_channels::ErrorEnvelope(code, message, details));
}

#define CONTROLLER_RESPONDERS(Method, method, kMethod, PARAMS, RESULT)        \
  KORVANE_BRIDGE_DEFINE_RESPONDERS(VirtualControllerHostApi,                  \
                                   virtual_controller_host_api, Method,       \
                                   method, kControllerApi, kMethod, PARAMS,   \
                                   RESULT)

CONTROLLER_RESPONDERS(GetDriverHealth,
                      get_driver_health,
                      kGetDriverHealth,
                      (, KorvaneBridgeNativeDriverHealth* return_value),
                      RecordValue(kNativeDriverHealthCode, return_value))
CONTROLLER_RESPONDERS(SetupOrRepairDriver,
                      setup_or_repair_driver,
                      kSetupOrRepairDriver,
                      (, KorvaneBridgeNativeDriverHealth* return_value),
                      RecordValue(kNativeDriverHealthCode, return_value))
CONTROLLER_RESPONDERS(MountVirtualController,
                      mount_virtual_controller,
                      kMountVirtualController,
                      (, gboolean return_value),
                      fl_value_new_bool(return_value))
CONTROLLER_RESPONDERS(UnmountVirtualController,
                      unmount_virtual_controller,
                      kUnmountVirtualController,
                      (, gboolean return_value),
                      fl_value_new_bool(return_value))
CONTROLLER_RESPONDERS(UnmountAllControllers,
                      unmount_all_controllers,
                      kUnmountAllControllers,
                      (),
                      nullptr)

// --- HostSystemBridgeApi -----------------------------------------------------

KORVANE_BRIDGE_DEFINE_HOST_API(HostSystemBridgeApi, host_system_bridge_api)

namespace {

enum SystemMethod {
  kIsUdpPortAllowedInFirewall,
  kEnsureUdpPortAllowedInFirewall,
  kHasDesktopInputPermission,
  kRequestDesktopInputPermission,
  kHasScreenRecordingPermission,
  kRequestScreenRecordingPermission,
  kTriggerDeckAction,
  kGetSystemTelemetrySnapshot,
  kListCapturableWindows,
  kCaptureWindowFrame,
  kInjectWindowStylusEvent,
};

using SystemHandle = KorvaneBridgeHostSystemBridgeApiResponseHandle;
using SystemVTable = KorvaneBridgeHostSystemBridgeApiVTable;

bool SystemHasSlot(const void* table, int method) {
  auto* vtable = static_cast<const SystemVTable*>(table);
  switch (method) {
    case kIsUdpPortAllowedInFirewall:
      return vtable->is_udp_port_allowed_in_firewall != nullptr;
    case kEnsureUdpPortAllowedInFirewall:
      return vtable->ensure_udp_port_allowed_in_firewall != nullptr;
    case kHasDesktopInputPermission:
      return vtable->has_desktop_input_permission != nullptr;
    case kRequestDesktopInputPermission:
      return vtable->request_desktop_input_permission != nullptr;
    case kHasScreenRecordingPermission:
      return vtable->has_screen_recording_permission != nullptr;
    case kRequestScreenRecordingPermission:
      return vtable->request_screen_recording_permission != nullptr;
    case kTriggerDeckAction:
      return vtable->trigger_deck_action != nullptr;
    case kGetSystemTelemetrySnapshot:
      return vtable->get_system_telemetry_snapshot != nullptr;
    case kListCapturableWindows:
      return vtable->list_capturable_windows != nullptr;
    case kCaptureWindowFrame:
      return vtable->capture_window_frame != nullptr;
    case kInjectWindowStylusEvent:
      return vtable->inject_window_stylus_event != nullptr;
  }
  return false;
}

void SystemCall(const void* table,
                int method,
                const DecodedArguments& args,
                GObject* response_handle,
                gpointer user_data) {
  auto* vtable = static_cast<const SystemVTable*>(table);
  auto* handle = reinterpret_cast<SystemHandle*>(response_handle);
  switch (method) {
    case kIsUdpPortAllowedInFirewall:
      vtable->is_udp_port_allowed_in_firewall(args.integer, handle, user_data);
      return;
    case kEnsureUdpPortAllowedInFirewall:
      vtable->ensure_udp_port_allowed_in_firewall(args.text, args.integer,
                                                  handle, user_data);
      return;
    case kHasDesktopInputPermission:
      vtable->has_desktop_input_permission(handle, user_data);
      return;
    case kRequestDesktopInputPermission:
      vtable->request_desktop_input_permission(handle, user_data);
      return;
    case kHasScreenRecordingPermission:
      vtable->has_screen_recording_permission(handle, user_data);
      return;
    case kRequestScreenRecordingPermission:
      vtable->request_screen_recording_permission(handle, user_data);
      return;
    case kTriggerDeckAction:
      vtable->trigger_deck_action(
          KORVANE_BRIDGE_NATIVE_DECK_ACTION_REQUEST(args.record), handle,
          user_data);
      return;
    case kGetSystemTelemetrySnapshot:
      vtable->get_system_telemetry_snapshot(handle, user_data);
      return;
    case kListCapturableWindows:
      vtable->list_capturable_windows(handle, user_data);
      return;
    case kCaptureWindowFrame:
      vtable->capture_window_frame(
          KORVANE_BRIDGE_SECOND_SCREEN_CAPTURE_CONFIG(args.record), handle,
          user_data);
      return;
    case kInjectWindowStylusEvent:
      vtable->inject_window_stylus_event(
          KORVANE_BRIDGE_NATIVE_STYLUS_INJECTION_REQUEST(args.record), handle,
          user_data);
      return;
  }
}

const MethodDescription kSystemMethods[] = {
    {"isUdpPortAllowedInFirewall", Argument::kInt, 0, false, {"port"}, "bool"},
    {"ensureUdpPortAllowedInFirewall", Argument::kTextAndInt, 0, false,
     {"rule_name", "port"}, "bool"},
    {"hasDesktopInputPermission", Argument::kNone, 0, false, {}, "bool"},
    {"requestDesktopInputPermission", Argument::kNone, 0, false, {}, "bool"},
    {"hasScreenRecordingPermission", Argument::kNone, 0, false, {}, "bool"},
    {"requestScreenRecordingPermission", Argument::kNone, 0, false, {},
     "bool"},
    {"triggerDeckAction", Argument::kRecord, kNativeDeckActionRequestCode,
     false, {}, "bool"},
    {"getSystemTelemetrySnapshot", Argument::kNone, 0, false, {},
     "NativeSystemTelemetrySnapshot"},
    {"listCapturableWindows", Argument::kNone, 0, false, {},
     "a list of CapturableWindowInfo"},
    {"captureWindowFrame", Argument::kRecord, kSecondScreenCaptureConfigCode,
     false, {}, "CapturedWindowFrame or null"},
    {"injectWindowStylusEvent", Argument::kRecord,
     kNativeStylusInjectionRequestCode, false, {}, "bool"},
};

const ApiDescription kSystemApi = {
    "HostSystemBridgeApi",
    kSystemMethods,
    G_N_ELEMENTS(kSystemMethods),
    korvane_bridge_host_system_bridge_api_get_type,
    korvane_bridge_host_system_bridge_api_response_handle_get_type,
    SystemHasSlot,
    SystemCall,
    nullptr,
};

}  // namespace

const ApiDescription& korvane_bridge_channels::HostSystemBridgeApiDescription() {
  return kSystemApi;
}

void korvane_bridge_host_system_bridge_api_set_method_handlers(
    FlBinaryMessenger* messenger,
    const gchar* suffix,
    const KorvaneBridgeHostSystemBridgeApiVTable* vtable,
    gpointer user_data,
    GDestroyNotify user_data_free_func) {
  korvane_bridge_channels::SetMethodHandlers(kSystemApi, messenger, suffix,
                                             vtable, user_data,
                                             user_data_free_func);
}

void korvane_bridge_host_system_bridge_api_clear_method_handlers(
    FlBinaryMessenger* messenger,
    const gchar* suffix) {
  korvane_bridge_channels::ClearMethodHandlers(kSystemApi, messenger, suffix);
}

#define SYSTEM_RESPONDERS(Method, method, kMethod, PARAMS, RESULT)          \
  KORVANE_BRIDGE_DEFINE_RESPONDERS(HostSystemBridgeApi,                     \
                                   host_system_bridge_api, Method, method,  \
                                   kSystemApi, kMethod, PARAMS, RESULT)

#define SYSTEM_BOOL_RESPONDERS(Method, method, kMethod) \
  SYSTEM_RESPONDERS(Method, method, kMethod, (, gboolean return_value), \
                    fl_value_new_bool(return_value))

SYSTEM_BOOL_RESPONDERS(IsUdpPortAllowedInFirewall,
                       is_udp_port_allowed_in_firewall,
                       kIsUdpPortAllowedInFirewall)
SYSTEM_BOOL_RESPONDERS(EnsureUdpPortAllowedInFirewall,
                       ensure_udp_port_allowed_in_firewall,
                       kEnsureUdpPortAllowedInFirewall)
SYSTEM_BOOL_RESPONDERS(HasDesktopInputPermission,
                       has_desktop_input_permission,
                       kHasDesktopInputPermission)
SYSTEM_BOOL_RESPONDERS(RequestDesktopInputPermission,
                       request_desktop_input_permission,
                       kRequestDesktopInputPermission)
SYSTEM_BOOL_RESPONDERS(HasScreenRecordingPermission,
                       has_screen_recording_permission,
                       kHasScreenRecordingPermission)
SYSTEM_BOOL_RESPONDERS(RequestScreenRecordingPermission,
                       request_screen_recording_permission,
                       kRequestScreenRecordingPermission)
SYSTEM_BOOL_RESPONDERS(TriggerDeckAction,
                       trigger_deck_action,
                       kTriggerDeckAction)
SYSTEM_RESPONDERS(GetSystemTelemetrySnapshot,
                  get_system_telemetry_snapshot,
                  kGetSystemTelemetrySnapshot,
                  (, KorvaneBridgeNativeSystemTelemetrySnapshot* return_value),
                  RecordValue(kNativeSystemTelemetrySnapshotCode, return_value))
SYSTEM_RESPONDERS(ListCapturableWindows,
                  list_capturable_windows,
                  kListCapturableWindows,
                  (, FlValue* return_value),
                  return_value != nullptr ? fl_value_ref(return_value)
                                          : nullptr)
SYSTEM_RESPONDERS(CaptureWindowFrame,
                  capture_window_frame,
                  kCaptureWindowFrame,
                  (, KorvaneBridgeCapturedWindowFrame* return_value),
                  RecordValue(kCapturedWindowFrameCode, return_value))
SYSTEM_BOOL_RESPONDERS(InjectWindowStylusEvent,
                       inject_window_stylus_event,
                       kInjectWindowStylusEvent)
