// korvane-peer: plays the Dart side of a running host over its peer socket.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "peer_session.h"
#include "socket_path.h"

namespace {

using korvane_peer_tool::ExitStatus;
using korvane_peer_tool::kExitFailure;
using korvane_peer_tool::kExitSuccess;
using korvane_peer_tool::kExitUsage;

constexpr char kUsage[] =
    R"(Usage: korvane-peer [OPTION...] COMMAND [ARGUMENT...]

Connects to a running host's peer socket and plays the Dart side.

Options:
  --socket=PATH      the host's peer socket (default: %s)
  --timeout=SECONDS  how long a call waits for its reply (default: 10), and
                     how long "listen" runs (default: until the host goes)
  --help             this text

Commands:
  METHOD [--save PATH] [NAME=VALUE...]
                      call a host-API method (listed below) and print its
                      reply: the result in its text form, or the error
                      envelope; --save writes a captured frame's JPEG bytes
                      to PATH
  listen [COUNT]      answer host messages (the callback events
                      onControllerRumble, onPlayerLedUpdated and
                      onDriverHealthChanged) with an empty success reply and
                      print each; stop after COUNT of them
  send CHANNEL [HEX]  send the bytes HEX (e.g. "0c 01 03") as a message on
                      CHANNEL and print the reply's bytes
  script [--walk-through] FILE
                      run the commands in FILE, one per line ("-" reads
                      standard input; '#' starts a comment); stops at the
                      first that fails. --walk-through runs them all and
                      shows each, numbered, under the comments above it,
                      with its reply indented and long byte lists cut

Host messages that arrive during any command are printed and answered too.
Exit status: 0 success, 1 failure (no reply, an error reply, no handler, a
lost connection), 2 wrong usage.

Methods (record fields left out are 0, false, empty text or null; INT
accepts 0x... hexadecimal, and window_id=desktop stands for the desktop
entry of the window list; ENUM is the numeric value; BOOL is true or false):
)";

void PrintUsage(FILE* out) {
  fprintf(out, kUsage, korvane_peer::DefaultSocketPath().c_str());
  constexpr size_t kWidth = 78;
  for (const korvane_peer_tool::BridgeMethod& method :
       korvane_peer_tool::BridgeMethods()) {
    std::string line = std::string("  ") + method.name;
    for (const std::string& argument :
         korvane_peer_tool::ArgumentsUsage(method)) {
      if (line.size() + 1 + argument.size() > kWidth) {
        fprintf(out, "%s\n", line.c_str());
        line = "      ";
      }
      line += " " + argument;
    }
    fprintf(out, "%s\n      replies %s\n", line.c_str(), method.result);
  }
}

bool ParseSeconds(const char* text, int* milliseconds) {
  guint64 seconds = 0;
  if (!g_ascii_string_to_unsigned(text, 10, 1, G_MAXINT / 1000, &seconds,
                                  nullptr)) {
    return false;
  }
  *milliseconds = static_cast<int>(seconds * 1000);
  return true;
}

ExitStatus RunScriptFile(korvane_peer_tool::PeerSession* session,
                         const std::string& path,
                         bool walk_through) {
  if (path == "-") {
    return session->RunScript(std::cin, walk_through);
  }
  std::ifstream script(path);
  if (!script) {
    fprintf(stderr, "korvane-peer: cannot read %s\n", path.c_str());
    return kExitUsage;
  }
  return session->RunScript(script, walk_through);
}

}  // namespace

int main(int argc, char** argv) {
  std::string socket_path = korvane_peer::DefaultSocketPath();
  korvane_peer_tool::SessionOptions options;
  int first_word = 1;
  for (; first_word < argc && strncmp(argv[first_word], "--", 2) == 0;
       first_word++) {
    const char* option = argv[first_word];
    if (strcmp(option, "--help") == 0) {
      PrintUsage(stdout);
      return kExitSuccess;
    }
    if (strncmp(option, "--socket=", 9) == 0) {
      socket_path = option + 9;
    } else if (strncmp(option, "--timeout=", 10) == 0 &&
               ParseSeconds(option + 10, &options.call_timeout_ms)) {
      options.listen_timeout_ms = options.call_timeout_ms;
    } else {
      fprintf(stderr, "korvane-peer: unknown or malformed option %s\n", option);
      return kExitUsage;
    }
  }
  if (first_word == argc) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  std::vector<std::string> words(argv + first_word, argv + argc);
  const bool walk_through = words.size() == 3 && words[1] == "--walk-through";
  if (words[0] == "script" && words.size() != 2 && !walk_through) {
    fprintf(stderr, "korvane-peer: usage: script [--walk-through] FILE\n");
    return kExitUsage;
  }

  std::string error;
  auto client = korvane_peer::PeerClient::Connect(socket_path, &error);
  if (client == nullptr) {
    fprintf(stderr, "korvane-peer: %s\n", error.c_str());
    return kExitFailure;
  }
  korvane_peer_tool::PeerSession session(std::move(client), options);
  return words[0] == "script"
             ? RunScriptFile(&session, words.back(), walk_through)
             : session.Run(words);
}
