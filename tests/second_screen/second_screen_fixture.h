#ifndef TESTS_SECOND_SCREEN_SECOND_SCREEN_FIXTURE_H_
#define TESTS_SECOND_SCREEN_SECOND_SCREEN_FIXTURE_H_

// The second-screen methods called as the Dart side calls them, on windows
// of the test's own X connection under openbox (one per binary).
// Include this last: Xlib's macros (None, Status, Bool) break other headers.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "host_bridge_harness.h"
#include "x_server_testing.h"

namespace second_screen_testing {

using flutter_testing::InProcessDart;
using host_testing::Bytes;
using namespace x_server_testing;

struct ListedWindow {
  int64_t id = 0;
  std::string title, owner, name;
  int64_t width = 0, height = 0;
  bool on_screen = false, emulator = false;

  auto Tied() const {
    return std::tie(id, title, owner, name, width, height, on_screen, emulator);
  }
  bool operator==(const ListedWindow& o) const { return Tied() == o.Tied(); }
};
inline void PrintTo(const ListedWindow& window, std::ostream* out) {
  *out << ::testing::PrintToString(window.Tied());
}

// Source width and height, then encoded width and height.
using Sizes = std::array<int64_t, 4>;

struct CapturedFrame {
  bool null = false;  // the reply
  int64_t window_id = 0;
  std::vector<uint8_t> jpeg{};
  Sizes sizes{};
  int64_t hash = 0;
  bool unchanged = false, closed = false;
};

// x, y, 0xRRGGBB.
using Pixel = std::tuple<int, int, uint32_t>;
// Whether the frame's JPEG decodes to its encoded size, with each pixel
// within JPEG's loss of its colour.
::testing::AssertionResult Shows(const CapturedFrame& frame,
                                 const std::vector<Pixel>& pixels);

inline std::string CaptureMethod() {
  return host_testing::Method("captureWindowFrame");
}
inline std::string StylusMethod() {
  return host_testing::Method("injectWindowStylusEvent");
}
inline Bytes CaptureArguments(int64_t window,
                              int64_t width,
                              int64_t height,
                              int64_t quality,
                              int64_t previous_hash = 0) {
  return host_testing::RecordArgument(
      korvane_bridge_second_screen_capture_config_type_id,
      korvane_bridge_second_screen_capture_config_new(window, width, height,
                                                      quality, previous_hash));
}
inline Bytes StylusArguments(int64_t window,
                             double u,
                             double v,
                             int phase,
                             bool restore = false) {
  return host_testing::RecordArgument(
      korvane_bridge_native_stylus_injection_request_type_id,
      korvane_bridge_native_stylus_injection_request_new(
          window, u, v, static_cast<KorvaneBridgeStylusPhase>(phase), restore));
}
// Takes `reply`; a failed expectation for anything but a frame or null.
CapturedFrame FrameOf(FlValue* reply);

enum : int { kDown, kMove, kUp };

// Each method takes its arguments' record's fields.
struct SecondScreenCalls : host_testing::HostBridgeHarness {
  std::vector<ListedWindow> List();
  template <typename... Fields>
  CapturedFrame Capture(Fields... fields) {
    return FrameOf(Call(CaptureMethod(), CaptureArguments(fields...)));
  }
  template <typename... Fields>
  bool Stylus(Fields... fields) {
    return CallBool(StylusMethod(), StylusArguments(fields...));
  }
};

struct SecondScreenTest : ::testing::Test, SecondScreenCalls {
  TestDisplay screen_;
};

}  // namespace second_screen_testing

#endif  // TESTS_SECOND_SCREEN_SECOND_SCREEN_FIXTURE_H_
