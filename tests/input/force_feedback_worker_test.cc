// Upload, play, stop, gain, overwrite, erase, timed effects and unmount
// during rumble as a game drives them are KernelForceFeedbackTest's. Here:
// what the kernel never hands a worker (plays of unknown or erased effects,
// odd play values, an erase without its stop, refused requests) and a game
// that never stops sending.
#include "input/force_feedback_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "fake_kernel.h"
#include "input/uinput_pad_backend.h"

namespace {

using input_testing::CallsOn;
using input_testing::FakeKernel;
using input_testing::KernelCall;
using input_testing::OpenedDescriptors;
using korvane_bridge::UinputPadBackend;

using Rumble = std::tuple<int64_t, int64_t, int64_t>;

constexpr auto kXbox = KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_XBOX_360_PAD;
constexpr uint16_t kPeriodic = 0x51;

ff_effect Effect(uint16_t type, int16_t id, uint16_t strong, uint16_t weak) {
  ff_effect effect;
  memset(&effect, 0, sizeof(effect));
  effect.type = type;
  effect.id = id;
  effect.u.rumble.strong_magnitude = strong;
  effect.u.rumble.weak_magnitude = weak;
  return effect;
}

std::vector<KernelCall> Requests(const FakeKernel& kernel,
                                 int fd,
                                 unsigned long request) {
  return CallsOn(kernel.Calls(), KernelCall::Kind::kIoctl, fd, request);
}

class ForceFeedbackWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(backend_.MountController(kPlayer, kXbox, ""));
    fd_ = OpenedDescriptors(kernel_.Calls()).front();
  }

  // Events are handled in order, so once the worker has answered an upload
  // queued last, everything before it has been handled, callbacks included.
  std::vector<Rumble> RumblesAfterFence() {
    const uint32_t request = ++fences_ + 1000;
    kernel_.QueueUpload(fd_, request, Effect(kPeriodic, 15, 0, 0));
    for (int waited_ms = 0; waited_ms < 5000; waited_ms += 2) {
      for (const KernelCall& end : Requests(kernel_, fd_, UI_END_FF_UPLOAD)) {
        if (end.upload->request_id == request) {
          std::lock_guard<std::mutex> lock(mutex_);
          return rumbles_;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ADD_FAILURE() << "the worker never answered upload " << request;
    return {};
  }

  static constexpr int64_t kPlayer = 6;
  FakeKernel kernel_;
  std::mutex mutex_;
  std::vector<Rumble> rumbles_;
  uint32_t fences_ = 0;
  UinputPadBackend backend_{
      [this](int64_t player, int64_t strong, int64_t weak) {
        std::lock_guard<std::mutex> lock(mutex_);
        rumbles_.emplace_back(player, strong, weak);
      },
      kernel_};
  int fd_ = -1;
};

TEST_F(ForceFeedbackWorkerTest, PlaysReportTheUploadedStrengthsOrSilence) {
  const struct {
    const char* what;
    uint16_t type;  // 0: nothing uploaded
    bool erase_first;
    int32_t play_value;
    int64_t expected_strong, expected_weak;
  } cases[] = {
      {"repeat count", FF_RUMBLE, false, 5, 255, 0},
      {"negative value", FF_RUMBLE, false, -1, 0, 0},
      {"erased", FF_RUMBLE, true, 1, 0, 0},
      {"never uploaded", 0, false, 1, 0, 0},
      // Accepted, so that games probing with it keep the device, but silent.
      {"periodic", kPeriodic, false, 1, 0, 0},
  };
  uint32_t request = 0;
  int16_t effect_id = 0;
  for (const auto& c : cases) {
    ++effect_id;
    if (c.type != 0) {
      kernel_.QueueUpload(fd_, ++request,
                          Effect(c.type, effect_id, 65535, 256));
    }
    if (c.erase_first) {
      kernel_.QueueErase(fd_, ++request, effect_id);
    }
    const size_t before = RumblesAfterFence().size();
    kernel_.QueueEvent(fd_, EV_FF, effect_id, c.play_value);
    const auto rumbles = RumblesAfterFence();
    ASSERT_EQ(rumbles.size(), before + 1) << c.what;
    EXPECT_EQ(rumbles.back(),
              Rumble(kPlayer, c.expected_strong, c.expected_weak))
        << c.what;
  }
  for (const KernelCall& end : Requests(kernel_, fd_, UI_END_FF_UPLOAD)) {
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
  EXPECT_EQ(RumblesAfterFence(), (std::vector<Rumble>{{kPlayer, 255, 0}}));
  kernel_.QueueErase(fd_, 4, 4);
  EXPECT_EQ(RumblesAfterFence(),
            (std::vector<Rumble>{{kPlayer, 255, 0}, {kPlayer, 0, 0}}));
}

TEST_F(ForceFeedbackWorkerTest, AFailedBeginGetsNoEnd) {
  // Request ids the fake kernel does not know make the begin requests fail.
  kernel_.QueueEvent(fd_, EV_UINPUT, UI_FF_UPLOAD, 77);
  kernel_.QueueEvent(fd_, EV_UINPUT, UI_FF_ERASE, 78);
  RumblesAfterFence();
  // The fence's own upload is the second begin and the only end.
  EXPECT_EQ(Requests(kernel_, fd_, UI_BEGIN_FF_UPLOAD).size(), 2u);
  EXPECT_EQ(Requests(kernel_, fd_, UI_END_FF_UPLOAD).size(), 1u);
  EXPECT_EQ(Requests(kernel_, fd_, UI_BEGIN_FF_ERASE).size(), 1u);
  EXPECT_TRUE(Requests(kernel_, fd_, UI_END_FF_ERASE).empty());
}

// A game whose requests never run dry: the worker must still notice the
// stop, and the descriptor is closed only once it left its poll.
TEST(ForceFeedbackWorkerStopTest, UnmountDuringAFloodOfPlaysEnds) {
  FakeKernel kernel;
  std::atomic<int> rumbles{0};
  UinputPadBackend backend([&](int64_t, int64_t, int64_t) { ++rumbles; },
                           kernel);
  ASSERT_TRUE(backend.MountController(1, kXbox, ""));
  kernel.Flood(OpenedDescriptors(kernel.Calls()).front(), EV_FF, 0, 1);
  for (int waited_ms = 0; rumbles < 3 && waited_ms < 5000; waited_ms += 2) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_GE(rumbles, 3);

  EXPECT_TRUE(backend.UnmountController(1));
  EXPECT_TRUE(kernel.OpenDescriptors().empty());
  EXPECT_EQ(kernel.Misuses(), 0);
}

}  // namespace
