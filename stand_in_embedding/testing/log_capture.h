#ifndef STAND_IN_EMBEDDING_TESTING_LOG_CAPTURE_H_
#define STAND_IN_EMBEDDING_TESTING_LOG_CAPTURE_H_

#include <glib.h>

#include <string>
#include <utility>
#include <vector>

namespace flutter_testing {

// Collects what goes through the GLib log while it lives, instead of letting
// it fail the test (the test main treats every unexpected warning or critical
// as a failure). Captures nest: the innermost one collects.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // Messages logged at exactly `level`.
  std::vector<std::string> Messages(GLogLevelFlags level) const;

 private:
  friend void FailTestsOnLoggedProblems();
  static void Dispatch(const gchar* domain,
                       GLogLevelFlags level,
                       const gchar* message,
                       gpointer user_data);

  std::vector<std::pair<GLogLevelFlags, std::string>> entries_;
  LogCapture* outer_;
};

// Installs the handler that turns unexpected warnings and criticals into test
// failures. Called once by the test main.
void FailTestsOnLoggedProblems();

}  // namespace flutter_testing

#endif  // STAND_IN_EMBEDDING_TESTING_LOG_CAPTURE_H_
