#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "fake_kernel.h"
#include "input_test_support.h"
#include "uinput_pad_backend.h"

namespace {

using input_testing::Batches;
using input_testing::CallsOn;
using input_testing::Event;
using input_testing::Events;
using input_testing::FakeKernel;
using input_testing::KernelCall;
using input_testing::OpenedDescriptors;
using korvane_bridge::UinputPadBackend;

constexpr Event kSyn = {0, 0, 0};
constexpr uint16_t kLeftCtrl = 29;
constexpr uint16_t kT = 20;
constexpr uint16_t kLeftButton = 0x110;

std::vector<std::vector<Event>> EventBatches(const FakeKernel& kernel) {
  std::vector<std::vector<Event>> batches;
  const auto calls = kernel.Calls();
  for (int fd : OpenedDescriptors(calls)) {
    for (const auto& batch : Batches(calls, fd)) {
      EXPECT_TRUE(input_testing::TimeStampsZero(batch));
      batches.push_back(Events(batch));
    }
  }
  return batches;
}

class MacroKeyboardTest : public ::testing::Test {
 protected:
  FakeKernel kernel_;
  UinputPadBackend backend_{nullptr, kernel_};
};

TEST_F(MacroKeyboardTest, ZeroKeyOrButtonIsRefusedWithoutCreatingTheDevice) {
  EXPECT_FALSE(backend_.SendKeyChord({kLeftCtrl}, 0));
  EXPECT_FALSE(backend_.SendMouseButton(0, true));
  EXPECT_TRUE(kernel_.Calls().empty());
}

TEST_F(MacroKeyboardTest, TheDeviceIsCreatedOnceWithItsIdentity) {
  EXPECT_TRUE(backend_.SendKeyChord({}, kT));
  EXPECT_TRUE(backend_.SendMouseButton(kLeftButton, true));
  EXPECT_TRUE(backend_.SendKeyChord({kLeftCtrl}, kT));
  const auto calls = kernel_.Calls();
  const auto opened = OpenedDescriptors(calls);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(calls.front().flags & (O_ACCMODE | O_NONBLOCK),
            O_WRONLY | O_NONBLOCK);

  std::vector<std::pair<unsigned long, int>> declared;
  const uinput_setup* setup = nullptr;
  const auto ioctls = CallsOn(calls, KernelCall::Kind::kIoctl, opened[0]);
  for (const KernelCall& call : ioctls) {
    if (call.setup) {
      setup = &*call.setup;
      break;
    }
    declared.emplace_back(call.request, call.value);
  }
  std::vector<std::pair<unsigned long, int>> expected = {
      {UI_SET_EVBIT, 1}, {UI_SET_EVBIT, 2}, {UI_SET_EVBIT, 0}};
  for (int key = 1; key <= 248; ++key) {
    expected.emplace_back(UI_SET_KEYBIT, key);
  }
  for (int button : {0x110, 0x111, 0x112}) {
    expected.emplace_back(UI_SET_KEYBIT, button);
  }
  expected.emplace_back(UI_SET_RELBIT, 0);
  expected.emplace_back(UI_SET_RELBIT, 1);
  EXPECT_EQ(declared, expected);

  ASSERT_NE(setup, nullptr);
  EXPECT_EQ(setup->id.bustype, 0x0003);
  EXPECT_EQ(setup->id.vendor, 0x1209);
  EXPECT_EQ(setup->id.product, 0x4B56);
  EXPECT_EQ(setup->id.version, 0x0001);
  EXPECT_STREQ(setup->name, "Korvane Virtual Macro Keyboard");
  EXPECT_EQ(setup->ff_effects_max, 0u);
  EXPECT_EQ(ioctls[declared.size() + 1].request, UI_DEV_CREATE);
}

TEST_F(MacroKeyboardTest, AFailedCreationIsRetriedOnTheNextCall) {
  for (auto step : input_testing::kCreationSteps) {
    FakeKernel kernel;
    UinputPadBackend backend(nullptr, kernel);
    FailNextCreationAt(kernel, step);
    EXPECT_FALSE(backend.SendMouseButton(kLeftButton, true)) << Name(step);
    EXPECT_TRUE(kernel.OpenDescriptors().empty()) << Name(step);
    EXPECT_TRUE(backend.SendMouseButton(kLeftButton, true)) << Name(step);
    EXPECT_EQ(kernel.OpenDescriptors().size(), 1u) << Name(step);
  }
}

TEST_F(MacroKeyboardTest, AFailedPressSendsNoRelease) {
  ASSERT_TRUE(backend_.SendMouseButton(kLeftButton, false));
  kernel_.ScriptWrite(-1);
  EXPECT_FALSE(backend_.SendKeyChord({kLeftCtrl}, kT));
  kernel_.ScriptWrite(24);
  EXPECT_FALSE(backend_.SendKeyChord({kLeftCtrl}, kT));
  EXPECT_EQ(EventBatches(kernel_).size(), 3u);
}

TEST_F(MacroKeyboardTest, AFailedReleaseIsReported) {
  ASSERT_TRUE(backend_.SendMouseButton(kLeftButton, false));
  kernel_.ScriptWrite(72);
  kernel_.ScriptWrite(48);
  EXPECT_FALSE(backend_.SendKeyChord({kLeftCtrl}, kT));
  EXPECT_EQ(EventBatches(kernel_).size(), 3u);
}

TEST_F(MacroKeyboardTest, AClickIsTwoReports) {
  EXPECT_TRUE(backend_.SendMouseButton(kLeftButton, true));
  EXPECT_TRUE(backend_.SendMouseButton(kLeftButton, false));
  const auto batches = EventBatches(kernel_);
  ASSERT_EQ(batches.size(), 2u);
  EXPECT_EQ(batches[0], (std::vector<Event>{{1, kLeftButton, 1}, kSyn}));
  EXPECT_EQ(batches[1], (std::vector<Event>{{1, kLeftButton, 0}, kSyn}));
  kernel_.ScriptWrite(24);
  EXPECT_FALSE(backend_.SendMouseButton(kLeftButton, true));
}

TEST(MacroKeyboardLifetimeTest, OnlyTheBackendsEndRemovesTheDevice) {
  FakeKernel kernel;
  int fd = -1;
  {
    UinputPadBackend backend(nullptr, kernel);
    ASSERT_TRUE(backend.SendKeyChord({}, kT));
    fd = OpenedDescriptors(kernel.Calls()).front();
    backend.UnmountAll();
    EXPECT_EQ(kernel.OpenDescriptors(), std::set<int>{fd});
  }
  const auto ioctls = CallsOn(kernel.Calls(), KernelCall::Kind::kIoctl, fd);
  EXPECT_EQ(ioctls.back().request, UI_DEV_DESTROY);
  EXPECT_TRUE(kernel.OpenDescriptors().empty());
}

}  // namespace
