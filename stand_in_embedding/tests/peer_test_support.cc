#include "peer_test_support.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <thread>

namespace peer_testing {

namespace {

void RemoveTree(const std::string& path) {
  g_autoptr(GDir) dir = g_dir_open(path.c_str(), 0, nullptr);
  if (dir != nullptr) {
    const gchar* name;
    while ((name = g_dir_read_name(dir)) != nullptr) {
      std::string child = path + "/" + name;
      // A link is removed, never followed: it may lead out of the tree.
      if (g_file_test(child.c_str(), G_FILE_TEST_IS_DIR) &&
          !g_file_test(child.c_str(), G_FILE_TEST_IS_SYMLINK)) {
        RemoveTree(child);
      } else {
        unlink(child.c_str());
      }
    }
  }
  rmdir(path.c_str());
}

}  // namespace

TempDir::TempDir() {
  g_autofree gchar* path = g_dir_make_tmp("korvane-peer-test-XXXXXX", nullptr);
  path_ = path != nullptr ? path : "";
  EXPECT_FALSE(path_.empty());
}

TempDir::~TempDir() {
  RemoveTree(path_);
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
