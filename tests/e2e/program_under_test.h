#ifndef TESTS_E2E_PROGRAM_UNDER_TEST_H_
#define TESTS_E2E_PROGRAM_UNDER_TEST_H_

// korvane_desktop run as a user runs it, on whatever X display DISPLAY
// names, and korvane-peer run against it as the Dart side.

#include <gio/gio.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "peer_test_support.h"

namespace program_testing {

inline constexpr std::chrono::seconds kPatience(20);

inline bool Eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds patience = kPatience) {
  return peer_testing::Eventually(condition, patience,
                                  std::chrono::milliseconds(20));
}

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

struct PeerRun {
  int status = -1;
  std::string out;
  std::string err;
};

// One run of the program, with its own socket, its standard error in a file
// and a pkexec on its PATH that declines, as a user who cancels the prompt
// does: the machine's own is never reached.
class Program {
 public:
  Program(const peer_testing::TempDir& dir,
          const std::string& name,
          std::vector<std::string> arguments = {});
  // Every run ends as a user's would, and must end cleanly and take its
  // socket along: under the sanitizers a leak or a double destruction shows
  // here.
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool Serving() const;

  PeerRun Peer(const std::vector<std::string>& arguments,
               const std::string& input = "") const;
  // A korvane-peer with pipes to its standard input, output and error.
  GSubprocess* StartPeer(const std::vector<std::string>& arguments) const;
  static PeerRun Finish(GSubprocess* peer, const std::string& input = "");

  void Signal(int signal_number) {
    g_subprocess_send_signal(process_, signal_number);
  }
  // True when the program exited by itself with status 0 in time.
  bool ExitsCleanly();
  size_t OpenFiles() const;
  std::string Stderr() const;
  void ExpectWarnings() { warnings_expected_ = true; }
  const std::string& socket() const { return socket_; }

 private:
  std::string socket_;
  std::string stderr_path_;
  GSubprocess* process_ = nullptr;
  bool warnings_expected_ = false;
};

}  // namespace program_testing

#endif  // TESTS_E2E_PROGRAM_UNDER_TEST_H_
