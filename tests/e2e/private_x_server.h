#ifndef TESTS_E2E_PRIVATE_X_SERVER_H_
#define TESTS_E2E_PRIVATE_X_SERVER_H_

// An Xvfb server of a test's own, for clients that need a display of a
// given depth or without shared memory, or where no display runs at all.

#include <gio/gio.h>

#include <string>

namespace program_testing {

class PrivateXServer {
 public:
  // Without shared memory, clients must take pixels through the socket.
  explicit PrivateXServer(int depth,
                          bool shared_memory = true,
                          const std::string& size = "320x240");
  ~PrivateXServer();
  PrivateXServer(const PrivateXServer&) = delete;
  PrivateXServer& operator=(const PrivateXServer&) = delete;

  // ":N", or empty when the server did not start.
  const std::string& name() const { return name_; }

 private:
  GSubprocess* process_ = nullptr;
  std::string name_;
};

// Ends a child process and waits for it; null is ignored.
void StopProcess(GSubprocess* process);

}  // namespace program_testing

#endif  // TESTS_E2E_PRIVATE_X_SERVER_H_
