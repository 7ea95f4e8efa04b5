// The cost of one second-screen frame: a 1280x720 window encoded at 640x360,
// quality 80, step by step (connect, grab, hash, copy, scale, encode) and
// whole, on the X server of DISPLAY. The window shows a photo-like picture
// (gradients with noise), so that the encoder has real work.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "window_capture.h"
#include "window_capture_steps.h"
#include "x11_connection.h"

namespace {

using korvane_bridge::ImagePtr;
using korvane_bridge::PixbufPtr;

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kTargetWidth = 640;
constexpr int kTargetHeight = 360;
constexpr int kQuality = 80;

// A mapped window with the picture, kept for the whole run.
class PictureWindow {
 public:
  PictureWindow() : display_(XOpenDisplay(nullptr)) {
    if (display_ == nullptr) {
      return;
    }
    const int screen = DefaultScreen(display_);
    window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), 0,
                                  0, kWidth, kHeight, 0, 0, 0);
    XMapWindow(display_, window_);
    XSync(display_, False);
    XImage* picture = XGetImage(display_, window_, 0, 0, kWidth, kHeight,
                                AllPlanes, ZPixmap);
    std::mt19937 noise(7);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const unsigned long r = (x * 255 / kWidth + noise() % 24) & 0xFF;
        const unsigned long g = (y * 255 / kHeight + noise() % 24) & 0xFF;
        const unsigned long b = ((x + y) * 255 / (kWidth + kHeight)) & 0xFF;
        XPutPixel(picture, x, y, (r << 16) | (g << 8) | b);
      }
    }
    GC gc = XCreateGC(display_, window_, 0, nullptr);
    XPutImage(display_, window_, gc, picture, 0, 0, 0, 0, kWidth, kHeight);
    XFreeGC(display_, gc);
    XDestroyImage(picture);
    XSync(display_, False);
  }
  ~PictureWindow() {
    if (display_ != nullptr) {
      XCloseDisplay(display_);
    }
  }

  Window window() const { return window_; }

 private:
  Display* display_;
  Window window_ = None;
};

PictureWindow& Picture() {
  static PictureWindow picture;
  return picture;
}

ImagePtr Grab(Display* display) {
  return korvane_bridge::GrabWindowImage(display, Picture().window(), kWidth,
                                         kHeight);
}

void Connect(benchmark::State& state) {
  for (auto _ : state) {
    korvane_bridge::X11Connection connection =
        korvane_bridge::OpenDefaultDisplay();
    benchmark::DoNotOptimize(connection.get());
  }
}

void Grab(benchmark::State& state) {
  korvane_bridge::X11Connection connection =
      korvane_bridge::OpenDefaultDisplay();
  for (auto _ : state) {
    benchmark::DoNotOptimize(Grab(connection.get()).get());
  }
}

void Hash(benchmark::State& state) {
  korvane_bridge::X11Connection connection =
      korvane_bridge::OpenDefaultDisplay();
  ImagePtr image = Grab(connection.get());
  for (auto _ : state) {
    benchmark::DoNotOptimize(korvane_bridge::SampledFrameHash(*image));
  }
}

void Copy(benchmark::State& state) {
  korvane_bridge::X11Connection connection =
      korvane_bridge::OpenDefaultDisplay();
  ImagePtr image = Grab(connection.get());
  for (auto _ : state) {
    benchmark::DoNotOptimize(korvane_bridge::RgbPixbufFromImage(*image).get());
  }
}

void Scale(benchmark::State& state) {
  korvane_bridge::X11Connection connection =
      korvane_bridge::OpenDefaultDisplay();
  PixbufPtr full = korvane_bridge::RgbPixbufFromImage(*Grab(connection.get()));
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        korvane_bridge::ScalePixbuf(full.get(), kTargetWidth, kTargetHeight)
            .get());
  }
}

void Encode(benchmark::State& state) {
  korvane_bridge::X11Connection connection =
      korvane_bridge::OpenDefaultDisplay();
  PixbufPtr scaled = korvane_bridge::ScalePixbuf(
      korvane_bridge::RgbPixbufFromImage(*Grab(connection.get())).get(),
      kTargetWidth, kTargetHeight);
  gsize size = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        korvane_bridge::EncodeJpeg(scaled.get(), kQuality, &size).get());
  }
  state.counters["jpeg_bytes"] = static_cast<double>(size);
}

// The whole capture as the worker runs it: encoded, and unchanged.
void WholeCapture(benchmark::State& state) {
  const bool unchanged = state.range(0) != 0;
  korvane_bridge::CaptureSettings settings{
      static_cast<int64_t>(Picture().window()), kTargetWidth, kTargetHeight,
      kQuality, 0};
  if (unchanged) {
    g_autoptr(KorvaneBridgeCapturedWindowFrame) first =
        korvane_bridge::CaptureWindowFrame(settings);
    settings.previous_frame_hash =
        korvane_bridge_captured_window_frame_get_frame_hash(first);
  }
  for (auto _ : state) {
    g_autoptr(KorvaneBridgeCapturedWindowFrame) frame =
        korvane_bridge::CaptureWindowFrame(settings);
    if (frame == nullptr ||
        korvane_bridge_captured_window_frame_get_is_unchanged(frame) !=
            unchanged) {
      state.SkipWithError("not the expected frame");
      break;
    }
  }
}

BENCHMARK(Connect)->Unit(benchmark::kMillisecond);
BENCHMARK(Grab)->Unit(benchmark::kMillisecond);
BENCHMARK(Hash)->Unit(benchmark::kMillisecond);
BENCHMARK(Copy)->Unit(benchmark::kMillisecond);
BENCHMARK(Scale)->Unit(benchmark::kMillisecond);
BENCHMARK(Encode)->Unit(benchmark::kMillisecond);
BENCHMARK(WholeCapture)
    ->ArgName("unchanged")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  if (Picture().window() == None) {
    fprintf(stderr, "capture_benchmarks: no X display (set DISPLAY)\n");
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
