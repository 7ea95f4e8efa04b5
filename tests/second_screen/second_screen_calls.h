#ifndef TESTS_SECOND_SCREEN_SECOND_SCREEN_CALLS_H_
#define TESTS_SECOND_SCREEN_SECOND_SCREEN_CALLS_H_

// The three second-screen methods called as the Dart side calls them, with
// their replies unpacked into plain values.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host_bridge_harness.h"

namespace second_screen_testing {

using host_testing::Bytes;

struct ListedWindow {
  int64_t id = 0;
  std::string title;
  std::string owner;
  std::string name;
  int64_t width = 0;
  int64_t height = 0;
  bool on_screen = false;
  bool emulator = false;
};

struct CapturedFrame {
  int64_t window_id = 0;
  std::vector<uint8_t> jpeg;
  int64_t source_width = 0;
  int64_t source_height = 0;
  int64_t encoded_width = 0;
  int64_t encoded_height = 0;
  int64_t hash = 0;
  bool unchanged = false;
  bool closed = false;
};

struct Pixel {
  int red = 0;
  int green = 0;
  int blue = 0;
};

// A JPEG decoded by GdkPixbuf; width 0 when it does not decode.
struct DecodedImage {
  int width = 0;
  int height = 0;
  int rowstride = 0;
  int channels = 0;
  std::vector<uint8_t> pixels;

  Pixel At(int x, int y) const;
};

DecodedImage DecodeJpeg(const std::vector<uint8_t>& jpeg);

// Whether `pixel` is within JPEG's loss of the colour.
::testing::AssertionResult Near(const Pixel& pixel,
                                int red,
                                int green,
                                int blue);

Bytes CaptureArguments(int64_t window,
                       int64_t width,
                       int64_t height,
                       int64_t quality,
                       int64_t previous_hash);
Bytes StylusArguments(int64_t window,
                      double u,
                      double v,
                      int phase,
                      bool restore);

// Unpacks replies; a failed expectation when the value has the wrong shape.
std::vector<ListedWindow> ListedWindows(FlValue* reply);
// Nothing for a null reply.
std::optional<CapturedFrame> FrameOf(FlValue* reply);

const std::string& ListMethod();
const std::string& CaptureMethod();
const std::string& StylusMethod();

inline constexpr int kDown = 0;
inline constexpr int kMove = 1;
inline constexpr int kUp = 2;

class SecondScreenCalls : public host_testing::HostBridgeHarness {
 protected:
  std::vector<ListedWindow> List();
  std::optional<CapturedFrame> Capture(int64_t window,
                                       int64_t width,
                                       int64_t height,
                                       int64_t quality,
                                       int64_t previous_hash = 0);
  // Nothing when the reply is not a bool.
  std::optional<bool> Stylus(int64_t window,
                             double u,
                             double v,
                             int phase,
                             bool restore = false);
};

}  // namespace second_screen_testing

#endif  // TESTS_SECOND_SCREEN_SECOND_SCREEN_CALLS_H_
