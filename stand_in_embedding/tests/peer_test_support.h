#ifndef STAND_IN_EMBEDDING_TESTS_PEER_TEST_SUPPORT_H_
#define STAND_IN_EMBEDDING_TESTS_PEER_TEST_SUPPORT_H_

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

}  // namespace peer_testing

#endif  // STAND_IN_EMBEDDING_TESTS_PEER_TEST_SUPPORT_H_
