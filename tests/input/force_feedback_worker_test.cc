// Upload, play, stop, gain, overwrite, erase, timed effects and unmount
// during rumble as a game drives them are KernelForceFeedbackTest's. Here:
// what the kernel never hands a worker (plays of unknown or erased effects,
// odd play values, an erase without its stop, refused requests) and a game
// that never stops sending.
#include "input/force_feedback_worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "fake_kernel.h"
#include "input/uinput_pad_backend.h"

namespace {

using input_testing::KernelCall;
using Rumble = std::tuple<int64_t, int64_t, int64_t>;

constexpr int64_t kPlayer = 6;

ff_effect Effect(uint16_t type, int16_t id, uint16_t strong, uint16_t weak) {
  ff_effect effect{};
  effect.type = type;
  effect.id = id;
  effect.u.rumble.strong_magnitude = strong;
  effect.u.rumble.weak_magnitude = weak;
  return effect;
}

class ForceFeedbackWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(backend_.MountController(
        kPlayer, KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_XBOX_360_PAD, ""));
    fd_ = input_testing::OpenedDescriptors(kernel_.Calls()).front();
  }

  // Every rumble so far, once the worker handled all that was queued.
  std::vector<Rumble> Rumbles(bool wait = true) {
    EXPECT_TRUE(!wait || kernel_.WaitIdle(fd_));
    std::scoped_lock lock(mutex_);
    return rumbles_;
  }

  std::vector<KernelCall> Requests(unsigned long request) {
    std::vector<KernelCall> selected;
    for (const KernelCall& call : kernel_.Calls()) {
      if (call.request == request) {
        selected.push_back(call);
      }
    }
    return selected;
  }

  input_testing::FakeKernel kernel_;
  std::mutex mutex_;
  std::vector<Rumble> rumbles_;
  korvane_bridge::UinputPadBackend backend_{
      [this](int64_t player, int64_t strong, int64_t weak) {
        std::scoped_lock lock(mutex_);
        rumbles_.emplace_back(player, strong, weak);
      },
      kernel_};
  int fd_ = -1;
};

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
  EXPECT_EQ(Rumbles(), expected);
  EXPECT_EQ(Requests(UI_BEGIN_FF_UPLOAD).size(), 5u);
  EXPECT_EQ(Requests(UI_BEGIN_FF_ERASE).size(), 2u);
  EXPECT_EQ(Requests(UI_END_FF_ERASE).size(), 1u);
  ASSERT_EQ(Requests(UI_END_FF_UPLOAD).size(), 4u);
  for (const KernelCall& end : Requests(UI_END_FF_UPLOAD)) {
    EXPECT_EQ(end.upload->retval, 0);
  }
}

// The kernel stops an effect before it erases it; should that stop be lost,
// the erase of the playing effect alone silences the handheld, and the erase
// of another effect leaves it rumbling.
TEST_F(ForceFeedbackWorkerTest, OnlyErasingThePlayingEffectSilencesThePad) {
  kernel_.QueueUpload(fd_, 1, Effect(FF_RUMBLE, 4, 65535, 0));
  kernel_.QueueUpload(fd_, 2, Effect(FF_RUMBLE, 5, 0, 65535));
  kernel_.QueueEvent(fd_, EV_FF, 4, 1);
  kernel_.QueueErase(fd_, 3, 5);
  EXPECT_EQ(Rumbles(), (std::vector<Rumble>{{kPlayer, 255, 0}}));
  kernel_.QueueErase(fd_, 4, 4);
  EXPECT_EQ(Rumbles(),
            (std::vector<Rumble>{{kPlayer, 255, 0}, {kPlayer, 0, 0}}));
}

// A game whose requests never run dry: the worker must still notice the
// stop, and the descriptor is closed only once it left its poll.
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
