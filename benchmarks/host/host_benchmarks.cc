// The host services' costs.
//
// FrameMessage: how long a controller frame message waits while deck buttons
// are pressed one after another, against the same frames with no deck action running.
// A press runs a desktop tool (a media command, failing where no player
// runs, and its fallback key) or holds a chord down; neither may hold up the
// frames. Frames come at 250 Hz, the fastest rate the app streams, and the
// main loop runs freely between them, as it does in the program.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "host_bridge_harness.h"
#include "input_test_support.h"
#include "null_device_kernel.h"

namespace {

using bridge_testing::List;
using bridge_testing::RecordValue;
using flutter_testing::InProcessDart;
using host_testing::Arguments;
using host_testing::Bytes;
using host_testing::Controller;
using host_testing::DeckPress;
using host_testing::System;

void FrameMessage(benchmark::State& state) {
  const bool deck_actions_running = state.range(0) != 0;
  benchmark_support::NullDeviceKernel kernel;
  InProcessDart dart;
  korvane_bridge::KorvaneLinuxBridge bridge(dart.messenger(), kernel);
  g_autoptr(KorvaneBridgeVirtualControllerMountRequest) mount =
      korvane_bridge_virtual_controller_mount_request_new(
          1, KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_XBOX_360_PAD, "pad", "P1",
          FALSE, FALSE);
  dart.Call(Controller("mountVirtualController"),
            Arguments(List({RecordValue(
                korvane_bridge_virtual_controller_mount_request_type_id,
                mount)})));
  input_testing::FramePtr frame =
      input_testing::NewFrame(input_testing::RestingControls(1));
  const Bytes frame_message = Arguments(List({RecordValue(
      korvane_bridge_virtual_controller_frame_type_id, frame.get())}));
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
      press = dart.Send(System("triggerDeckAction"),
                        presses[presses_sent++ % 2]);
    }
    const auto start = std::chrono::steady_clock::now();
    if (!dart.Call(Controller("pushControllerFrame"), frame_message)) {
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
