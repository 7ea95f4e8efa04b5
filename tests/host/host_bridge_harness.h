#ifndef TESTS_HOST_HOST_BRIDGE_HARNESS_H_
#define TESTS_HOST_HOST_BRIDGE_HARNESS_H_

// The host bridge on the in-process Dart side and the fake kernel, called
// method by method as the app would.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "bridge_test_support.h"
#include "fake_kernel.h"
#include "host/korvane_linux_bridge.h"
#include "in_process_dart.h"

namespace host_testing {

using flutter_testing::Bytes;

// The channel of a host-API method, and of an event.
std::string Method(const std::string& name);
std::string Event(const std::string& name);

Bytes NoArguments();
// The encoded argument list, taking `list`.
Bytes Arguments(FlValue* list);
// A list of one record of the codec's `type_id`, taking `record`.
Bytes RecordArgument(int type_id, gpointer record);
// Mounts an Xbox 360 pad with rumble.
Bytes MountPad(int64_t player);
// One deck button press; `modifiers` holds all four.
Bytes DeckPress(int action,
                const gchar* custom_key = nullptr,
                bool modifiers = false);
// The single value of a success reply, or of an event message.
FlValue* Element(const Bytes& bytes);

// Holds every thread that reaches it until the test opens it, as the user
// holds up an administrator prompt or a chord holds its keys down. Each
// arrival wakes the main loop, in which the test waits.
class Gate {
 public:
  void Pass();
  int Arrivals();
  void Open();

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  int arrivals_ = 0;
  bool open_ = false;
};

struct HostBridgeHarness {
  // The reply's single value; fails the test when none comes in time.
  FlValue* Call(const std::string& channel,
                const Bytes& message = NoArguments(),
                std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // False also when the reply is not a bool.
  bool CallBool(const std::string& channel,
                const Bytes& message = NoArguments(),
                std::chrono::milliseconds timeout = std::chrono::seconds(5));

  input_testing::FakeKernel kernel_;
  flutter_testing::InProcessDart dart_;
  std::unique_ptr<korvane_bridge::KorvaneLinuxBridge> bridge_ =
      std::make_unique<korvane_bridge::KorvaneLinuxBridge>(dart_.messenger(),
                                                           kernel_);
};

}  // namespace host_testing

#endif  // TESTS_HOST_HOST_BRIDGE_HARNESS_H_
