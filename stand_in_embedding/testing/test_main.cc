#include <gtest/gtest.h>

#include "log_capture.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  flutter_testing::FailTestsOnLoggedProblems();
  return RUN_ALL_TESTS();
}
