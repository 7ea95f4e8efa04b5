// The frame mapping's edges, and the backend on a fake kernel for what the
// real one does not do on demand.
#include "input/uinput_pad_backend.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "fake_kernel.h"
#include "input/frame_translation.h"
#include "input_test_support.h"

namespace {

using input_testing::FakeKernel;
using input_testing::KernelCall;
using input_testing::NewFrame;
using input_testing::RestingControls;
using korvane_bridge::ScaleStick;
using korvane_bridge::UinputPadBackend;
using Trace = std::vector<std::string>;

KorvaneBridgeNativeGamepadPersona Persona(int value) {
  return static_cast<KorvaneBridgeNativeGamepadPersona>(value);
}

// The device lifecycle from the `from`th call on, as "open 100".
Trace Lifecycle(const FakeKernel& kernel, size_t from) {
  Trace trace;
  const auto calls = kernel.Calls();
  for (auto c = calls.begin() + from; c != calls.end(); ++c) {
    const char* step = c->kind == KernelCall::Kind::kOpen    ? "open"
                       : c->kind == KernelCall::Kind::kClose ? "close"
                       : c->request == UI_DEV_CREATE         ? "create"
                       : c->request == UI_DEV_DESTROY        ? "destroy"
                                                             : nullptr;
    if (step != nullptr) {
      trace.push_back(step + (" " + std::to_string(c->fd)));
    }
  }
  return trace;
}

TEST(FrameTranslationTest, StickScaling) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  const struct {
    int64_t input;
    int32_t expected;
    int32_t expected_symmetric;  // on the Nintendo driver's -32767..32767
  } cases[] = {
      {128, 0, 0},          {255, 32767, 32767},    {0, -32768, -32767},
      {129, 258, 258},      {127, -256, -255},      {300, 32767, 32767},
      {-5, -32768, -32767}, {1, -32512, -32511},    {254, 32508, 32508},
      {kMax, 32767, 32767}, {kMin, -32768, -32767},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ScaleStick(c.input, -32768, 32767), c.expected) << c.input;
    EXPECT_EQ(ScaleStick(c.input, -32767, 32767), c.expected_symmetric)
        << c.input;
  }
}

// Travel presses a trigger button past 30; opposite d-pad directions cancel.
TEST(FrameTranslationTest, TriggerThresholdsAndDpad) {
  const struct {
    int persona;  // 0 Sony, 1 Xbox, 2 Nintendo
    int64_t mask1, mask2, l2, r2;
    uint16_t type, code;
    int32_t expected;
  } cases[] = {
      {0, 0, 0, 30, 0, EV_KEY, BTN_TL2, 0},
      {0, 0, 0, 31, 0, EV_KEY, BTN_TL2, 1},
      {0, 0, 0, 0, 31, EV_KEY, BTN_TR2, 1},
      {0, 0, 0, -10, 0, EV_ABS, ABS_Z, 0},
      {0, 0, 0, 0, 400, EV_ABS, ABS_RZ, 255},
      {1, 0, 0, 0, 30, EV_ABS, ABS_RZ, 30},
      {2, 0, 0, 0, 30, EV_KEY, BTN_TR2, 0},
      {2, 0, 0, 0, 31, EV_KEY, BTN_TR2, 1},
      {0, 0b1010'0000, 0, 0, 0, EV_ABS, ABS_HAT0X, 0},
      {0, 0b0101'0000, 0, 0, 0, EV_ABS, ABS_HAT0Y, 0},
      // Only the low eight bits of each mask carry buttons.
      {0, 0, ~int64_t{0xFF}, 0, 0, EV_KEY, BTN_SOUTH, 0},
  };
  for (const auto& c : cases) {
    korvane_bridge::FrameControls controls = RestingControls(1);
    controls.button_mask1 = c.mask1;
    controls.button_mask2 = c.mask2;
    controls.l2_analog = c.l2;
    controls.r2_analog = c.r2;
    const auto report = korvane_bridge::TranslateControls(
        controls, korvane_bridge::LayoutForPersona(c.persona));
    std::vector<int32_t> values;
    for (size_t i = 0; i < report.count; ++i) {
      const input_event& event = report.events[i];
      if (event.type == c.type && event.code == c.code) {
        values.push_back(event.value);
      }
    }
    EXPECT_EQ(values, std::vector<int32_t>{c.expected})
        << "persona " << c.persona << ", code " << c.code << ", l2 " << c.l2
        << ", r2 " << c.r2;
  }
}

// A re-mount with another persona value (7 poses as the Xbox pad too):
// the old device goes first, so a game never sees two pads for one player,
// and stays gone when the new one is refused. Refused capabilities do not
// stop the creation; the same value keeps the device.
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

// Players outside 1..8 and their frames are refused without a kernel call;
// a short or refused write drops only that frame.
TEST(UinputPadBackendTest, RefusedPlayersAndWritesDropOnlyTheirFrames) {
  FakeKernel kernel;
  UinputPadBackend backend(nullptr, kernel);
  for (int64_t player : {0, 9, -1, 1000}) {
    EXPECT_FALSE(backend.MountController(player, Persona(1), "")) << player;
    EXPECT_FALSE(backend.SubmitFrame(NewFrame(RestingControls(player)).get()));
  }
  EXPECT_FALSE(backend.SubmitFrame(nullptr));
  EXPECT_TRUE(kernel.Calls().empty());
  ASSERT_TRUE(backend.MountController(1, Persona(1), ""));
  const auto frame = NewFrame(RestingControls(1));
  kernel.ScriptWrite(456);
  kernel.ScriptWrite(-1);
  EXPECT_FALSE(backend.SubmitFrame(frame.get()));
  EXPECT_FALSE(backend.SubmitFrame(frame.get()));
  EXPECT_TRUE(backend.SubmitFrame(frame.get()));
  EXPECT_EQ(input_testing::Batches(
                kernel.Calls(),
                input_testing::OpenedDescriptors(kernel.Calls()).front())
                .size(),
            3u);
}

// Out of threads, a mount fails cleanly instead of ending the program. Root
// ignores process limits, so a child that became nobody mounts.
TEST(UinputPadBackendTest, AMountWithoutAWorkerFailsCleanly) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "needs root to switch to a user with a thread limit";
  }
  constexpr uid_t kNobody = 65534;
  constexpr int kCannotDrop = 2;
  const pid_t child = fork();
  if (child == 0) {
    // The child itself already uses up this limit of one.
    const rlimit one = {1, 1};
    if (setrlimit(RLIMIT_NPROC, &one) != 0 || setgid(kNobody) != 0 ||
        setuid(kNobody) != 0) {
      _exit(kCannotDrop);
    }
    FakeKernel kernel;
    UinputPadBackend backend(nullptr, kernel);
    const bool mounted = backend.MountController(1, Persona(1), "");
    _exit(!mounted && backend.MountedCount() == 0 &&
                  kernel.OpenDescriptors().empty() && kernel.Misuses() == 0
              ? 0
              : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == kCannotDrop) {
    GTEST_SKIP() << "this machine does not allow switching users";
  }
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// The open, the setup and the creation refused; the next press retries.
TEST(MacroKeyboardTest, NothingToTypeOrARefusedCreationTypesNothing) {
  for (unsigned long refused :
       std::vector<unsigned long>{0, UI_DEV_SETUP, UI_DEV_CREATE}) {
    SCOPED_TRACE(refused);
    FakeKernel kernel;
    UinputPadBackend backend(nullptr, kernel);
    EXPECT_FALSE(backend.SendKeyChord({KEY_LEFTCTRL}, 0));
    EXPECT_FALSE(backend.SendMouseButton(0, true));
    EXPECT_TRUE(kernel.Calls().empty()) << "no device for nothing to type";
    kernel.FailRequest(refused);
    EXPECT_FALSE(backend.SendMouseButton(BTN_LEFT, true));
    EXPECT_TRUE(kernel.OpenDescriptors().empty());
    EXPECT_EQ(kernel.Misuses(), 0);
    EXPECT_TRUE(backend.SendMouseButton(BTN_LEFT, true));
    EXPECT_EQ(kernel.OpenDescriptors().size(), 1u);
  }
}

// A press that did not arrive whole is not followed by a release.
TEST(MacroKeyboardTest, ReportsSucceedOnlyWhenTheyArriveWhole) {
  const struct {
    bool chord;
    std::vector<ssize_t> writes;
    bool expected;
    size_t batches;
  } cases[] = {
      {true, {24}, false, 1},
      {true, {72, 48}, false, 2},
      {false, {24}, false, 1},
  };
  for (const auto& c : cases) {
    FakeKernel kernel;
    UinputPadBackend backend(nullptr, kernel);
    // Creates the device, with a report of its own.
    ASSERT_TRUE(backend.SendMouseButton(BTN_LEFT, false));
    for (ssize_t result : c.writes) {
      kernel.ScriptWrite(result);
    }
    EXPECT_EQ(c.chord ? backend.SendKeyChord({KEY_LEFTCTRL}, KEY_T)
                      : backend.SendMouseButton(BTN_LEFT, true),
              c.expected);
    EXPECT_EQ(input_testing::Batches(
                  kernel.Calls(),
                  input_testing::OpenedDescriptors(kernel.Calls()).front())
                  .size(),
              1 + c.batches);
  }
}

// Mounts, unmounts, frames, rumble, clicks and repairs racing each other;
// run under ThreadSanitizer too.
TEST(UinputPadBackendThreadsTest, EverythingAtOnceStaysConsistent) {
  FakeKernel kernel;
  kernel.SetNode(input_testing::NodeState::kNoPermission);
  std::atomic<bool> done{false};
  {
    // Without a callback, so the rumble goes nowhere.
    UinputPadBackend backend(nullptr, kernel);
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
              backend.SendMouseButton(BTN_LEFT, round % 20 == 0);
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

using Rumble = std::tuple<int64_t, int64_t, int64_t>;

constexpr int64_t kPlayer = 6;

ff_effect Effect(uint16_t type, int16_t id, uint16_t strong, uint16_t weak) {
  ff_effect effect{};
  effect.type = type;
  effect.id = id;
  effect.u.rumble = {strong, weak};
  return effect;
}

class ForceFeedbackWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(backend_.MountController(kPlayer, Persona(1), ""));
    fd_ = input_testing::OpenedDescriptors(kernel_.Calls()).front();
  }

  // Every rumble so far, once the worker handled all that was queued.
  std::vector<Rumble> Rumbles(bool wait = true) {
    EXPECT_TRUE(!wait || kernel_.WaitIdle(fd_));
    std::scoped_lock lock(mutex_);
    return rumbles_;
  }

  // How many `request` ioctls the worker made, each upload accepted.
  size_t Requests(unsigned long request) {
    size_t made = 0;
    for (const KernelCall& call : kernel_.Calls()) {
      made += call.request == request ? 1 : 0;
      EXPECT_TRUE(!call.upload || call.upload->retval == 0);
    }
    return made;
  }

  FakeKernel kernel_;
  std::mutex mutex_;
  std::vector<Rumble> rumbles_;
  UinputPadBackend backend_{
      [this](int64_t player, int64_t strong, int64_t weak) {
        std::scoped_lock lock(mutex_);
        rumbles_.emplace_back(player, strong, weak);
      },
      kernel_};
  int fd_ = -1;
};

// What the kernel never hands a worker.
TEST_F(ForceFeedbackWorkerTest, PlaysReportTheUploadedStrengthsOrSilence) {
  const struct {
    uint16_t type;  // 0: nothing uploaded
    bool erase_first;
    int32_t play_value;
    int64_t expected_strong, expected_weak;
  } cases[] = {
      {FF_RUMBLE, false, 5, 255, 0},  // a repeat count
      {FF_RUMBLE, false, -1, 0, 0},
      {FF_RUMBLE, true, 1, 0, 0},
      {0, false, 1, 0, 0},
      // Accepted, so that games probing with it keep the device, but silent.
      {0x51, false, 1, 0, 0},
  };
  // Ids never queued make the begin requests fail; a failed begin gets no end.
  kernel_.QueueEvent(fd_, EV_UINPUT, UI_FF_UPLOAD, 77);
  kernel_.QueueEvent(fd_, EV_UINPUT, UI_FF_ERASE, 78);
  uint32_t request = 0;
  int16_t effect_id = 0;
  std::vector<Rumble> expected;
  for (const auto& c : cases) {
    ++effect_id;
    if (c.type != 0) {
      kernel_.QueueUpload(fd_, ++request,
                          Effect(c.type, effect_id, 65535, 256));
    }
    if (c.erase_first) {
      kernel_.QueueErase(fd_, ++request, effect_id);
    }
    kernel_.QueueEvent(fd_, EV_FF, effect_id, c.play_value);
    expected.emplace_back(kPlayer, c.expected_strong, c.expected_weak);
  }
  // Should the kernel's stop before an erase be lost, only the erase of the
  // playing effect silences the handheld.
  kernel_.QueueUpload(fd_, 20, Effect(FF_RUMBLE, 20, 0, 65535));
  kernel_.QueueEvent(fd_, EV_FF, 20, 1);
  kernel_.QueueErase(fd_, 21, 1);
  expected.emplace_back(kPlayer, 0, 255);
  EXPECT_EQ(Rumbles(), expected);
  kernel_.QueueErase(fd_, 22, 20);
  expected.emplace_back(kPlayer, 0, 0);
  EXPECT_EQ(Rumbles(), expected);
  EXPECT_EQ(Requests(UI_BEGIN_FF_UPLOAD), 6u);
  EXPECT_EQ(Requests(UI_END_FF_UPLOAD), 5u);
  EXPECT_EQ(Requests(UI_BEGIN_FF_ERASE), 4u);
  EXPECT_EQ(Requests(UI_END_FF_ERASE), 3u);
}

// The descriptor is closed only once the worker left its poll.
TEST_F(ForceFeedbackWorkerTest, UnmountDuringAFloodOfPlaysEnds) {
  kernel_.Flood(fd_, EV_FF, 0, 1);
  for (int waited_ms = 0; Rumbles(false).size() < 3 && waited_ms < 5000;
       waited_ms += 2) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_GE(Rumbles(false).size(), 3u);
  EXPECT_TRUE(backend_.UnmountController(kPlayer));
  EXPECT_TRUE(kernel_.OpenDescriptors().empty());
  EXPECT_EQ(kernel_.Misuses(), 0);
}

}  // namespace
