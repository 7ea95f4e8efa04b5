#ifndef TESTS_MESSAGE_BRIDGE_BRIDGE_TEST_SUPPORT_H_
#define TESTS_MESSAGE_BRIDGE_BRIDGE_TEST_SUPPORT_H_

#include <functional>
#include <string>
#include <vector>

#include "bytes.h"
#include "pigeon/korvane_native_bridge.g.h"

namespace bridge_testing {

using flutter_testing::Bytes;
using flutter_testing::List;

// One message of the bridge codec.
Bytes Encode(FlValue* value);
FlValue* Decode(const Bytes& bytes, GError** error = nullptr);

// A record wrapped as the custom value of its type code.
FlValue* RecordValue(int code, gpointer record);

using FrameResponse =
    KorvaneBridgeVirtualControllerHostApiPushControllerFrameResponse;

// A host that fills every slot of both host APIs. Each slot records the
// method's name and its arguments as text and answers at once with a fixed
// reply: a driver health (ready, then permission required for the repair),
// true only for unmounting player 2 and asking about port 26760, false for
// requesting desktop input and stylus events, true for every other yes-or-no,
// a telemetry snapshot, no windows and no frame.
class RecordingHost {
 public:
  RecordingHost() = default;
  ~RecordingHost();
  RecordingHost(const RecordingHost&) = delete;
  RecordingHost& operator=(const RecordingHost&) = delete;

  // Both APIs, with this host as their user data; its releases are counted.
  void Register(FlBinaryMessenger* messenger, const gchar* suffix = nullptr);
  // True when the slot should answer now.
  bool Record(std::string call, gpointer handle);

  std::vector<std::string> calls;
  int released = 0;
  // Slots then keep a reference to their handle in `deferred` instead.
  bool defer = false;
  std::vector<GObject*> deferred;
  // The push-frame slot's answer; nullptr to return none.
  std::function<FrameResponse*()> frame_response = [] {
    return korvane_bridge_virtual_controller_host_api_push_controller_frame_response_new();
  };
};

}  // namespace bridge_testing

#endif  // TESTS_MESSAGE_BRIDGE_BRIDGE_TEST_SUPPORT_H_
