// Feeds arbitrary bytes to the bridge codec's decoder, and as a request to
// every host-API channel, whose slots print every argument they get and
// answer at once. The first byte picks the target.
#include <cstdio>
#include <cstdlib>

#include "bridge_test_support.h"
#include "in_process_dart.h"

namespace {

using flutter_testing::Bytes;
using flutter_testing::InProcessDart;

// Undecodable requests are logged as warnings; a critical is a misused
// accessor.
void AbortOnCritical(const gchar*,
                     GLogLevelFlags level,
                     const gchar* message,
                     gpointer) {
  if (level & (G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_ERROR)) {
    fprintf(stderr, "critical: %s\n", message);
    abort();
  }
}

struct Bridge {
  bridge_testing::RecordingHost host;
  InProcessDart dart;
};

Bridge* TheBridge() {
  static Bridge* bridge = [] {
    g_log_set_default_handler(AbortOnCritical, nullptr);
    auto* bridge = new Bridge();
    bridge->host.Register(bridge->dart.messenger());
    return bridge;
  }();
  return bridge;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  Bytes message(data + 1, data + size);
  // Both values past the channels decode, so that every seed of the corpus
  // keeps reaching the target it was found for.
  size_t target = data[0] % (korvane_bridge_host_api_method_count + 2);
  if (target >= korvane_bridge_host_api_method_count) {
    g_autoptr(FlValue) value = bridge_testing::Decode(message);
    if (value != nullptr) {
      bridge_testing::Encode(value);  // aborts unless it encodes again
    }
    return 0;
  }
  Bridge* bridge = TheBridge();
  bridge->host.calls.clear();
  if (!bridge->dart
           .Call(korvane_bridge_host_api_methods[target].channel, message)
           .has_value()) {
    abort();  // every request must be answered
  }
  return 0;
}
