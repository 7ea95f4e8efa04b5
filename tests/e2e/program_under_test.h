#ifndef TESTS_E2E_PROGRAM_UNDER_TEST_H_
#define TESTS_E2E_PROGRAM_UNDER_TEST_H_

// korvane_desktop run as a user runs it, on whatever X display DISPLAY
// names, and korvane-peer run against it as the Dart side.

#include <gio/gio.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "peer_test_support.h"

namespace program_testing {

inline constexpr std::chrono::seconds kPatience(20);

using peer_testing::Eventually;
using peer_testing::Spawn;

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The driver health that the program reports on this machine, as
// korvane-peer prints it.
inline std::string ExpectedHealth() {
  const bool present = access("/dev/uinput", F_OK) == 0;
  const bool usable = access("/dev/uinput", R_OK | W_OK) == 0;
  const int readiness = !present ? 1 : !usable ? 2 : 0;
  const char* const messages[] = {
      "Linux /dev/uinput + Evdev Virtual Gamepad Bridge Ready (SteamOS / "
      "Proton Compatible)",
      "Kernel module uinput is not loaded. Click Repair to run modprobe "
      "uinput.",
      "Write permission required on /dev/uinput. Click Repair to install the "
      "uaccess udev rule."};
  return "NativeDriverHealth(readiness: " + std::to_string(readiness) +
         ", backend_name: \"Linux uinput + Evdev (SteamOS)\", "
         "mounted_controller_count: 0, can_inject_mouse_and_keyboard: " +
         (usable ? "true" : "false") + ", status_message: \"" +
         messages[readiness] + "\")\n";
}

struct PeerRun {
  int status = -1;
  std::string out, err;
};

// One run of the program, with its own socket, its standard error in a file
// and a pkexec on its PATH that declines, as a user who cancels the prompt
// does: the machine's own is never reached.
class Program {
 public:
  Program(const peer_testing::TempDir& dir,
          const std::string& name,
          std::vector<std::string> arguments = {})
      : socket_(dir.File(name + ".sock")),
        stderr_path_(dir.File(name + ".stderr")) {
    const std::string bin = dir.File(name + "-bin");
    g_mkdir(bin.c_str(), 0700);
    const std::string pkexec = bin + "/pkexec";
    g_file_set_contents(pkexec.c_str(), "#!/bin/sh\nexit 126\n", -1, nullptr);
    g_chmod(pkexec.c_str(), 0755);
    g_autoptr(GSubprocessLauncher) launcher =
        g_subprocess_launcher_new(G_SUBPROCESS_FLAGS_NONE);
    const std::string path = bin + ":" + g_getenv("PATH");
    g_subprocess_launcher_setenv(launcher, "PATH", path.c_str(), TRUE);
    g_subprocess_launcher_set_stderr_file_path(launcher, stderr_path_.c_str());
    // First, so that a test's own --peer-socket, the last one, wins.
    arguments.insert(arguments.begin(),
                     {KORVANE_DESKTOP, "--peer-socket=" + socket_});
    process_ = Spawn(launcher, arguments);
  }

  // Every run must end cleanly and take its socket along: under the
  // sanitizers a leak or a double destruction shows here.
  ~Program() {
    // Does nothing to a program that has ended already.
    Signal(SIGTERM);
    EXPECT_TRUE(ExitsCleanly()) << Stderr();
    g_subprocess_force_exit(process_);
    g_subprocess_wait(process_, nullptr, nullptr);
    EXPECT_FALSE(g_file_test(socket_.c_str(), G_FILE_TEST_EXISTS));
    const std::string err = Stderr();
    EXPECT_FALSE(Contains(err, "Sanitizer")) << err;
    EXPECT_TRUE(warnings_expected_ ||
                !(Contains(err, "CRITICAL") || Contains(err, "WARNING")))
        << err;
    g_object_unref(process_);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool Serving() const {
    // Under AddressSanitizer's full stacks in an emulated guest, the program
    // takes over 20 s to start.
    return Eventually(
        [this] { return g_file_test(socket_.c_str(), G_FILE_TEST_EXISTS); },
        6 * kPatience);
  }

  PeerRun Peer(const std::vector<std::string>& arguments,
               const std::string& input = "") const {
    g_autoptr(GSubprocess) peer = StartPeer(arguments);
    return Finish(peer, input);
  }

  // A korvane-peer with pipes to its standard input, output and error.
  GSubprocess* StartPeer(const std::vector<std::string>& arguments) const {
    std::vector<std::string> words = {KORVANE_PEER, "--socket=" + socket_};
    words.insert(words.end(), arguments.begin(), arguments.end());
    g_autoptr(GSubprocessLauncher) launcher =
        g_subprocess_launcher_new(static_cast<GSubprocessFlags>(
            G_SUBPROCESS_FLAGS_STDIN_PIPE | G_SUBPROCESS_FLAGS_STDOUT_PIPE |
            G_SUBPROCESS_FLAGS_STDERR_PIPE));
    return Spawn(launcher, words);
  }

  static PeerRun Finish(GSubprocess* peer, const std::string& input = "") {
    g_autofree gchar* out = nullptr;
    g_autofree gchar* err = nullptr;
    g_subprocess_communicate_utf8(peer, input.c_str(), nullptr, &out, &err,
                                  nullptr);
    return {g_subprocess_get_if_exited(peer)
                ? g_subprocess_get_exit_status(peer)
                : -1,
            out != nullptr ? out : "", err != nullptr ? err : ""};
  }

  void Signal(int number) { g_subprocess_send_signal(process_, number); }

  // True when the program exited by itself with status 0 in time.
  bool ExitsCleanly() {
    // The identifier goes once GLib's worker has reaped the child.
    return Eventually(
               [this] { return !g_subprocess_get_identifier(process_); }) &&
           g_subprocess_get_if_exited(process_) &&
           g_subprocess_get_exit_status(process_) == 0;
  }

  size_t OpenFiles() const {
    return std::distance(std::filesystem::directory_iterator(
                             std::string("/proc/") +
                             g_subprocess_get_identifier(process_) + "/fd"),
                         {});
  }

  std::string Stderr() const {
    g_autofree gchar* text = nullptr;
    return g_file_get_contents(stderr_path_.c_str(), &text, nullptr, nullptr)
               ? text
               : "";
  }

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
