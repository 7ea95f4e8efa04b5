// The three states of the node, a usable node needing no repair, a granted
// repair and a declined one are checked on the real node
// (KernelReadinessTest); here only what the fake alone can stage.
#include <gtest/gtest.h>

#include "fake_kernel.h"
#include "input/uinput_pad_backend.h"

namespace {

using input_testing::FakeKernel;
using input_testing::NodeState;
using korvane_bridge::UinputPadBackend;

TEST(DriverReadinessTest, RepairOfAMissingModuleSucceedsOnlyWhenUsable) {
  const struct {
    NodeState after_command;
    bool expected_result;
    KorvaneBridgeNativeDriverReadiness readiness_after;
  } cases[] = {
      {NodeState::kReady, true, KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY},
      {NodeState::kAbsent, false,
       KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_MODULE_NOT_LOADED},
      // The module loaded but the permission change did not happen.
      {NodeState::kNoPermission, false,
       KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_PERMISSION_REQUIRED},
  };
  for (const auto& c : cases) {
    FakeKernel kernel;
    kernel.SetNode(NodeState::kAbsent);
    kernel.SetNodeAfterShellCommand(c.after_command);
    UinputPadBackend backend(nullptr, kernel);
    EXPECT_EQ(backend.SetupOrRepairDriverInteractive(), c.expected_result);
    // The command itself is checked in the vm tier, where it runs.
    EXPECT_EQ(kernel.ShellCommands().size(), 1u);
    EXPECT_EQ(backend.CheckReadiness(), c.readiness_after);
  }
}

}  // namespace
