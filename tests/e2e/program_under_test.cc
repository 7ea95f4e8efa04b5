#include "program_under_test.h"

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

namespace program_testing {
namespace {

// NULL-terminated, pointing into `words`.
std::vector<const char*> Argv(const std::vector<std::string>& words) {
  std::vector<const char*> argv;
  for (const std::string& word : words) {
    argv.push_back(word.c_str());
  }
  argv.push_back(nullptr);
  return argv;
}

}  // namespace

Program::Program(const peer_testing::TempDir& dir,
                 const std::string& name,
                 std::vector<std::string> arguments)
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
  g_autoptr(GError) error = nullptr;
  process_ =
      g_subprocess_launcher_spawnv(launcher, Argv(arguments).data(), &error);
  EXPECT_NE(process_, nullptr) << error->message;
}

Program::~Program() {
  // Does nothing to a program that has ended already.
  Signal(SIGTERM);
  if (!ExitsCleanly()) {
    ADD_FAILURE() << "did not end cleanly: " << Stderr();
    g_subprocess_force_exit(process_);
    g_subprocess_wait(process_, nullptr, nullptr);
  }
  EXPECT_FALSE(g_file_test(socket_.c_str(), G_FILE_TEST_EXISTS));
  const std::string err = Stderr();
  EXPECT_FALSE(Contains(err, "Sanitizer")) << err;
  if (!warnings_expected_) {
    EXPECT_FALSE(Contains(err, "CRITICAL")) << err;
    EXPECT_FALSE(Contains(err, "WARNING")) << err;
  }
  g_clear_object(&process_);
}

bool Program::Serving() const {
  // Under AddressSanitizer's full stacks in an emulated guest, the program
  // takes over 20 s to start.
  return Eventually(
      [this] { return g_file_test(socket_.c_str(), G_FILE_TEST_EXISTS); },
      6 * kPatience);
}

PeerRun Program::Peer(const std::vector<std::string>& arguments,
                      const std::string& input) const {
  g_autoptr(GSubprocess) peer = StartPeer(arguments);
  return Finish(peer, input);
}

GSubprocess* Program::StartPeer(
    const std::vector<std::string>& arguments) const {
  std::vector<std::string> words = {KORVANE_PEER, "--socket=" + socket_};
  words.insert(words.end(), arguments.begin(), arguments.end());
  g_autoptr(GError) error = nullptr;
  GSubprocess* peer = g_subprocess_newv(
      Argv(words).data(),
      static_cast<GSubprocessFlags>(G_SUBPROCESS_FLAGS_STDIN_PIPE |
                                    G_SUBPROCESS_FLAGS_STDOUT_PIPE |
                                    G_SUBPROCESS_FLAGS_STDERR_PIPE),
      &error);
  EXPECT_NE(peer, nullptr) << error->message;
  return peer;
}

PeerRun Program::Finish(GSubprocess* peer, const std::string& input) {
  g_autofree gchar* out = nullptr;
  g_autofree gchar* err = nullptr;
  g_autoptr(GError) error = nullptr;
  EXPECT_TRUE(g_subprocess_communicate_utf8(peer, input.c_str(), nullptr, &out,
                                            &err, &error))
      << error->message;
  return {g_subprocess_get_if_exited(peer) ? g_subprocess_get_exit_status(peer)
                                           : -1,
          out != nullptr ? out : "", err != nullptr ? err : ""};
}

bool Program::ExitsCleanly() {
  // The identifier goes once GLib's worker has reaped the child.
  return Eventually(
             [this] { return !g_subprocess_get_identifier(process_); }) &&
         g_subprocess_get_if_exited(process_) &&
         g_subprocess_get_exit_status(process_) == 0;
}

size_t Program::OpenFiles() const {
  return std::distance(std::filesystem::directory_iterator(
                           std::string("/proc/") +
                           g_subprocess_get_identifier(process_) + "/fd"),
                       {});
}

std::string Program::Stderr() const {
  g_autofree gchar* text = nullptr;
  return g_file_get_contents(stderr_path_.c_str(), &text, nullptr, nullptr)
             ? text
             : "";
}

}  // namespace program_testing
