#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "fake_kernel.h"
#include "input/uinput_pad_backend.h"

namespace {

using input_testing::FakeKernel;
using korvane_bridge::UinputPadBackend;

// A process that may not start another thread: the mount fails cleanly,
// with its device torn down, instead of ending the program. Root ignores
// process limits, so the check runs in a child that became the user nobody.
TEST(WorkerStartFailureTest, AMountWithoutAWorkerFailsCleanly) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "needs root to switch to a user with a thread limit";
  }
  constexpr uid_t kNobody = 65534;
  constexpr int kCannotDrop = 2;
  const pid_t child = fork();
  if (child == 0) {
    // The child itself already uses up this limit of one.
    const rlimit one = {1, 1};
    if (setrlimit(RLIMIT_NPROC, &one) != 0 || setgid(kNobody) != 0 ||
        setuid(kNobody) != 0) {
      _exit(kCannotDrop);
    }
    FakeKernel kernel;
    UinputPadBackend backend(nullptr, kernel);
    const bool mounted = backend.MountController(
        1, KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_XBOX_360_PAD, "");
    _exit(!mounted && backend.MountedCount() == 0 &&
                  kernel.OpenDescriptors().empty() && kernel.Misuses() == 0
              ? 0
              : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == kCannotDrop) {
    GTEST_SKIP() << "this machine does not allow switching users";
  }
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
