#include <chrono>
#include <thread>

#include "korvane_linux_bridge.h"

namespace korvane_bridge {

namespace {

constexpr std::chrono::milliseconds kStopCheckStep(100);

}  // namespace

// Nothing is sampled yet; the thread keeps the schedule that sampling will
// follow, waiting in short steps so that shutdown never waits for a whole
// period.
void KorvaneLinuxBridge::PollSystemTelemetryLoop() {
  while (!stop_requested_->load()) {
    std::this_thread::sleep_for(kStopCheckStep);
  }
}

}  // namespace korvane_bridge
