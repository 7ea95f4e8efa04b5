#ifndef STAND_IN_EMBEDDING_TESTING_IN_PROCESS_DART_H_
#define STAND_IN_EMBEDDING_TESTING_IN_PROCESS_DART_H_

#include <flutter_linux/flutter_linux.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bytes.h"

namespace flutter_testing {

// Plays the Dart side of a messenger inside the test process: it sends
// messages to the host's channel handlers and answers (or ignores) the
// messages that the host sends. Everything travels through the thread's
// default main context, which the test drives with RunUntil() or Drain().
class InProcessDart {
 public:
  // What became of one message sent to the host.
  struct Reply {
    bool answered = false;
    Bytes bytes;  // empty when the channel had no handler
    bool released = false;  // the host dropped its response handle
  };

  // A message that the host sent.
  struct HostMessage {
    std::string channel;
    Bytes message;
  };

  // Returns the reply to give, or nothing to leave the message unanswered.
  using Handler = std::function<std::optional<Bytes>(const Bytes& message)>;

  InProcessDart();
  ~InProcessDart();
  InProcessDart(const InProcessDart&) = delete;
  InProcessDart& operator=(const InProcessDart&) = delete;

  FlBinaryMessenger* messenger() const;

  // Sends a message to the host; the reply fills in as the context runs.
  std::shared_ptr<const Reply> Send(const std::string& channel,
                                    const Bytes& message);

  // Sends and runs the context until the host answers or `timeout` passes.
  std::optional<Bytes> Call(
      const std::string& channel,
      const Bytes& message,
      std::chrono::milliseconds timeout = std::chrono::seconds(5));

  // Handles the host's messages on `channel`. Messages on a channel without
  // a handler get an empty reply, as the engine gives for "no handler".
  void SetHandler(const std::string& channel, Handler handler);

  // Every message the host sent, in order.
  const std::vector<HostMessage>& received() const { return received_; }

  // Runs the main context until `done` or until `timeout` passes; returns
  // whether `done` became true.
  static bool RunUntil(const std::function<bool()>& done,
                       std::chrono::milliseconds timeout =
                           std::chrono::seconds(5));

  // Runs everything that is ready now, without waiting.
  static void Drain();

 private:
  static void OnHostMessage(const gchar* channel,
                            GBytes* message,
                            guint64 id,
                            gpointer user_data);

  GObject* messenger_;
  std::map<std::string, Handler> handlers_;
  std::vector<HostMessage> received_;
};

}  // namespace flutter_testing

#endif  // STAND_IN_EMBEDDING_TESTING_IN_PROCESS_DART_H_
