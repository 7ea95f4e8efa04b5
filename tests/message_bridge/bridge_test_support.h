#ifndef TESTS_MESSAGE_BRIDGE_BRIDGE_TEST_SUPPORT_H_
#define TESTS_MESSAGE_BRIDGE_BRIDGE_TEST_SUPPORT_H_

#include <functional>
#include <string>
#include <vector>

#include "bytes.h"
#include "pigeon/korvane_native_bridge.g.h"

namespace bridge_testing {

using flutter_testing::Bytes;

// Encodes `value` as one message with the bridge codec.
Bytes Encode(FlValue* value);

// Decodes one message with the bridge codec; nullptr on failure, with the
// error's code and message in the optional outputs.
FlValue* Decode(const Bytes& bytes,
                int* error_code = nullptr,
                std::string* error_message = nullptr);

// [values...], taking the values.
using flutter_testing::List;

// A record wrapped as the custom value of its type code.
FlValue* RecordValue(int code, gpointer record);

using FrameResponse =
    KorvaneBridgeVirtualControllerHostApiPushControllerFrameResponse;

// A host that fills every slot of both host APIs. Each slot records its call
// as the method's name followed by its arguments as text, and answers at
// once with a fixed reply: a driver health (ready, then permission required
// for the repair), true for unmounting player 2 or asking about port 26760
// and false for other players and ports, false for the desktop input and
// stylus requests, true for every other yes-or-no, a telemetry snapshot, no
// windows and no frame.
class RecordingHost {
 public:
  RecordingHost() = default;
  ~RecordingHost();
  RecordingHost(const RecordingHost&) = delete;
  RecordingHost& operator=(const RecordingHost&) = delete;

  // Registers both APIs on `messenger` with this host as their user data,
  // counting its releases in `released`.
  void Register(FlBinaryMessenger* messenger, const gchar* suffix = nullptr);

  // Records `call`; true when the slot should answer now.
  bool Record(std::string call, gpointer handle);

  std::vector<std::string> calls;
  int released = 0;
  // When set, slots keep a reference to their handle in `deferred` instead
  // of answering.
  bool defer = false;
  std::vector<GObject*> deferred;
  // The push-frame slot's answer; nullptr to return none.
  std::function<FrameResponse*()> frame_response = [] {
    return korvane_bridge_virtual_controller_host_api_push_controller_frame_response_new();
  };
};

}  // namespace bridge_testing

#endif  // TESTS_MESSAGE_BRIDGE_BRIDGE_TEST_SUPPORT_H_
