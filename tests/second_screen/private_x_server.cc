#include "private_x_server.h"

#include <gtest/gtest.h>

#include <csignal>

#include "peer_test_support.h"

namespace x_server_testing {

PrivateXServer::PrivateXServer(const std::string& screen,
                               std::vector<const char*> disabled_extensions) {
  g_autoptr(GError) error = nullptr;
  // Its display number comes on stdout once it accepts connections. Without
  // -noreset it would refuse connections while it resets after its last
  // client leaves.
  std::vector<const gchar*> command = {
      "Xvfb",     "-displayfd", "1", "-nolisten",   "tcp",
      "-noreset", "-screen",    "0", screen.c_str()};
  for (const char* extension : disabled_extensions) {
    command.insert(command.end(), {"-extension", extension});
  }
  command.push_back(nullptr);
  process_ = g_subprocess_newv(
      command.data(),
      static_cast<GSubprocessFlags>(G_SUBPROCESS_FLAGS_STDOUT_PIPE |
                                    G_SUBPROCESS_FLAGS_STDERR_SILENCE),
      &error);
  if (process_ == nullptr) {
    ADD_FAILURE() << "Xvfb: " << error->message;
    return;
  }
  g_autoptr(GDataInputStream) out =
      g_data_input_stream_new(g_subprocess_get_stdout_pipe(process_));
  // Null at end of file, when the server fails.
  g_autofree gchar* number =
      g_data_input_stream_read_line(out, nullptr, nullptr, nullptr);
  if (number != nullptr) {
    name_ = std::string(":") + number;
  }
}

PrivateXServer::~PrivateXServer() {
  StopProcess(process_);
}

void StopProcess(GSubprocess* process) {
  if (process == nullptr) {
    return;
  }
  g_subprocess_send_signal(process, SIGTERM);
  // The identifier goes once GLib's worker has reaped the child.
  if (!peer_testing::Eventually(
          [&] { return !g_subprocess_get_identifier(process); },
          std::chrono::seconds(5))) {
    g_subprocess_force_exit(process);
  }
  g_subprocess_wait(process, nullptr, nullptr);
  g_object_unref(process);
}

}  // namespace x_server_testing
