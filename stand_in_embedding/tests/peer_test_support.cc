#include "peer_test_support.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <thread>

namespace peer_testing {

TempDir::TempDir() {
  g_autofree gchar* path = g_dir_make_tmp("korvane-peer-test-XXXXXX", nullptr);
  path_ = path != nullptr ? path : "";
  EXPECT_FALSE(path_.empty());
}

TempDir::~TempDir() {
  // remove_all removes links without following them out of the tree.
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

ScopedEnv::ScopedEnv(const char* name, std::optional<std::string> value)
    : name_(name) {
  if (const char* old = getenv(name)) {
    previous_ = old;
  }
  value ? setenv(name, value->c_str(), 1) : unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  previous_ ? setenv(name_.c_str(), previous_->c_str(), 1)
            : unsetenv(name_.c_str());
}

bool Eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout,
                std::chrono::milliseconds interval) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(interval);
  }
  return true;
}

}  // namespace peer_testing
