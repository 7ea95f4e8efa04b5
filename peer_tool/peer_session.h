#ifndef PEER_TOOL_PEER_SESSION_H_
#define PEER_TOOL_PEER_SESSION_H_

#include <flutter_linux/flutter_linux.h>

#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bridge_methods.h"
#include "peer_client.h"

namespace korvane_peer_tool {

enum ExitStatus {
  kExitSuccess = 0,
  kExitFailure = 1,  // no reply, an error reply, "no handler", a lost host
  kExitUsage = 2,
};

struct SessionOptions {
  int call_timeout_ms = 10000;
  int listen_timeout_ms = -1;  // for ever
};

// One connection to the host and the commands run on it, whether they come
// from the command line or from a script.
class PeerSession {
 public:
  PeerSession(std::unique_ptr<korvane_peer::PeerClient> client,
              SessionOptions options);
  ~PeerSession();
  PeerSession(const PeerSession&) = delete;
  PeerSession& operator=(const PeerSession&) = delete;

  // Runs one command, given as its name and arguments.
  ExitStatus Run(const std::vector<std::string>& words);

  // Runs one command per line; words are split as a shell would, and blank
  // lines and lines starting with '#' run nothing. Stops at the first command
  // that fails, unless it walks through the script: then every command runs
  // and is shown numbered, under the comment lines just above it and with
  // its reply indented; comments followed by a blank line show as text of
  // their own; the status says whether every command succeeded.
  ExitStatus RunScript(std::istream& script, bool walk_through = false);

 private:
  ExitStatus Send(const std::vector<std::string>& words);
  ExitStatus Listen(const std::vector<std::string>& words);
  ExitStatus CallMethod(const BridgeMethod& method,
                        const std::vector<std::string>& words);
  ExitStatus PrintReply(const korvane_peer::Bytes& reply,
                        const std::string& save_path);
  // The window id of the desktop entry, which the window list gives first.
  std::optional<int64_t> DesktopWindowId(std::string* error);
  // One line of output, indented while a walk-through shows a reply.
  void PrintLine(const std::string& line) const;
  korvane_peer::Bytes AnswerHostMessage(const std::string& channel,
                                        const korvane_peer::Bytes& message);
  korvane_peer::Bytes Encode(FlValue* value);
  // nullptr when `bytes` are not one message of the bridge codec.
  FlValue* Decode(const korvane_peer::Bytes& bytes, std::string* error);

  std::unique_ptr<korvane_peer::PeerClient> client_;
  SessionOptions options_;
  FlMessageCodec* codec_;
  korvane_peer::Bytes empty_success_reply_;
  bool walking_through_ = false;
};

}  // namespace korvane_peer_tool

#endif  // PEER_TOOL_PEER_SESSION_H_
