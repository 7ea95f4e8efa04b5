// Identity, chord order, skipped zero modifiers and clicks are checked
// through the real kernel
// (KernelMacroKeyboardTest.ChordsAndButtonsArriveInOrder). Here: refused
// creations and writes, which only the fake can stage. That the keyboard
// outlives UnmountAll but not the backend is checked in
// UinputPadBackendThreadsTest.EverythingAtOnceStaysConsistent.
#include <gtest/gtest.h>

#include <vector>

#include "fake_kernel.h"
#include "input/uinput_pad_backend.h"

namespace {

using input_testing::Batches;
using input_testing::FakeKernel;
using input_testing::OpenedDescriptors;
using korvane_bridge::UinputPadBackend;

constexpr uint16_t kLeftCtrl = 29;
constexpr uint16_t kT = 20;
constexpr uint16_t kLeftButton = 0x110;

size_t BatchCount(const FakeKernel& kernel) {
  const auto calls = kernel.Calls();
  const auto opened = OpenedDescriptors(calls);
  EXPECT_EQ(opened.size(), 1u) << "the keyboard is created once";
  return opened.empty() ? 0 : Batches(calls, opened[0]).size();
}

TEST(MacroKeyboardTest, ZeroKeyOrButtonIsRefusedWithoutCreatingTheDevice) {
  FakeKernel kernel;
  UinputPadBackend backend(nullptr, kernel);
  EXPECT_FALSE(backend.SendKeyChord({kLeftCtrl}, 0));
  EXPECT_FALSE(backend.SendMouseButton(0, true));
  EXPECT_TRUE(kernel.Calls().empty());
}

TEST(MacroKeyboardTest, AFailedCreationIsRetriedOnTheNextCall) {
  for (const auto& step : input_testing::kCreationSteps) {
    FakeKernel kernel;
    UinputPadBackend backend(nullptr, kernel);
    step.fail_next(kernel);
    EXPECT_FALSE(backend.SendMouseButton(kLeftButton, true)) << step.name;
    EXPECT_TRUE(kernel.OpenDescriptors().empty()) << step.name;
    EXPECT_EQ(kernel.Misuses(), 0) << step.name;
    EXPECT_TRUE(backend.SendMouseButton(kLeftButton, true)) << step.name;
    EXPECT_EQ(kernel.OpenDescriptors().size(), 1u) << step.name;
  }
}

// A chord is a press report and a release report; a press that did not
// arrive whole is not followed by a release.
TEST(MacroKeyboardTest, AChordSucceedsOnlyWhenBothReportsArriveWhole) {
  const struct {
    const char* what;
    std::vector<ssize_t> writes;
    bool expected;
    size_t chord_batches;
  } cases[] = {
      {"both whole", {}, true, 2},
      {"press refused", {-1}, false, 1},
      {"press short", {24}, false, 1},
      {"release short", {72, 48}, false, 2},
      {"release refused", {72, -1}, false, 2},
  };
  for (const auto& c : cases) {
    FakeKernel kernel;
    UinputPadBackend backend(nullptr, kernel);
    // Creates the device, with one report of its own.
    ASSERT_TRUE(backend.SendMouseButton(kLeftButton, false));
    for (ssize_t result : c.writes) {
      kernel.ScriptWrite(result);
    }
    EXPECT_EQ(backend.SendKeyChord({kLeftCtrl}, kT), c.expected) << c.what;
    EXPECT_EQ(BatchCount(kernel), 1 + c.chord_batches) << c.what;
  }
}

TEST(MacroKeyboardTest, AShortButtonReportIsAFailure) {
  FakeKernel kernel;
  UinputPadBackend backend(nullptr, kernel);
  ASSERT_TRUE(backend.SendMouseButton(kLeftButton, true));
  kernel.ScriptWrite(24);
  EXPECT_FALSE(backend.SendMouseButton(kLeftButton, false));
  EXPECT_EQ(BatchCount(kernel), 2u);
}

}  // namespace
