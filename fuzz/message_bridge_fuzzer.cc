// Feeds arbitrary bytes to the bridge codec's decoder, and as a request to
// every host-API channel, whose slots print every argument they get and
// answer at once. The first byte picks the target.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "bridge_test_support.h"
#include "in_process_dart.h"

namespace {

using flutter_testing::Bytes;
using flutter_testing::InProcessDart;

// Undecodable requests are logged as warnings, which is expected here; a
// critical means an accessor was misused, which is a fault.
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
    g_autoptr(FlMessageCodec) codec = FL_MESSAGE_CODEC(
        g_object_new(korvane_bridge_message_codec_get_type(), nullptr));
    g_autoptr(GBytes) bytes = g_bytes_new(message.data(), message.size());
    g_autoptr(FlValue) value =
        fl_message_codec_decode_message(codec, bytes, nullptr);
    if (value != nullptr) {
      // Whatever decodes must encode again.
      g_autoptr(GError) error = nullptr;
      g_autoptr(GBytes) again =
          fl_message_codec_encode_message(codec, value, &error);
      if (again == nullptr) {
        abort();
      }
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
