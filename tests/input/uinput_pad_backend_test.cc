// Personas, identities, re-mounts and frames as a game sees them are
// KernelGamepadTest's and GameLibraryTest's, and the macro keyboard's
// identity, chord order, skipped zero modifiers and clicks
// KernelMacroKeyboardTest's; here refusals and short writes, which the real
// kernel does not make on demand.
#include "input/uinput_pad_backend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "fake_kernel.h"
#include "input_test_support.h"

namespace {

using input_testing::FakeKernel;
using input_testing::KernelCall;
using input_testing::NewFrame;
using input_testing::RestingControls;
using korvane_bridge::UinputPadBackend;
using Trace = std::vector<std::string>;

KorvaneBridgeNativeGamepadPersona Persona(int value) {
  return static_cast<KorvaneBridgeNativeGamepadPersona>(value);
}

// The opens, creations, destructions and closes from the `from`th call on,
// as "open 100", "create 100", "destroy 100", "close 100".
Trace Lifecycle(const FakeKernel& kernel, size_t from) {
  Trace trace;
  const auto calls = kernel.Calls();
  for (size_t i = from; i < calls.size(); ++i) {
    const KernelCall& c = calls[i];
    const std::string fd = " " + std::to_string(c.fd);
    if (c.kind == KernelCall::Kind::kOpen) {
      trace.push_back("open" + fd);
    } else if (c.kind == KernelCall::Kind::kClose) {
      trace.push_back("close" + fd);
    } else if (c.request == UI_DEV_CREATE) {
      trace.push_back("create" + fd);
    } else if (c.request == UI_DEV_DESTROY) {
      trace.push_back("destroy" + fd);
    }
  }
  return trace;
}

// A re-mount with another persona value (7 poses as the Xbox pad too): the
// old device goes before the new one exists, so a game never sees two pads
// for one player, and stays gone when the new one is refused; nothing
// follows a refused step but the close. Capabilities the kernel refuses do
// not stop the creation, other players keep their pads, and the next mount
// that the kernel takes succeeds. The same value keeps the device as it is.
TEST(UinputPadBackendTest, RefusedCreationLeavesThePlayerUnmounted) {
  const struct {
    const char* what;
    unsigned long request;  // 0: the open
    bool created;
    Trace after_old_one_went;
  } cases[] = {
      {"open", 0, false, {"open -1"}},
      {"setup", UI_DEV_SETUP, false, {"open 102", "close 102"}},
      {"create", UI_DEV_CREATE, false, {"open 102", "create 102", "close 102"}},
      {"rumble bit", UI_SET_FFBIT, true, {"open 102", "create 102"}},
      {"axis setup", UI_ABS_SETUP, true, {"open 102", "create 102"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeKernel kernel;
    UinputPadBackend backend(nullptr, kernel);
    ASSERT_TRUE(backend.MountController(2, Persona(0), ""));
    ASSERT_TRUE(backend.MountController(4, Persona(1), ""));
    const size_t before = kernel.Calls().size();
    ASSERT_TRUE(backend.MountController(4, Persona(1), "another name"));
    EXPECT_EQ(kernel.Calls().size(), before);
    kernel.FailRequest(c.request);
    EXPECT_EQ(backend.MountController(4, Persona(7), ""), c.created);
    EXPECT_EQ(backend.MountedCount(), c.created ? 2u : 1u);
    Trace expected = {"destroy 101", "close 101"};
    expected.insert(expected.end(), c.after_old_one_went.begin(),
                    c.after_old_one_went.end());
    EXPECT_EQ(Lifecycle(kernel, before), expected);
    EXPECT_EQ(kernel.OpenDescriptors().size(), c.created ? 2u : 1u);
    EXPECT_EQ(backend.SubmitFrame(NewFrame(RestingControls(4)).get()),
              c.created);
    EXPECT_TRUE(backend.SubmitFrame(NewFrame(RestingControls(2)).get()));
    EXPECT_TRUE(backend.MountController(4, Persona(7), ""));
    EXPECT_EQ(backend.MountedCount(), 2u);
    EXPECT_EQ(kernel.Misuses(), 0);
  }
}

TEST(UinputPadBackendTest, PlayersOutsideOneToEightAndTheirFramesAreRefused) {
  FakeKernel kernel;
  UinputPadBackend backend(nullptr, kernel);
  for (int64_t player : {0, 9, -1, 1000}) {
    EXPECT_FALSE(backend.MountController(player, Persona(1), "")) << player;
    EXPECT_FALSE(backend.SubmitFrame(NewFrame(RestingControls(player)).get()));
  }
  EXPECT_FALSE(backend.SubmitFrame(nullptr));
  EXPECT_TRUE(kernel.Calls().empty());
}

TEST(UinputPadBackendTest, AShortOrFailedWriteDropsOnlyThatFrame) {
  FakeKernel kernel;
  UinputPadBackend backend(nullptr, kernel);
  ASSERT_TRUE(backend.MountController(1, Persona(1), ""));
  const auto frame = NewFrame(RestingControls(1));
  kernel.ScriptWrite(456);
  kernel.ScriptWrite(-1);
  EXPECT_FALSE(backend.SubmitFrame(frame.get()));
  EXPECT_FALSE(backend.SubmitFrame(frame.get()));
  EXPECT_TRUE(backend.SubmitFrame(frame.get()));
  EXPECT_EQ(input_testing::Batches(kernel.Calls(), 100).size(), 3u);
}

constexpr uint16_t kLeftCtrl = 29;
constexpr uint16_t kT = 20;
constexpr uint16_t kLeftButton = 0x110;

// The open, the setup and the creation refused; the next press retries.
TEST(MacroKeyboardTest, NothingToTypeOrARefusedCreationTypesNothing) {
  for (unsigned long refused :
       std::vector<unsigned long>{0, UI_DEV_SETUP, UI_DEV_CREATE}) {
    SCOPED_TRACE(refused);
    FakeKernel kernel;
    UinputPadBackend backend(nullptr, kernel);
    EXPECT_FALSE(backend.SendKeyChord({kLeftCtrl}, 0));
    EXPECT_FALSE(backend.SendMouseButton(0, true));
    EXPECT_TRUE(kernel.Calls().empty()) << "no device for nothing to type";
    kernel.FailRequest(refused);
    EXPECT_FALSE(backend.SendMouseButton(kLeftButton, true));
    EXPECT_TRUE(kernel.OpenDescriptors().empty());
    EXPECT_EQ(kernel.Misuses(), 0);
    EXPECT_TRUE(backend.SendMouseButton(kLeftButton, true));
    EXPECT_EQ(kernel.OpenDescriptors().size(), 1u);
  }
}

// A chord is a press report and a release report; a press that did not
// arrive whole is not followed by a release. A refused write is as short as
// any (AShortOrFailedWriteDropsOnlyThatFrame).
TEST(MacroKeyboardTest, ReportsSucceedOnlyWhenTheyArriveWhole) {
  const struct {
    bool chord;
    std::vector<ssize_t> writes;
    bool expected;
    size_t batches;
  } cases[] = {
      {true, {}, true, 2},
      {true, {24}, false, 1},
      {true, {72, 48}, false, 2},
      {false, {24}, false, 1},
  };
  for (const auto& c : cases) {
    FakeKernel kernel;
    UinputPadBackend backend(nullptr, kernel);
    // Creates the device, with one report of its own.
    ASSERT_TRUE(backend.SendMouseButton(kLeftButton, false));
    for (ssize_t result : c.writes) {
      kernel.ScriptWrite(result);
    }
    EXPECT_EQ(c.chord ? backend.SendKeyChord({kLeftCtrl}, kT)
                      : backend.SendMouseButton(kLeftButton, true),
              c.expected);
    EXPECT_EQ(input_testing::Batches(kernel.Calls(), 100).size(),
              1 + c.batches);
  }
}

// Everything the backend does from several threads at once: mounts,
// unmounts and frames racing each other, rumble from the workers, a driver
// repair on a thread of its own. The fake kernel counts every call on a
// closed descriptor. Run under ThreadSanitizer too.
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
              backend.SendMouseButton(kLeftButton, round % 20 == 0);
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
