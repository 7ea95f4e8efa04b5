#include <gtest/gtest.h>
#include <unistd.h>

#include "fake_kernel.h"
#include "uinput_pad_backend.h"

namespace {

using input_testing::FakeKernel;
using input_testing::NodeState;
using korvane_bridge::UinputPadBackend;

constexpr auto kReady = KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY;
constexpr auto kNotLoaded =
    KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_MODULE_NOT_LOADED;
constexpr auto kPermission =
    KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_PERMISSION_REQUIRED;

TEST(DriverReadinessTest, ClassifiesTheNode) {
  const struct {
    NodeState node;
    KorvaneBridgeNativeDriverReadiness expected;
  } cases[] = {{NodeState::kAbsent, kNotLoaded},
               {NodeState::kNoPermission, kPermission},
               {NodeState::kReady, kReady}};
  for (const auto& c : cases) {
    FakeKernel kernel;
    kernel.SetNode(c.node);
    UinputPadBackend backend(nullptr, kernel);
    EXPECT_EQ(backend.CheckReadiness(), c.expected);
  }
}

TEST(DriverReadinessTest, RepairRunsOnlyWhenTheNodeIsUnusable) {
  const struct {
    NodeState before;
    NodeState after_command;
    bool expected_result;
    size_t expected_commands;
  } cases[] = {
      {NodeState::kReady, NodeState::kAbsent, true, 0},
      {NodeState::kNoPermission, NodeState::kReady, true, 1},
      {NodeState::kAbsent, NodeState::kReady, true, 1},
      // Declined or failed: nothing changes.
      {NodeState::kNoPermission, NodeState::kNoPermission, false, 1},
      {NodeState::kAbsent, NodeState::kAbsent, false, 1},
      // The module loaded but the permission change did not happen.
      {NodeState::kAbsent, NodeState::kNoPermission, false, 1},
  };
  for (const auto& c : cases) {
    FakeKernel kernel;
    kernel.SetNode(c.before);
    kernel.SetNodeAfterShellCommand(c.after_command);
    UinputPadBackend backend(nullptr, kernel);
    const auto readiness_before = backend.CheckReadiness();
    EXPECT_EQ(backend.SetupOrRepairDriverInteractive(), c.expected_result);
    // The command itself is checked in the vm tier, where it runs.
    EXPECT_EQ(kernel.ShellCommands().size(), c.expected_commands);
    if (!c.expected_result && c.before == c.after_command) {
      EXPECT_EQ(backend.CheckReadiness(), readiness_before);
    }
  }
}

// With the real system calls, on a machine whose kernel has no uinput: every
// operation fails cleanly instead of assuming the node.
TEST(DriverReadinessTest, WithoutUinputEverythingFailsCleanly) {
  if (access("/dev/uinput", F_OK) == 0) {
    GTEST_SKIP() << "this machine has /dev/uinput";
  }
  UinputPadBackend backend(nullptr);
  EXPECT_EQ(backend.CheckReadiness(), kNotLoaded);
  EXPECT_FALSE(backend.MountController(
      1, KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_XBOX_360_PAD, ""));
  EXPECT_EQ(backend.MountedCount(), 0u);
  EXPECT_FALSE(backend.SendKeyChord({}, 30));
  EXPECT_FALSE(backend.SendMouseButton(0x110, true));
}

}  // namespace
