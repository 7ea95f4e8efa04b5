#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include "fake_kernel.h"
#include "input_test_support.h"
#include "uinput_pad_backend.h"

namespace {

using input_testing::ChildResult;
using input_testing::FakeKernel;
using korvane_bridge::UinputPadBackend;

// A process that may not start another thread: the mount fails cleanly,
// with its device torn down, instead of ending the program.
TEST(WorkerStartFailureTest, AMountWithoutAWorkerFailsCleanly) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "needs root to switch to a user with a thread limit";
  }
  const ChildResult result = input_testing::RunAsNobody(
      [] {
        FakeKernel kernel;
        UinputPadBackend backend(nullptr, kernel);
        const bool mounted = backend.MountController(
            1, KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_XBOX_360_PAD, "");
        return !mounted && backend.MountedCount() == 0 &&
               kernel.OpenDescriptors().empty() && kernel.Misuses() == 0;
      },
      [] {
        // The child itself already uses up this limit of one.
        const rlimit one = {1, 1};
        return setrlimit(RLIMIT_NPROC, &one) == 0;
      });
  if (result == ChildResult::kCannotDropPrivileges) {
    GTEST_SKIP() << "this machine does not allow switching users";
  }
  EXPECT_EQ(result, ChildResult::kPassed);
}

}  // namespace
