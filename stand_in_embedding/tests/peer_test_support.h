#ifndef STAND_IN_EMBEDDING_TESTS_PEER_TEST_SUPPORT_H_
#define STAND_IN_EMBEDDING_TESTS_PEER_TEST_SUPPORT_H_

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace peer_testing {

// A private directory for one test's socket, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Sets (or, without a value, removes) one variable until it ends.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

// Keeps polling `condition` every `interval` until it holds (true) or
// `timeout` has passed (false).
bool Eventually(
    const std::function<bool()>& condition,
    std::chrono::milliseconds timeout,
    std::chrono::milliseconds interval = std::chrono::milliseconds(5));

}  // namespace peer_testing

#endif  // STAND_IN_EMBEDDING_TESTS_PEER_TEST_SUPPORT_H_
