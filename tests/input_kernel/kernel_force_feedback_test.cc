// Rumble as a real game drives it: effects uploaded, played, stopped and
// erased through the gamepad's evdev node.
#include <errno.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <tuple>
#include <utility>

#include "evdev_device.h"
#include "input/uinput_pad_backend.h"

namespace {

using input_kernel_testing::EvdevDevice;
using input_kernel_testing::NowMs;
using korvane_bridge::UinputPadBackend;

// (player, strong motor, weak motor)
using Rumble = std::tuple<int64_t, int64_t, int64_t>;

// What a game holding the gamepad's event node for reading and writing
// does with it. Uploads (or, with an id, updates) a rumble effect and
// returns its id, or -1; without a length it plays until stopped.
int Upload(int fd,
           uint16_t strong,
           uint16_t weak,
           int id = -1,
           uint16_t delay_ms = 0,
           uint16_t length_ms = 0) {
  ff_effect effect{};
  effect.type = FF_RUMBLE;
  effect.id = id;
  effect.u.rumble.strong_magnitude = strong;
  effect.u.rumble.weak_magnitude = weak;
  effect.replay.delay = delay_ms;
  effect.replay.length = length_ms;
  return ioctl(fd, EVIOCSFF, &effect) < 0 ? -1 : effect.id;
}

// 1 plays, 0 stops; ENODEV once the pad is gone.
bool Send(int fd, uint16_t code, int32_t value) {
  input_event event{};
  event.type = EV_FF;
  event.code = code;
  event.value = value;
  return write(fd, &event, sizeof(event)) == sizeof(event);
}

// A mounted gamepad whose rumble callbacks, made on its force-feedback
// thread, are kept in order, and a game holding its event node.
class KernelForceFeedbackTest : public ::testing::Test {
 protected:
  static constexpr int64_t kPlayer = 3;

  void SetUp() override {
    ASSERT_TRUE(backend_.MountController(
        kPlayer, KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_SONY_WIRELESS_CONTROLLER,
        "rumble pad"));
    game_ = EvdevDevice::Open("rumble pad", O_RDWR);
    ASSERT_TRUE(game_.has_value());
    fd_ = game_->fd();
  }

  // The next rumble callback and when it was made; nullopt after
  // `timeout_ms`.
  std::optional<std::pair<Rumble, double>> NextCall(int timeout_ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [this] { return !calls_.empty(); })) {
      return std::nullopt;
    }
    const auto call = calls_.front();
    calls_.pop_front();
    return call;
  }

  // When the next callback was made, which must report `strong` and `weak`.
  double Next(int64_t strong, int64_t weak, int timeout_ms = 2000) {
    const auto call = NextCall(timeout_ms);
    EXPECT_EQ(call ? call->first : Rumble(), Rumble(kPlayer, strong, weak));
    return call ? call->second : 0;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::pair<Rumble, double>> calls_;
  UinputPadBackend backend_{
      [this](int64_t player, int64_t strong, int64_t weak) {
        std::scoped_lock lock(mutex_);
        calls_.push_back({Rumble{player, strong, weak}, NowMs()});
        changed_.notify_all();
      }};
  std::optional<EvdevDevice> game_;
  int fd_ = -1;
};

TEST_F(KernelForceFeedbackTest, PlayStopAndEraseReachTheCallback) {
  int id = Upload(fd_, 0xFFFF, 0x8000);
  ASSERT_GE(id, 0);
  EXPECT_FALSE(NextCall(0)) << "an upload alone makes no callback";
  ASSERT_TRUE(Send(fd_, id, 1));
  Next(255, 127);
  ASSERT_TRUE(Send(fd_, id, 0));
  Next(0, 0);
  // A stop leaves the effect uploaded: it plays again as it was.
  ASSERT_TRUE(Send(fd_, id, 1));
  Next(255, 127);
  // Gain requests have no effect: the next call is the play after it.
  ASSERT_TRUE(Send(fd_, FF_GAIN, 0x4000));
  ASSERT_EQ(Upload(fd_, 0x0101, 0x0202, id), id);  // overwrites the strengths
  ASSERT_TRUE(Send(fd_, id, 1));
  Next(1, 2);
  // The kernel stops an effect before erasing it; the slot it frees takes
  // the strengths of the next upload.
  ASSERT_EQ(ioctl(fd_, EVIOCRMFF, id), 0);
  Next(0, 0);
  ASSERT_EQ(Upload(fd_, 0x0303, 0x0404), id);
  ASSERT_TRUE(Send(fd_, id, 1));
  Next(3, 4);
  // A game that quits has the kernel erase its effects the same way.
  game_.reset();
  Next(0, 0);
  EXPECT_TRUE(backend_.UnmountController(kPlayer));
  EXPECT_FALSE(NextCall(200).has_value()) << "a silent pad goes without a word";
}

// The handheld rumbles while the effect would: from the end of its delay to
// the end of its length. Lower bounds only, as an emulated guest may lag.
TEST_F(KernelForceFeedbackTest, TimedEffectsStartAfterTheirDelayAndRunOut) {
  const int timed = Upload(fd_, 0xFFFF, 0x8000, -1, 200, 200);
  ASSERT_GE(timed, 0);
  const double sent = NowMs();
  ASSERT_TRUE(Send(fd_, timed, 1));
  EXPECT_GE(Next(255, 127, 5000) - sent, 200.0);
  EXPECT_GE(Next(0, 0, 5000) - sent, 400.0) << "an effect that ran out";

  // Stopped within its delay, it never starts.
  ASSERT_TRUE(Send(fd_, timed, 1));
  ASSERT_TRUE(Send(fd_, timed, 0));
  Next(0, 0);
  EXPECT_FALSE(NextCall(600).has_value());

  // A later play supersedes a short one, whose end then silences nothing;
  // without a length it plays until stopped.
  const int brief = Upload(fd_, 0xFFFF, 0xFFFF, -1, 0, 300);
  const int endless = Upload(fd_, 0x0101, 0x0202);
  ASSERT_GE(brief, 0);
  ASSERT_GE(endless, 0);
  ASSERT_TRUE(Send(fd_, brief, 1));
  ASSERT_TRUE(Send(fd_, endless, 1));
  Next(255, 255);
  Next(1, 2);
  EXPECT_FALSE(NextCall(800).has_value());
  ASSERT_TRUE(Send(fd_, endless, 0));
  Next(0, 0);
}

TEST_F(KernelForceFeedbackTest, UnmountWhileAGameRumblesIsQuickAndSilences) {
  const int id = Upload(fd_, 0xFFFF, 0xFFFF);
  ASSERT_GE(id, 0);
  ASSERT_TRUE(Send(fd_, id, 1));
  Next(255, 255);

  const double start = NowMs();
  EXPECT_TRUE(backend_.UnmountController(kPlayer));
  const double took = NowMs() - start;
  printf("figure: unmount during rumble took %.1f ms\n", took);
  // One 100 ms poll period, with room for a loaded emulator; a worker that
  // missed the stop would hold the unmount for good.
  EXPECT_LT(took, 500.0);
  // Made before the worker was joined, so already there.
  Next(0, 0, 0);
  EXPECT_FALSE(Send(fd_, id, 1));
  EXPECT_EQ(errno, ENODEV);
  EXPECT_FALSE(NextCall(200).has_value()) << "no callback after the unmount";
}

}  // namespace
