#include "kernel_calls.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "input_test_support.h"

namespace {

using input_testing::ChildResult;
using korvane_bridge::SystemKernel;

// What tells the user that /dev/uinput needs its permissions repaired: the
// real access() of a user who may not open the node.
TEST(SystemKernelCallsTest, AccessTellsAnUnprivilegedUserNo) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "needs root to switch users";
  }
  char path[] = "/tmp/kernel_calls_test_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  ASSERT_EQ(chmod(path, 0600), 0);
  EXPECT_EQ(SystemKernel().Access(path, R_OK | W_OK), 0);

  const ChildResult result = input_testing::RunAsNobody([&] {
    auto& kernel = SystemKernel();
    return kernel.Access(path, F_OK) == 0 &&
           kernel.Access(path, R_OK | W_OK) == -1 && errno == EACCES;
  });
  unlink(path);
  if (result == ChildResult::kCannotDropPrivileges) {
    GTEST_SKIP() << "this machine does not allow switching users";
  }
  EXPECT_EQ(result, ChildResult::kPassed);
}

}  // namespace
