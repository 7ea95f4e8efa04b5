// The host services' costs.
//
// ControllerFrameMessage: one "pushControllerFrame" message from its encoded
// bytes to its encoded reply, through the messenger, the bridge and
// SubmitFrame writing the report, against the floor of the bare write.
//
// FrameMessage: how long a controller frame message waits while deck buttons
// are pressed one after another, against the same frames with no deck action
// running. A press runs a desktop tool (a media command, failing where no
// player runs, and its fallback key) or holds a chord down; neither may hold up
// the frames. Frames come at 250 Hz, the fastest rate the app streams, and the
// main loop runs freely between them, as it does in the program.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "benchmark_floors.h"
#include "host_bridge_harness.h"
#include "input_test_support.h"
#include "null_device_kernel.h"

namespace {

using bridge_testing::List;
using bridge_testing::RecordValue;
using flutter_testing::InProcessDart;
using host_testing::Arguments;
using host_testing::Bytes;
using host_testing::Method;
using host_testing::DeckPress;

// The bridge with player 1 mounted on null devices, and the bytes of one
// frame message for it.
struct MountedPad {
  MountedPad() : bridge(dart.messenger(), kernel) {
    g_autoptr(KorvaneBridgeVirtualControllerMountRequest) mount =
        korvane_bridge_virtual_controller_mount_request_new(
            1, KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_SONY_WIRELESS_CONTROLLER,
            "pad", "P1", FALSE, FALSE);
    dart.Call(
        Method("mountVirtualController"),
        Arguments(List({RecordValue(
            korvane_bridge_virtual_controller_mount_request_type_id, mount)})));
    input_testing::FramePtr frame =
        input_testing::NewFrame(input_testing::RestingControls(1));
    frame_message = Arguments(List({RecordValue(
        korvane_bridge_virtual_controller_frame_type_id, frame.get())}));
  }

  benchmark_support::NullDeviceKernel kernel;
  InProcessDart dart;
  korvane_bridge::KorvaneLinuxBridge bridge;
  Bytes frame_message;
};

// One message and its reply, driving the main context as the program's
// main loop does, without the test harness's timeout.
void RoundTrip(benchmark::State& state,
               InProcessDart& dart,
               const std::string& channel,
               const Bytes& message) {
  for (auto _ : state) {
    std::shared_ptr<const InProcessDart::Reply> reply =
        dart.Send(channel, message);
    while (!reply->answered && !reply->released) {
      g_main_context_iteration(nullptr, FALSE);
    }
    if (!reply->answered) {
      state.SkipWithError("not answered");
      break;
    }
  }
}

void ControllerFrameMessage(benchmark::State& state) {
  MountedPad pad;
  RoundTrip(state, pad.dart, Method("pushControllerFrame"),
            pad.frame_message);
}

// The messenger's own share: the same bytes to a handler that answers
// them back unread.
void MessengerEcho(benchmark::State& state) {
  MountedPad pad;
  fl_binary_messenger_set_message_handler_on_channel(
      pad.dart.messenger(), "echo",
      [](FlBinaryMessenger* messenger, const gchar*, GBytes* message,
         FlBinaryMessengerResponseHandle* handle, gpointer) {
        fl_binary_messenger_send_response(messenger, handle, message, nullptr);
      },
      nullptr, nullptr);
  RoundTrip(state, pad.dart, "echo", pad.frame_message);
}

BENCHMARK(benchmark_support::BareWrite528)->Name("BareWrite528");
BENCHMARK(ControllerFrameMessage);
BENCHMARK(MessengerEcho);

void FrameMessage(benchmark::State& state) {
  const bool deck_actions_running = state.range(0) != 0;
  MountedPad pad;
  InProcessDart& dart = pad.dart;
  const Bytes& frame_message = pad.frame_message;
  const Bytes presses[] = {
      DeckPress(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_MEDIA_PLAY_PAUSE),
      DeckPress(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CHORD_ALT_TAB),
  };

  constexpr std::chrono::milliseconds kFramePeriod(4);
  std::shared_ptr<const InProcessDart::Reply> press;
  size_t presses_sent = 0;
  std::chrono::nanoseconds longest{0};
  for (auto _ : state) {
    if (deck_actions_running && (!press || press->answered)) {
      press =
          dart.Send(Method("triggerDeckAction"), presses[presses_sent++ % 2]);
    }
    const auto start = std::chrono::steady_clock::now();
    if (!dart.Call(Method("pushControllerFrame"), frame_message)) {
      state.SkipWithError("frame not answered");
      break;
    }
    const auto waited = std::chrono::steady_clock::now() - start;
    longest = std::max(longest, waited);
    state.PauseTiming();
    InProcessDart::RunUntil(
        [] { return false; },
        std::chrono::duration_cast<std::chrono::milliseconds>(kFramePeriod -
                                                              waited));
    state.ResumeTiming();
  }
  InProcessDart::RunUntil([&] { return !press || press->answered; });
  state.counters["longest_wait_us"] =
      std::chrono::duration<double, std::micro>(longest).count();
  state.counters["deck_presses"] = static_cast<double>(presses_sent);
}

// Four seconds of frames each.
BENCHMARK(FrameMessage)
    ->ArgName("deck_actions_running")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1000);

}  // namespace

// TelemetryPollCycle: the tools and the file read of one telemetry cycle,
// with whatever desktop tools and servers this machine has running (none on
// a build machine: then every tool fails at once).
void TelemetryPollCycle(benchmark::State& state) {
  korvane_bridge::SystemTelemetry telemetry;
  for (auto _ : state) {
    telemetry.RefreshAudioAndCpuSnapshotNow();
    telemetry.ReadLinuxMprisMedia();
  }
}

BENCHMARK(TelemetryPollCycle)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
