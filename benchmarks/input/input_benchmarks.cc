// The cost of a controller frame, against the floor of the one write system
// call that every frame needs: a bare 528-byte write to /dev/null.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "benchmark_floors.h"
#include "input/frame_translation.h"
#include "input/uinput_pad_backend.h"
#include "input_test_support.h"
#include "null_device_kernel.h"

namespace {

using korvane_bridge::FrameControls;

// The persona with the longest report: 13 keys, 8 axes.
const korvane_bridge::GamepadLayout& kSonyLayout =
    korvane_bridge::LayoutForPersona(0);

constexpr char kFloorName[] = "BareWrite528";

FrameControls VaryingControls(int64_t i) {
  return {1,
          i & 0xFF,
          (i >> 3) & 0xFF,
          (i & 1) != 0,
          (i & 2) != 0,
          i % 256,
          (i * 7) % 256,
          (i * 13) % 256,
          (i * 17) % 256,
          i % 300,
          (i * 3) % 300};
}

void TranslateControls(benchmark::State& state) {
  int64_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        korvane_bridge::TranslateControls(VaryingControls(++i), kSonyLayout));
  }
}

void ReadAndTranslateFrame(benchmark::State& state) {
  const auto frame = input_testing::NewFrame(VaryingControls(5));
  for (auto _ : state) {
    benchmark::DoNotOptimize(korvane_bridge::TranslateControls(
        korvane_bridge::ReadFrameControls(frame.get()), kSonyLayout));
  }
}

void SubmitFrame(benchmark::State& state) {
  benchmark_support::NullDeviceKernel kernel;
  korvane_bridge::UinputPadBackend backend(nullptr, kernel);
  for (int64_t player = 1; player <= 8; ++player) {
    backend.MountController(
        player, KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_SONY_WIRELESS_CONTROLLER,
        "");
  }
  FrameControls controls = VaryingControls(5);
  // The last entry of the table, the longest lookup.
  controls.player_number = 8;
  const auto frame = input_testing::NewFrame(controls);
  for (auto _ : state) {
    if (!backend.SubmitFrame(frame.get())) {
      state.SkipWithError("frame not written");
      break;
    }
  }
}

BENCHMARK(benchmark_support::BareWrite528)->Name(kFloorName);
BENCHMARK(TranslateControls);
BENCHMARK(ReadAndTranslateFrame);
BENCHMARK(SubmitFrame);

// Prints every figure again as a multiple of the floor measured in the same
// run, which is what stays comparable between machines.
class FloorRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.benchmark_name() == kFloorName) {
        floor_ns_ = run.GetAdjustedRealTime();
      }
      figures_.push_back({run.benchmark_name(), run.GetAdjustedRealTime()});
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    if (floor_ns_ <= 0) {
      return;
    }
    printf("\nAgainst the floor (%s = %.1f ns = 1.00):\n", kFloorName,
           floor_ns_);
    for (const auto& figure : figures_) {
      printf("  %-24s %6.2f\n", figure.first.c_str(),
             figure.second / floor_ns_);
    }
  }

 private:
  double floor_ns_ = 0;
  std::vector<std::pair<std::string, double>> figures_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  FloorRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
