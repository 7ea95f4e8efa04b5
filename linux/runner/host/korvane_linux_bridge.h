#ifndef LINUX_RUNNER_HOST_KORVANE_LINUX_BRIDGE_H_
#define LINUX_RUNNER_HOST_KORVANE_LINUX_BRIDGE_H_

// The one object that serves both host APIs on the engine's messenger. It
// owns the virtual input devices and the callback API through which events
// reach the Dart side, and runs the telemetry thread. Created and destroyed
// on the main thread; its address is the user data of both handler tables.
//
// The threads of the program, and what each touches:
//
// | thread | started by | lives | touches |
// |---|---|---|---|
// | main (GTK) | the process | the whole run | every handler, reply, event and idle callback; the bridge's construction and destruction; stylus strokes (their own connection) |
// | telemetry | the constructor | until the destructor joins it | runs the desktop tools, writes the cached telemetry under its lock |
// | deck worker | the first deck press | until the destructor stops it | presses in the order they came: the desktop tools, the macro keyboard (its own lock) |
// | force feedback, one per pad | mounting the pad | until its unmount joins it | its own pad's descriptor and effects; rumble goes to the main thread through the hand-off |
// | request worker, one per slow request | the driver repair, the input permission request, the firewall queries | detached, until it has posted its reply | its own closure; the reply goes through the hand-off |
// | capture worker | a capture request, one at a time | detached, until it has posted its frame | the capturer (its lock); clears `capture_in_flight_` |
// | capture releaser | the first window the capturer redirects | until the capturer closes | the capturer (its lock): lets an idle window go |
//
// Locks: the backend's gamepad table, the macro keyboard, the telemetry
// cache, the capturer and the stylus's connection and stroke each have
// their own. The stylus's connection lock may be held while its stroke lock
// or the macro keyboard's is taken, never the reverse; no other lock is
// taken while one is held, and none while a desktop tool runs.

#include <flutter_linux/flutter_linux.h>

#include <memory>
#include <thread>

#include "host/desktop_tools/system_telemetry.h"
#include "host/main_thread_handoff.h"
#include "host/second_screen/stylus_injection.h"
#include "host/second_screen/window_capture.h"
#include "host/serial_worker.h"
#include "input/kernel_calls.h"
#include "input/uinput_pad_backend.h"
#include "pigeon/korvane_native_bridge.g.h"

namespace korvane_bridge {

class KorvaneLinuxBridge {
 public:
  // `kernel` must outlive every worker the bridge starts, not only the
  // bridge: the process-wide system calls do.
  explicit KorvaneLinuxBridge(FlBinaryMessenger* messenger,
                              KernelCalls& kernel = SystemKernel());
  ~KorvaneLinuxBridge();
  KorvaneLinuxBridge(const KorvaneLinuxBridge&) = delete;
  KorvaneLinuxBridge& operator=(const KorvaneLinuxBridge&) = delete;

  // A new record; the caller owns its reference.
  KorvaneBridgeNativeDriverHealth* BuildDriverHealthSnapshot();

 private:
  static const KorvaneBridgeVirtualControllerHostApiVTable kControllerVTable;
  static const KorvaneBridgeHostSystemBridgeApiVTable kSystemVTable;

  static void HandleGetDriverHealth(
      KorvaneBridgeVirtualControllerHostApiResponseHandle* response_handle,
      gpointer user_data);
  static void HandleSetupOrRepairDriver(
      KorvaneBridgeVirtualControllerHostApiResponseHandle* response_handle,
      gpointer user_data);
  static void HandleMountVirtualController(
      KorvaneBridgeVirtualControllerMountRequest* request,
      KorvaneBridgeVirtualControllerHostApiResponseHandle* response_handle,
      gpointer user_data);
  static void HandleUnmountVirtualController(
      int64_t player_number,
      KorvaneBridgeVirtualControllerHostApiResponseHandle* response_handle,
      gpointer user_data);
  static void HandleUnmountAllControllers(
      KorvaneBridgeVirtualControllerHostApiResponseHandle* response_handle,
      gpointer user_data);
  static KorvaneBridgeVirtualControllerHostApiPushControllerFrameResponse*
  HandlePushControllerFrame(KorvaneBridgeVirtualControllerFrame* frame,
                            gpointer user_data);

  static void HandleIsUdpPortAllowedInFirewall(
      int64_t port,
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      gpointer user_data);
  static void HandleEnsureUdpPortAllowedInFirewall(
      const gchar* rule_name,
      int64_t port,
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      gpointer user_data);
  static void HandleHasDesktopInputPermission(
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      gpointer user_data);
  static void HandleRequestDesktopInputPermission(
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      gpointer user_data);
  static void HandleHasScreenRecordingPermission(
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      gpointer user_data);
  static void HandleRequestScreenRecordingPermission(
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      gpointer user_data);

  static void HandleTriggerDeckAction(
      KorvaneBridgeNativeDeckActionRequest* request,
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      gpointer user_data);
  static void HandleGetSystemTelemetrySnapshot(
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      gpointer user_data);

  static void HandleListCapturableWindows(
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      gpointer user_data);
  static void HandleCaptureWindowFrame(
      KorvaneBridgeSecondScreenCaptureConfig* config,
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      gpointer user_data);
  static void HandleInjectWindowStylusEvent(
      KorvaneBridgeNativeStylusInjectionRequest* request,
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      gpointer user_data);

  // A deck press on its way through the deck worker.
  struct DeckJob {
    ObjectRef<KorvaneBridgeNativeDeckActionRequest> request;
    ObjectRef<KorvaneBridgeHostSystemBridgeApiResponseHandle> response_handle;
  };
  void RunDeckJob(DeckJob& job);

  // Runs `work` on a worker and answers a bool method with its result;
  // false when no worker can be started.
  template <typename Work, typename Respond>
  void AnswerBoolFromWorker(
      KorvaneBridgeHostSystemBridgeApiResponseHandle* response_handle,
      Work work,
      Respond respond);

  // Runs the privileged repair of /dev/uinput on a worker, then
  // `reply(usable)` on the main thread while the bridge still exists.
  template <typename Reply>
  void RepairThenReply(Reply reply);

  // Main thread, after a repair attempt: the new health goes out as an event
  // first and then as the reply, so that listeners and the caller agree.
  void AnnounceDriverHealthAfterRepair(
      KorvaneBridgeVirtualControllerHostApiResponseHandle* response_handle);

  // Force-feedback threads.
  void OnRumble(int64_t player_number, int64_t left, int64_t right);
  static void DispatchRumbleOnMainThread(
      KorvaneBridgeVirtualControllerFlutterApi* api,
      int64_t player_number,
      int64_t left,
      int64_t right);

  FlBinaryMessenger* messenger_;
  KorvaneBridgeVirtualControllerFlutterApi* flutter_api_;
  KernelCalls& kernel_;
  std::unique_ptr<UinputPadBackend> backend_;
  // Read by the telemetry thread and by every reply that a worker posts.
  const StopFlag stop_requested_;
  SystemTelemetry telemetry_;
  std::thread telemetry_thread_;
  // Deck presses run in order here, never on the main thread: a tool or a
  // held chord would stall every channel, the controller frames too.
  SerialWorker<DeckJob> deck_worker_;
  StylusInjector stylus_;
  // Set while a capture worker runs: one capture at a time.
  // Used by one capture worker at a time, the one that set the flag.
  WindowCapturer capturer_;
  std::atomic<bool> capture_in_flight_{false};
};

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_KORVANE_LINUX_BRIDGE_H_
