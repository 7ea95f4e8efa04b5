// Everything the backend does from several threads at once, as the host does
// it: mounts and frames from the main thread, rumble from the workers, a
// driver repair on a thread of its own. The fake kernel counts every call
// on a closed descriptor. Run under ThreadSanitizer too.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "fake_kernel.h"
#include "input/uinput_pad_backend.h"
#include "input_test_support.h"

namespace {

using input_testing::FakeKernel;
using input_testing::NewFrame;
using input_testing::RestingControls;
using korvane_bridge::UinputPadBackend;

KorvaneBridgeNativeGamepadPersona Persona(int value) {
  return static_cast<KorvaneBridgeNativeGamepadPersona>(value);
}

// Runs `body(thread_index, round)` on `threads` threads, `rounds` each.
template <typename Body>
void RunTogether(int threads, int rounds, Body body) {
  std::vector<std::thread> running;
  for (int t = 0; t < threads; ++t) {
    running.emplace_back([t, rounds, &body] {
      for (int round = 0; round < rounds; ++round) {
        body(t, round);
      }
    });
  }
  for (std::thread& thread : running) {
    thread.join();
  }
}

TEST(UinputPadBackendThreadsTest, EverythingAtOnceStaysConsistent) {
  FakeKernel kernel;
  kernel.SetNode(input_testing::NodeState::kNoPermission);
  std::atomic<bool> done{false};
  {
    // Without a callback: the rumble goes nowhere, and nothing breaks.
    UinputPadBackend backend(nullptr, kernel);
    // A game rumbling every gamepad that exists at the moment, and the
    // handheld streaming frames to every player.
    std::thread game([&] {
      while (!done.load()) {
        for (int fd : kernel.OpenDescriptors()) {
          kernel.QueueEvent(fd, EV_FF, 0, 1);
          kernel.QueueEvent(fd, EV_FF, 0, 0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    std::thread handheld([&] {
      const input_testing::FramePtr frames[] = {
          NewFrame(RestingControls(1)), NewFrame(RestingControls(2)),
          NewFrame(RestingControls(3)), NewFrame(RestingControls(4))};
      while (!done.load()) {
        for (const auto& frame : frames) {
          backend.SubmitFrame(frame.get());
        }
      }
    });
    // Two threads mount the same player with different personas at once.
    RunTogether(4, 40, [&](int thread, int round) {
      const int64_t player = 1 + round % 4;
      if (thread < 2) {
        backend.MountController(player, Persona((thread + round) % 3), "");
      } else if (thread == 2) {
        backend.UnmountController(player);
      } else if (thread == 3) {
        if (round % 10 == 0) {
          backend.SendMouseButton(0x110, round % 20 == 0);
        }
        backend.SetupOrRepairDriverInteractive();
      }
    });
    done.store(true);
    game.join();
    handheld.join();
    // One device for each mounted player, and the macro keyboard.
    EXPECT_EQ(kernel.OpenDescriptors().size(), backend.MountedCount() + 1);
    backend.UnmountAll();
    EXPECT_EQ(backend.MountedCount(), 0u);
    // The macro keyboard outlives UnmountAll, but not the backend.
    EXPECT_EQ(kernel.OpenDescriptors().size(), 1u);
  }
  EXPECT_TRUE(kernel.OpenDescriptors().empty());
  EXPECT_EQ(kernel.Misuses(), 0);
}

}  // namespace
