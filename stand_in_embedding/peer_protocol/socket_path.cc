#include "socket_path.h"

#include <glib.h>
#include <unistd.h>

#include <cstring>

namespace korvane_peer {

std::string DefaultSocketPath() {
  const char* runtime_dir = g_getenv("XDG_RUNTIME_DIR");
  if (runtime_dir != nullptr && runtime_dir[0] != '\0') {
    return std::string(runtime_dir) + "/korvane-desktop.sock";
  }
  return "/tmp/korvane-desktop-" + std::to_string(geteuid()) + ".sock";
}

std::string SocketPathFromArguments(const char* const* arguments) {
  const size_t prefix_length = strlen(kSocketPathArgument);
  const char* chosen = nullptr;
  for (size_t i = 0; arguments != nullptr && arguments[i] != nullptr; i++) {
    if (strncmp(arguments[i], kSocketPathArgument, prefix_length) == 0) {
      chosen = arguments[i] + prefix_length;
    }
  }
  return chosen != nullptr ? std::string(chosen) : DefaultSocketPath();
}

}  // namespace korvane_peer
