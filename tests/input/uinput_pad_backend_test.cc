// Mounting a persona, its identity and a stream of frames are checked through
// the real kernel (KernelGamepadTest); here re-mounts, refusals and the order
// of teardown, which the kernel does not show.
#include "input/uinput_pad_backend.h"

#include <gtest/gtest.h>
#include <string.h>

#include <chrono>
#include <string>
#include <vector>

#include "fake_kernel.h"
#include "input_test_support.h"

namespace {

using input_testing::CallsOn;
using input_testing::FakeKernel;
using input_testing::KernelCall;
using input_testing::NewFrame;
using input_testing::OpenedDescriptors;
using input_testing::RestingControls;
using korvane_bridge::UinputPadBackend;
using Trace = std::vector<std::string>;

constexpr auto kSony =
    KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_SONY_WIRELESS_CONTROLLER;
constexpr auto kXbox = KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_XBOX_360_PAD;
constexpr auto kNintendo =
    KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_NINTENDO_PRO_CONTROLLER;

KorvaneBridgeNativeGamepadPersona Persona(int value) {
  return static_cast<KorvaneBridgeNativeGamepadPersona>(value);
}

// The opens, creations, destructions and closes from the `from`th call on,
// as "open 100", "create 100", "destroy 100", "close 100".
Trace Lifecycle(const FakeKernel& kernel, size_t from = 0) {
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

// The old device goes before the new one exists, so a game never sees two
// pads for one player. Persona values are compared as given: 7 poses as the
// Xbox pad but is another value.
TEST(UinputPadBackendTest, OnlyAnotherPersonaReplacesTheDevice) {
  const Trace kept = {"open 100", "create 100"};
  const Trace replaced = {"open 100",  "create 100", "destroy 100",
                          "close 100", "open 101",   "create 101"};
  const struct {
    KorvaneBridgeNativeGamepadPersona first;
    KorvaneBridgeNativeGamepadPersona second;
    const Trace& expected;
  } cases[] = {{kSony, kSony, kept},
               {kSony, kNintendo, replaced},
               {kXbox, Persona(7), replaced},
               {Persona(7), kXbox, replaced}};
  for (const auto& c : cases) {
    FakeKernel kernel;
    UinputPadBackend backend(nullptr, kernel);
    ASSERT_TRUE(backend.MountController(3, c.first, "First"));
    ASSERT_TRUE(backend.MountController(3, c.second, "Second"));
    EXPECT_EQ(backend.MountedCount(), 1u);
    EXPECT_EQ(Lifecycle(kernel), c.expected);
    Trace names;
    for (const KernelCall& call : kernel.Calls()) {
      if (call.setup) {
        names.push_back(call.setup->name);
      }
    }
    EXPECT_EQ(names, (&c.expected == &kept ? Trace{"First"}
                                           : Trace{"First", "Second"}));
  }
}

// A persona out of range poses as the Xbox pad; capabilities the kernel
// refuses do not stop the creation.
TEST(UinputPadBackendTest, CreationToleratesOddPersonasAndRefusedCapabilities) {
  FakeKernel kernel;
  kernel.FailRequest(UI_SET_FFBIT);
  kernel.FailRequest(UI_ABS_SETUP, 8);
  UinputPadBackend backend(nullptr, kernel);
  ASSERT_TRUE(backend.MountController(1, Persona(-1), ""));
  for (const KernelCall& call : kernel.Calls()) {
    if (call.setup) {
      EXPECT_STREQ(call.setup->name, "Microsoft X-Box 360 pad");
      EXPECT_EQ(call.setup->id.vendor, 0x045E);
      EXPECT_EQ(call.setup->id.product, 0x028E);
    }
  }
}

TEST(UinputPadBackendTest, PlayersOutsideOneToEightAreRefused) {
  FakeKernel kernel;
  UinputPadBackend backend(nullptr, kernel);
  for (int64_t player : {0, 9, -1, 1000}) {
    EXPECT_FALSE(backend.MountController(player, kXbox, "")) << player;
  }
  EXPECT_TRUE(kernel.Calls().empty());
  EXPECT_TRUE(backend.MountController(1, kXbox, ""));
  EXPECT_TRUE(backend.MountController(8, kXbox, ""));
  EXPECT_EQ(backend.MountedCount(), 2u);
}

// Also a re-mount: the old device is gone even though the new one fails, and
// nothing follows a refused step but the close.
TEST(UinputPadBackendTest, RefusedCreationLeavesThePlayerUnmounted) {
  const Trace gone = {"destroy 100", "close 100"};
  const Trace expected[] = {{"open -1"},
                            {"open 101", "close 101"},
                            {"open 101", "create 101", "close 101"}};
  for (size_t i = 0; i < 3; ++i) {
    const auto& step = input_testing::kCreationSteps[i];
    FakeKernel kernel;
    UinputPadBackend backend(nullptr, kernel);
    ASSERT_TRUE(backend.MountController(4, kSony, ""));
    const size_t before = kernel.Calls().size();
    step.fail_next(kernel);
    EXPECT_FALSE(backend.MountController(4, kNintendo, "")) << step.name;
    EXPECT_EQ(backend.MountedCount(), 0u) << step.name;
    Trace after = gone;
    after.insert(after.end(), expected[i].begin(), expected[i].end());
    EXPECT_EQ(Lifecycle(kernel, before), after) << step.name;
    EXPECT_TRUE(kernel.OpenDescriptors().empty()) << step.name;
    EXPECT_EQ(kernel.Misuses(), 0) << step.name;
    EXPECT_FALSE(backend.SubmitFrame(NewFrame(RestingControls(4)).get()));
  }
}

TEST(UinputPadBackendTest, UnmountingIsAlwaysASuccessAndGoesInOrder) {
  FakeKernel kernel;
  // Workers wait in poll for the full period, so a close that did not wait
  // for its worker would meet it inside a poll.
  kernel.SetPollWaitLimit(std::chrono::milliseconds(100));
  UinputPadBackend backend(nullptr, kernel);
  EXPECT_TRUE(backend.UnmountController(5));
  for (int64_t player : {6, 2, 4, 5}) {
    ASSERT_TRUE(backend.MountController(player, kSony, ""));
  }
  const size_t before = kernel.Calls().size();
  EXPECT_TRUE(backend.UnmountController(5));
  EXPECT_TRUE(backend.UnmountController(5));
  backend.UnmountAll();
  EXPECT_EQ(backend.MountedCount(), 0u);
  // Then players 2, 4, 6, which were opened second, third and first.
  EXPECT_EQ(Lifecycle(kernel, before),
            (Trace{"destroy 103", "close 103", "destroy 101", "close 101",
                   "destroy 102", "close 102", "destroy 100", "close 100"}));
  EXPECT_EQ(kernel.Misuses(), 0);
}

// One whole report per write, also when nothing changed, so that a game
// never sees half a report.
TEST(UinputPadBackendTest, AFrameIsOneWholeReportToItsPlayer) {
  FakeKernel kernel;
  UinputPadBackend backend(nullptr, kernel);
  ASSERT_TRUE(backend.MountController(1, kXbox, ""));
  ASSERT_TRUE(backend.MountController(2, kXbox, ""));
  auto controls = RestingControls(2);
  controls.button_mask2 = 1 << 6;
  controls.left_stick_x = 255;
  const auto frame = NewFrame(controls);
  EXPECT_TRUE(backend.SubmitFrame(frame.get()));
  EXPECT_TRUE(backend.SubmitFrame(frame.get()));

  const auto writes = CallsOn(kernel.Calls(), KernelCall::Kind::kWrite, 101);
  ASSERT_EQ(writes.size(), 2u);
  // Compared whole, time stamps too: zero, for the kernel to fill in.
  const auto report = korvane_bridge::TranslateControls(
      controls, korvane_bridge::LayoutForPersona(kXbox));
  for (const KernelCall& write : writes) {
    ASSERT_EQ(write.events.size(), report.count);
    EXPECT_EQ(memcmp(write.events.data(), report.events.data(),
                     report.count * sizeof(input_event)),
              0);
  }
  EXPECT_TRUE(CallsOn(kernel.Calls(), KernelCall::Kind::kWrite, 100).empty());
}

TEST(UinputPadBackendTest, FramesWithoutADeviceWriteNothing) {
  FakeKernel kernel;
  UinputPadBackend backend(nullptr, kernel);
  EXPECT_FALSE(backend.SubmitFrame(nullptr));
  ASSERT_TRUE(backend.MountController(1, kXbox, ""));
  EXPECT_FALSE(backend.SubmitFrame(NewFrame(RestingControls(2)).get()));
  EXPECT_FALSE(backend.SubmitFrame(NewFrame(RestingControls(0)).get()));
  backend.UnmountController(1);
  EXPECT_FALSE(backend.SubmitFrame(NewFrame(RestingControls(1)).get()));
  EXPECT_TRUE(input_testing::Batches(kernel.Calls(), 100).empty());
}

TEST(UinputPadBackendTest, AShortOrFailedWriteDropsOnlyThatFrame) {
  FakeKernel kernel;
  UinputPadBackend backend(nullptr, kernel);
  ASSERT_TRUE(backend.MountController(1, kXbox, ""));
  const auto frame = NewFrame(RestingControls(1));
  kernel.ScriptWrite(456);
  kernel.ScriptWrite(-1);
  EXPECT_FALSE(backend.SubmitFrame(frame.get()));
  EXPECT_FALSE(backend.SubmitFrame(frame.get()));
  EXPECT_TRUE(backend.SubmitFrame(frame.get()));
  EXPECT_EQ(input_testing::Batches(kernel.Calls(), 100).size(), 3u);
}

}  // namespace
