#include "socket_path.h"

#include <errno.h>
#include <glib.h>
#include <sys/socket.h>
#include <sys/un.h>
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

int ConnectToSocket(const std::string& path) {
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof(address.sun_path)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return -1;
  }
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) !=
      0) {
    const int saved = errno;
    close(fd);
    errno = saved;
    return -1;
  }
  return fd;
}

}  // namespace korvane_peer
