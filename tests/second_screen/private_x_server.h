#ifndef TESTS_SECOND_SCREEN_PRIVATE_X_SERVER_H_
#define TESTS_SECOND_SCREEN_PRIVATE_X_SERVER_H_

// An Xvfb server of a test's own, for clients that need a display of
// another depth or without some extension, or where no display runs at all.

#include <gio/gio.h>

#include <string>
#include <vector>

namespace x_server_testing {

class PrivateXServer {
 public:
  // `screen` as Xvfb takes it: width x height x depth. Without MIT-SHM
  // clients take pixels through the socket; without Composite they can
  // read only what is on screen.
  explicit PrivateXServer(const std::string& screen,
                          std::vector<const char*> disabled_extensions = {});
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

}  // namespace x_server_testing

#endif  // TESTS_SECOND_SCREEN_PRIVATE_X_SERVER_H_
