// Everything the backend does from several threads at once: mounts,
// unmounts and frames racing each other, rumble from the workers, a driver
// repair on a thread of its own. The fake kernel counts every call on a
// closed descriptor. Run under ThreadSanitizer too.

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
    std::vector<std::thread> running;
    for (int thread = 0; thread < 4; ++thread) {
      running.emplace_back([&, thread] {
        for (int round = 0; round < 40; ++round) {
          const int64_t player = 1 + round % 4;
          if (thread < 2) {
            backend.MountController(player, Persona((thread + round) % 3), "");
          } else if (thread == 2) {
            backend.UnmountController(player);
          } else {
            if (round % 10 == 0) {
              backend.SendMouseButton(0x110, round % 20 == 0);
            }
            backend.SetupOrRepairDriverInteractive();
          }
        }
      });
    }
    for (std::thread& each : running) {
      each.join();
    }
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
