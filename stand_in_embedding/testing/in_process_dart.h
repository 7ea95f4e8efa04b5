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

// Plays the Dart side of a messenger inside the test process. Everything
// travels through the thread's default main context, which the test drives.
class InProcessDart {
 public:
  struct Reply {
    bool answered = false;
    Bytes bytes;            // empty when the channel had no handler
    bool released = false;  // the host dropped its response handle
  };

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

  // The reply fills in as the context runs.
  std::shared_ptr<const Reply> Send(const std::string& channel,
                                    const Bytes& message);

  // Sends and runs the context until the host answers or `timeout` passes.
  std::optional<Bytes> Call(
      const std::string& channel,
      const Bytes& message,
      std::chrono::milliseconds timeout = std::chrono::seconds(5));

  // Messages on a channel without a handler get an empty reply, as the
  // engine gives for "no handler".
  void SetHandler(const std::string& channel, Handler handler);

  const std::vector<HostMessage>& received() const { return received_; }

  // Whether `done` became true before `timeout` passed.
  static bool RunUntil(
      const std::function<bool()>& done,
      std::chrono::milliseconds timeout = std::chrono::seconds(5));

  // Runs everything that is ready now.
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
