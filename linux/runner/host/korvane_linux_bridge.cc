#include "host/korvane_linux_bridge.h"

#include <system_error>
#include <utility>

#include "host/desktop_tools/deck_actions.h"
#include "host/desktop_tools/firewall_ports.h"
#include "host/second_screen/window_list.h"

namespace korvane_bridge {

namespace {

constexpr char kBackendName[] = "Linux uinput + Evdev (SteamOS)";
constexpr char kModuleNotLoadedMessage[] =
    "Kernel module uinput is not loaded. Click Repair to run modprobe uinput.";
constexpr char kPermissionRequiredMessage[] =
    "Write permission required on /dev/uinput. Click Repair to install the "
    "uaccess udev rule.";
constexpr char kReadyMessage[] =
    "Linux /dev/uinput + Evdev Virtual Gamepad Bridge Ready (SteamOS / Proton "
    "Compatible)";

const char* StatusMessage(KorvaneBridgeNativeDriverReadiness readiness) {
  switch (readiness) {
    case KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_MODULE_NOT_LOADED:
      return kModuleNotLoadedMessage;
    case KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_PERMISSION_REQUIRED:
      return kPermissionRequiredMessage;
    default:
      return kReadyMessage;
  }
}

KorvaneLinuxBridge* Self(gpointer user_data) {
  return static_cast<KorvaneLinuxBridge*>(user_data);
}

}  // namespace

const KorvaneBridgeVirtualControllerHostApiVTable
    KorvaneLinuxBridge::kControllerVTable = {
        HandleGetDriverHealth,        HandleSetupOrRepairDriver,
        HandleMountVirtualController, HandleUnmountVirtualController,
        HandleUnmountAllControllers,  HandlePushControllerFrame,
};

const KorvaneBridgeHostSystemBridgeApiVTable KorvaneLinuxBridge::kSystemVTable =
    {
        HandleIsUdpPortAllowedInFirewall,
        HandleEnsureUdpPortAllowedInFirewall,
        HandleHasDesktopInputPermission,
        HandleRequestDesktopInputPermission,
        HandleHasScreenRecordingPermission,
        HandleRequestScreenRecordingPermission,
        HandleTriggerDeckAction,
        HandleGetSystemTelemetrySnapshot,
        HandleListCapturableWindows,
        HandleCaptureWindowFrame,
        HandleInjectWindowStylusEvent,
};

KorvaneLinuxBridge::KorvaneLinuxBridge(FlBinaryMessenger* messenger,
                                       KernelCalls& kernel)
    : messenger_(FL_BINARY_MESSENGER(g_object_ref(messenger))),
      flutter_api_(korvane_bridge_virtual_controller_flutter_api_new(messenger,
                                                                     nullptr)),
      kernel_(kernel),
      backend_(std::make_unique<UinputPadBackend>(
          [this](int64_t player_number, int64_t left, int64_t right) {
            OnRumble(player_number, left, right);
          },
          kernel)),
      stop_requested_(std::make_shared<std::atomic<bool>>(false)),
      deck_worker_([this](DeckJob& job) { RunDeckJob(job); }) {
  korvane_bridge_virtual_controller_host_api_set_method_handlers(
      messenger_, nullptr, &kControllerVTable, this, nullptr);
  korvane_bridge_host_system_bridge_api_set_method_handlers(
      messenger_, nullptr, &kSystemVTable, this, nullptr);
  // Without the thread the cached telemetry only stays at its start values;
  // everything else works, so a refused thread is not fatal.
  try {
    telemetry_thread_ = std::thread(
        [this] { telemetry_.PollSystemTelemetryLoop(*stop_requested_); });
  } catch (const std::system_error&) {
  }
}

KorvaneLinuxBridge::~KorvaneLinuxBridge() {
  stop_requested_->store(true, std::memory_order_release);
  if (telemetry_thread_.joinable()) {
    telemetry_thread_.join();
  }
  // The deck worker types on the backend's keyboard and refreshes the
  // telemetry: it ends before either goes.
  deck_worker_.Stop();
  // A capture worker clears the flag before it posts its answer and touches
  // nothing of the bridge afterwards.
  while (capture_in_flight_.load(std::memory_order_acquire)) {
    g_usleep(2000);
  }
  capturer_.Close();
  stylus_.CloseDisplay();
  // Joins the force-feedback workers: no rumble arrives after this.
  backend_->UnmountAll();
  if (messenger_ != nullptr) {
    korvane_bridge_virtual_controller_host_api_clear_method_handlers(messenger_,
                                                                     nullptr);
    korvane_bridge_host_system_bridge_api_clear_method_handlers(messenger_,
                                                                nullptr);
    g_clear_object(&messenger_);
  }
  g_clear_object(&flutter_api_);
  backend_.reset();
}

KorvaneBridgeNativeDriverHealth*
KorvaneLinuxBridge::BuildDriverHealthSnapshot() {
  const KorvaneBridgeNativeDriverReadiness readiness =
      backend_->CheckReadiness();
  return korvane_bridge_native_driver_health_new(
      readiness, kBackendName, static_cast<int64_t>(backend_->MountedCount()),
      readiness == KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY,
      StatusMessage(readiness));
}

void KorvaneLinuxBridge::HandleGetDriverHealth(
    KorvaneBridgeVirtualControllerHostApiResponseHandle* response_handle,
    gpointer user_data) {
  g_autoptr(KorvaneBridgeNativeDriverHealth) health =
      Self(user_data)->BuildDriverHealthSnapshot();
  korvane_bridge_virtual_controller_host_api_respond_get_driver_health(
      response_handle, health);
}

template <typename Reply>
void KorvaneLinuxBridge::RepairThenReply(Reply reply) {
  KernelCalls& kernel = kernel_;
  RunOnWorkerThenReply(
      stop_requested_,
      [&kernel] { return SetupOrRepairUinputInteractive(kernel); },
      std::move(reply), false);
}

void KorvaneLinuxBridge::HandleSetupOrRepairDriver(
    KorvaneBridgeVirtualControllerHostApiResponseHandle* response_handle,
    gpointer user_data) {
  KorvaneLinuxBridge* self = Self(user_data);
  // The reply reports the node as it is afterwards, whatever the repair
  // returned.
  self->RepairThenReply([self, handle = TakeRef(response_handle)](bool) {
    self->AnnounceDriverHealthAfterRepair(handle.get());
  });
}

void KorvaneLinuxBridge::AnnounceDriverHealthAfterRepair(
    KorvaneBridgeVirtualControllerHostApiResponseHandle* response_handle) {
  g_autoptr(KorvaneBridgeNativeDriverHealth) health =
      BuildDriverHealthSnapshot();
  if (flutter_api_ != nullptr) {
    korvane_bridge_virtual_controller_flutter_api_on_driver_health_changed(
        flutter_api_, health, nullptr, nullptr, nullptr);
  }
  korvane_bridge_virtual_controller_host_api_respond_setup_or_repair_driver(
      response_handle, health);
}

void KorvaneLinuxBridge::HandleMountVirtualController(
    KorvaneBridgeVirtualControllerMountRequest* request,
    KorvaneBridgeVirtualControllerHostApiResponseHandle* response_handle,
    gpointer user_data) {
  const gchar* display_name =
      korvane_bridge_virtual_controller_mount_request_get_display_name(request);
  const bool mounted = Self(user_data)->backend_->MountController(
      korvane_bridge_virtual_controller_mount_request_get_player_number(
          request),
      korvane_bridge_virtual_controller_mount_request_get_persona(request),
      display_name != nullptr ? display_name : "");
  korvane_bridge_virtual_controller_host_api_respond_mount_virtual_controller(
      response_handle, mounted);
}

void KorvaneLinuxBridge::HandleUnmountVirtualController(
    int64_t player_number,
    KorvaneBridgeVirtualControllerHostApiResponseHandle* response_handle,
    gpointer user_data) {
  const bool unmounted =
      Self(user_data)->backend_->UnmountController(player_number);
  korvane_bridge_virtual_controller_host_api_respond_unmount_virtual_controller(
      response_handle, unmounted);
}

void KorvaneLinuxBridge::HandleUnmountAllControllers(
    KorvaneBridgeVirtualControllerHostApiResponseHandle* response_handle,
    gpointer user_data) {
  Self(user_data)->backend_->UnmountAll();
  korvane_bridge_virtual_controller_host_api_respond_unmount_all_controllers(
      response_handle);
}

KorvaneBridgeVirtualControllerHostApiPushControllerFrameResponse*
KorvaneLinuxBridge::HandlePushControllerFrame(
    KorvaneBridgeVirtualControllerFrame* frame,
    gpointer user_data) {
  // A frame for a pad that is gone is simply lost: the next one follows
  // within milliseconds, and the Dart side has nothing to do about it.
  Self(user_data)->backend_->SubmitFrame(frame);
  return korvane_bridge_virtual_controller_host_api_push_controller_frame_response_new();
}

template <typename Work, typename Respond>
void KorvaneLinuxBridge::AnswerBoolFromWorker(
    KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
    Work work,
    Respond respond) {
  RunOnWorkerThenReply(
      stop_requested_, std::move(work),
      [handle = TakeRef(response_handle), respond](bool result) {
        respond(handle.get(), result);
      },
      false);
}

// The firewall tools and the administrator prompt take their time; nothing
// of the bridge is needed to answer.
void KorvaneLinuxBridge::HandleIsUdpPortAllowedInFirewall(
    int64_t port,
    KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
    gpointer user_data) {
  Self(user_data)->AnswerBoolFromWorker(
      response_handle, [port] { return IsUdpPortAllowedInFirewall(port); },
      korvane_bridge_host_system_bridge_api_respond_is_udp_port_allowed_in_firewall);
}

// The rule name is the app's label for the rule; the tools' rules carry
// none.
void KorvaneLinuxBridge::HandleEnsureUdpPortAllowedInFirewall(
    const gchar* /*rule_name*/,
    int64_t port,
    KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
    gpointer user_data) {
  Self(user_data)->AnswerBoolFromWorker(
      response_handle, [port] { return EnsureUdpPortAllowedInFirewall(port); },
      korvane_bridge_host_system_bridge_api_respond_ensure_udp_port_allowed_in_firewall);
}

void KorvaneLinuxBridge::HandleHasDesktopInputPermission(
    KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
    gpointer user_data) {
  korvane_bridge_host_system_bridge_api_respond_has_desktop_input_permission(
      response_handle, Self(user_data)->backend_->CheckReadiness() ==
                           KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY);
}

void KorvaneLinuxBridge::HandleRequestDesktopInputPermission(
    KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
    gpointer user_data) {
  Self(user_data)->RepairThenReply([handle = TakeRef(response_handle)](
                                       bool granted) {
    korvane_bridge_host_system_bridge_api_respond_request_desktop_input_permission(
        handle.get(), granted);
  });
}

// Screen capture on X11 needs no grant, so both questions have one answer.
void KorvaneLinuxBridge::HandleHasScreenRecordingPermission(
    KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
    gpointer /*user_data*/) {
  korvane_bridge_host_system_bridge_api_respond_has_screen_recording_permission(
      response_handle, TRUE);
}

void KorvaneLinuxBridge::HandleRequestScreenRecordingPermission(
    KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
    gpointer /*user_data*/) {
  korvane_bridge_host_system_bridge_api_respond_request_screen_recording_permission(
      response_handle, TRUE);
}

void KorvaneLinuxBridge::HandleTriggerDeckAction(
    KorvaneBridgeNativeDeckActionRequest* request,
    KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
    gpointer user_data) {
  DeckJob job{TakeRef(request), TakeRef(response_handle)};
  if (!Self(user_data)->deck_worker_.Post(std::move(job))) {
    korvane_bridge_host_system_bridge_api_respond_trigger_deck_action(
        response_handle, FALSE);
  }
}

void KorvaneLinuxBridge::RunDeckJob(DeckJob& job) {
  const bool done =
      ExecuteLinuxDeckAction(job.request.get(), *backend_, telemetry_);
  // The request travels back too, so that, like the handle, it is freed on
  // the main thread, where the channel made it.
  PostReplyUnlessStopped(
      stop_requested_,
      [request = std::move(job.request),
       handle = std::move(job.response_handle)](bool result) {
        korvane_bridge_host_system_bridge_api_respond_trigger_deck_action(
            handle.get(), result);
      },
      done);
}

void KorvaneLinuxBridge::HandleGetSystemTelemetrySnapshot(
    KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
    gpointer user_data) {
  g_autoptr(KorvaneBridgeNativeSystemTelemetrySnapshot) snapshot =
      Self(user_data)->telemetry_.BuildSnapshot();
  korvane_bridge_host_system_bridge_api_respond_get_system_telemetry_snapshot(
      response_handle, snapshot);
}

void KorvaneLinuxBridge::HandleListCapturableWindows(
    KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
    gpointer /*user_data*/) {
  g_autoptr(FlValue) windows = ListCapturableWindows();
  korvane_bridge_host_system_bridge_api_respond_list_capturable_windows(
      response_handle, windows);
}

void KorvaneLinuxBridge::HandleCaptureWindowFrame(
    KorvaneBridgeSecondScreenCaptureConfig* config,
    KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
    gpointer user_data) {
  KorvaneLinuxBridge* self = Self(user_data);
  // Refused rather than queued: the app asks again for a fresh frame.
  if (self->stop_requested_->load(std::memory_order_acquire) ||
      self->capture_in_flight_.exchange(true, std::memory_order_acq_rel)) {
    korvane_bridge_host_system_bridge_api_respond_capture_window_frame(
        response_handle, nullptr);
    return;
  }
  using FrameRef = ObjectRef<KorvaneBridgeCapturedWindowFrame>;
  std::atomic<bool>* in_flight = &self->capture_in_flight_;
  WindowCapturer* capturer = &self->capturer_;
  const bool started = RunOnWorkerThenReply(
      self->stop_requested_,
      [in_flight, capturer, settings = ClampCaptureConfig(config)] {
        FrameRef frame(capturer->Capture(settings));
        in_flight->store(false, std::memory_order_release);
        return frame;
      },
      [handle = TakeRef(response_handle)](FrameRef frame) {
        korvane_bridge_host_system_bridge_api_respond_capture_window_frame(
            handle.get(), frame.get());
      },
      FrameRef());
  if (!started) {
    self->capture_in_flight_.store(false, std::memory_order_release);
  }
}

void KorvaneLinuxBridge::HandleInjectWindowStylusEvent(
    KorvaneBridgeNativeStylusInjectionRequest* request,
    KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
    gpointer user_data) {
  KorvaneLinuxBridge* self = Self(user_data);
  korvane_bridge_host_system_bridge_api_respond_inject_window_stylus_event(
      response_handle,
      self->stylus_.InjectWindowStylusEvent(request, *self->backend_));
}

void KorvaneLinuxBridge::OnRumble(int64_t player_number,
                                  int64_t left,
                                  int64_t right) {
  if (flutter_api_ == nullptr) {
    return;
  }
  PostToMainThread([api = TakeRef(flutter_api_), player_number, left, right] {
    DispatchRumbleOnMainThread(api.get(), player_number, left, right);
  });
}

void KorvaneLinuxBridge::DispatchRumbleOnMainThread(
    KorvaneBridgeVirtualControllerFlutterApi* api,
    int64_t player_number,
    int64_t left,
    int64_t right) {
  g_autoptr(KorvaneBridgeNativeRumbleEvent) event =
      korvane_bridge_native_rumble_event_new(player_number, left, right);
  korvane_bridge_virtual_controller_flutter_api_on_controller_rumble(
      api, event, nullptr, nullptr, nullptr);
}

}  // namespace korvane_bridge
