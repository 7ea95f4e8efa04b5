#include "force_feedback_worker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "fake_kernel.h"
#include "input_test_support.h"
#include "uinput_pad_backend.h"

namespace {

using input_testing::CallsOn;
using input_testing::FakeKernel;
using input_testing::KernelCall;
using input_testing::OpenedDescriptors;
using input_testing::RumbleLog;
using korvane_bridge::UinputPadBackend;
using Rumble = RumbleLog::Rumble;

constexpr auto kXbox = KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_XBOX_360_PAD;
constexpr uint16_t kPeriodic = 0x51;
constexpr uint16_t kAutocenter = 0x61;

ff_effect Effect(uint16_t type, int16_t id, uint16_t strong, uint16_t weak) {
  ff_effect effect;
  memset(&effect, 0, sizeof(effect));
  effect.type = type;
  effect.id = id;
  effect.u.rumble.strong_magnitude = strong;
  effect.u.rumble.weak_magnitude = weak;
  return effect;
}

class ForceFeedbackWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(backend_.MountController(kPlayer, kXbox, ""));
    fd_ = OpenedDescriptors(kernel_.Calls()).front();
  }

  void Play(int16_t effect_id, int32_t value) {
    kernel_.QueueEvent(fd_, EV_FF, effect_id, value);
  }

  // Events are handled in order, so once the callback of this stop arrived
  // every event queued before it has been handled.
  std::vector<Rumble> RumblesUpToFence() {
    Play(15, 0);
    const size_t expected = fences_sent_ + 1 + rumbles_expected_;
    ++fences_sent_;
    EXPECT_TRUE(rumble_.WaitFor(expected));
    return rumble_.Rumbles();
  }

  std::vector<KernelCall> Requests(unsigned long request) {
    std::vector<KernelCall> selected;
    for (const KernelCall& call :
         CallsOn(kernel_.Calls(), KernelCall::Kind::kIoctl, fd_)) {
      if (call.request == request) {
        selected.push_back(call);
      }
    }
    return selected;
  }

  static constexpr int64_t kPlayer = 6;
  FakeKernel kernel_;
  RumbleLog rumble_;
  UinputPadBackend backend_{rumble_.Callback(), kernel_};
  int fd_ = -1;
  size_t fences_sent_ = 0;
  // Callbacks other than fences that the test has caused so far.
  size_t rumbles_expected_ = 0;
};

TEST_F(ForceFeedbackWorkerTest, UploadedRumbleIsReportedOnPlay) {
  kernel_.QueueUpload(fd_, 41, Effect(FF_RUMBLE, 3, 0xFFFF, 0x8000));
  Play(3, 1);
  rumbles_expected_ = 1;
  const auto rumbles = RumblesUpToFence();
  EXPECT_EQ(rumbles.front(), (Rumble{kPlayer, 255, 127}));

  const auto ends = Requests(UI_END_FF_UPLOAD);
  ASSERT_EQ(ends.size(), 1u);
  EXPECT_EQ(ends[0].upload->request_id, 41u);
  EXPECT_EQ(ends[0].upload->retval, 0);
}

TEST_F(ForceFeedbackWorkerTest, PlayAndStopReports) {
  const struct {
    const char* what;
    uint16_t strong;
    uint16_t weak;
    int32_t play_value;
    bool erase_first;
    Rumble expected;
  } cases[] = {
      {"play", 0x0101, 0x0202, 1, false, {kPlayer, 1, 2}},
      {"repeat count", 65535, 256, 5, false, {kPlayer, 255, 0}},
      {"stop", 65535, 65535, 0, false, {kPlayer, 0, 0}},
      {"negative play value", 65535, 65535, -1, false, {kPlayer, 0, 0}},
      {"erased", 65535, 65535, 1, true, {kPlayer, 0, 0}},
  };
  uint32_t request = 0;
  for (const auto& c : cases) {
    kernel_.QueueUpload(fd_, ++request, Effect(FF_RUMBLE, 2, c.strong, c.weak));
    if (c.erase_first) {
      kernel_.QueueErase(fd_, ++request, 2);
    }
    Play(2, c.play_value);
    ++rumbles_expected_;
    const auto rumbles = RumblesUpToFence();
    EXPECT_EQ(rumbles[rumbles.size() - 2], c.expected) << c.what;
  }
  const auto erase_ends = Requests(UI_END_FF_ERASE);
  ASSERT_EQ(erase_ends.size(), 1u);
  EXPECT_EQ(erase_ends[0].erase->retval, 0);
}

TEST_F(ForceFeedbackWorkerTest, UnknownEffectPlaysAsSilence) {
  Play(9, 1);
  rumbles_expected_ = 1;
  EXPECT_EQ(RumblesUpToFence().front(), (Rumble{kPlayer, 0, 0}));
}

TEST_F(ForceFeedbackWorkerTest, UploadingTheSameIdAgainOverwrites) {
  kernel_.QueueUpload(fd_, 1, Effect(FF_RUMBLE, 0, 0xFFFF, 0xFFFF));
  kernel_.QueueUpload(fd_, 2, Effect(FF_RUMBLE, 0, 0x0202, 0x0000));
  Play(0, 1);
  rumbles_expected_ = 1;
  EXPECT_EQ(RumblesUpToFence().front(), (Rumble{kPlayer, 2, 0}));
}

TEST_F(ForceFeedbackWorkerTest, OtherEffectTypesAreAcceptedButSilent) {
  kernel_.QueueUpload(fd_, 7, Effect(kPeriodic, 1, 0xFFFF, 0xFFFF));
  Play(1, 1);
  rumbles_expected_ = 1;
  EXPECT_EQ(RumblesUpToFence().front(), (Rumble{kPlayer, 0, 0}));
  const auto ends = Requests(UI_END_FF_UPLOAD);
  ASSERT_EQ(ends.size(), 1u);
  EXPECT_EQ(ends[0].upload->retval, 0);
}

TEST_F(ForceFeedbackWorkerTest, GainAutocenterAndOtherEventsGiveNothing) {
  kernel_.QueueEvent(fd_, EV_FF, FF_GAIN, 0xFFFF);
  kernel_.QueueEvent(fd_, EV_FF, kAutocenter, 0xFFFF);
  kernel_.QueueEvent(fd_, EV_UINPUT, 9, 1);
  kernel_.QueueEvent(fd_, EV_KEY, BTN_SOUTH, 1);
  EXPECT_EQ(RumblesUpToFence().size(), 1u);
}

TEST_F(ForceFeedbackWorkerTest, AFailedBeginGetsNoEnd) {
  // Request ids the fake kernel does not know make the begin requests fail.
  kernel_.QueueEvent(fd_, EV_UINPUT, UI_FF_UPLOAD, 77);
  kernel_.QueueEvent(fd_, EV_UINPUT, UI_FF_ERASE, 78);
  RumblesUpToFence();
  EXPECT_EQ(Requests(UI_BEGIN_FF_UPLOAD).size(), 1u);
  EXPECT_EQ(Requests(UI_BEGIN_FF_ERASE).size(), 1u);
  EXPECT_TRUE(Requests(UI_END_FF_UPLOAD).empty());
  EXPECT_TRUE(Requests(UI_END_FF_ERASE).empty());
}

TEST_F(ForceFeedbackWorkerTest, WaitsForTheKernelInPeriodsOf100Ms) {
  RumblesUpToFence();
  EXPECT_EQ(kernel_.PollTimeouts(), std::set<int>{100});
}

TEST(ForceFeedbackWorkerStopTest, UnmountDuringRumbleEndsPromptlyAndSilently) {
  FakeKernel kernel;
  kernel.SetPollWaitLimit(std::chrono::milliseconds(100));
  RumbleLog rumble;
  UinputPadBackend backend(rumble.Callback(), kernel);
  ASSERT_TRUE(backend.MountController(1, kXbox, ""));
  const int fd = OpenedDescriptors(kernel.Calls()).front();
  // A game that keeps playing: the reads never run dry.
  input_event play;
  memset(&play, 0, sizeof(play));
  play.type = EV_FF;
  play.value = 1;
  kernel.Flood(fd, play);
  ASSERT_TRUE(rumble.WaitFor(3));

  const auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(backend.UnmountController(1));
  const auto took = std::chrono::steady_clock::now() - started;
  const size_t after_unmount = rumble.Rumbles().size();

  // Generous: this guards against a worker that never stops, not speed.
  EXPECT_LT(took, std::chrono::seconds(2));
  EXPECT_TRUE(kernel.OpenDescriptors().empty());
  EXPECT_EQ(kernel.Misuses(), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(rumble.Rumbles().size(), after_unmount);
}

TEST(ForceFeedbackWorkerStopTest, AnEmptyCallbackIsSkipped) {
  FakeKernel kernel;
  UinputPadBackend backend(nullptr, kernel);
  ASSERT_TRUE(backend.MountController(2, kXbox, ""));
  const int fd = OpenedDescriptors(kernel.Calls()).front();
  kernel.QueueEvent(fd, EV_FF, 0, 1);
  kernel.QueueEvent(fd, EV_FF, 0, 0);
  // Handled after the play and the stop: its end request marks them done.
  kernel.QueueUpload(fd, 1, Effect(FF_RUMBLE, 0, 0xFFFF, 0xFFFF));
  EXPECT_TRUE(input_testing::Eventually([&] {
    for (const KernelCall& call : kernel.Calls()) {
      if (call.request == UI_END_FF_UPLOAD) {
        return true;
      }
    }
    return false;
  }));
  EXPECT_TRUE(backend.UnmountController(2));
}

}  // namespace
