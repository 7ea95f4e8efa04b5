#ifndef STAND_IN_EMBEDDING_PEER_PROTOCOL_SOCKET_PATH_H_
#define STAND_IN_EMBEDDING_PEER_PROTOCOL_SOCKET_PATH_H_

// Where the host serves the peer socket. The host and its peers both ask
// here, so that a peer started without a path finds a host started without
// one.

#include <string>

namespace korvane_peer {

inline constexpr char kSocketPathArgument[] = "--peer-socket=";

// $XDG_RUNTIME_DIR/korvane-desktop.sock, or a per-user path under /tmp when
// XDG_RUNTIME_DIR is unset or empty.
std::string DefaultSocketPath();

// The path given by the last "--peer-socket=PATH" among `arguments` (a
// NULL-terminated vector, which may itself be NULL), or the default.
std::string SocketPathFromArguments(const char* const* arguments);

// A blocking stream connection to the Unix socket at `path`; -1, with errno
// set, when there is none (ENAMETOOLONG for a path that does not fit).
int ConnectToSocket(const std::string& path);

}  // namespace korvane_peer

#endif  // STAND_IN_EMBEDDING_PEER_PROTOCOL_SOCKET_PATH_H_
