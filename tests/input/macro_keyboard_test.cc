// Identity, chord order, skipped zero modifiers and clicks are
// KernelMacroKeyboardTest's. Here: refused creations and writes, which only
// the fake can stage.
#include <gtest/gtest.h>

#include <vector>

#include "fake_kernel.h"
#include "input/uinput_pad_backend.h"

namespace {

using input_testing::FakeKernel;
using korvane_bridge::UinputPadBackend;

constexpr uint16_t kLeftCtrl = 29;
constexpr uint16_t kT = 20;
constexpr uint16_t kLeftButton = 0x110;

TEST(MacroKeyboardTest, ZeroKeysAndFailedCreationsTypeNothingAndRetry) {
  {
    FakeKernel kernel;
    UinputPadBackend backend(nullptr, kernel);
    EXPECT_FALSE(backend.SendKeyChord({kLeftCtrl}, 0));
    EXPECT_FALSE(backend.SendMouseButton(0, true));
    EXPECT_TRUE(kernel.Calls().empty()) << "no device for nothing to type";
  }
  // The open, then the setup and the creation refused.
  for (unsigned long refused :
       std::vector<unsigned long>{0, UI_DEV_SETUP, UI_DEV_CREATE}) {
    FakeKernel kernel;
    UinputPadBackend backend(nullptr, kernel);
    refused == 0 ? kernel.FailOpens() : kernel.FailRequest(refused);
    EXPECT_FALSE(backend.SendMouseButton(kLeftButton, true)) << refused;
    EXPECT_TRUE(kernel.OpenDescriptors().empty()) << refused;
    EXPECT_EQ(kernel.Misuses(), 0) << refused;
    EXPECT_TRUE(backend.SendMouseButton(kLeftButton, true)) << refused;
    EXPECT_EQ(kernel.OpenDescriptors().size(), 1u) << refused;
  }
}

// A chord is a press report and a release report; a press that did not
// arrive whole is not followed by a release.
TEST(MacroKeyboardTest, ReportsSucceedOnlyWhenTheyArriveWhole) {
  const struct {
    const char* what;
    bool chord;
    std::vector<ssize_t> writes;
    bool expected;
    size_t batches;
  } cases[] = {
      {"both whole", true, {}, true, 2},
      {"press refused", true, {-1}, false, 1},
      {"press short", true, {24}, false, 1},
      {"release short", true, {72, 48}, false, 2},
      {"release refused", true, {72, -1}, false, 2},
      {"button short", false, {24}, false, 1},
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
              c.expected)
        << c.what;
    const auto calls = kernel.Calls();
    EXPECT_EQ(input_testing::Batches(calls, 100).size(), 1 + c.batches)
        << c.what;
  }
}

}  // namespace
