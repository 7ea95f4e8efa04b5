// The cost of one second-screen frame on the X server of DISPLAY, for two
// scenes: a 1280x720 window encoded at 640x360 and the whole 1920x1080
// desktop encoded at 1280x720, both at quality 80. Each is split into its
// steps (connect, grab, hash, scale, encode) and measured whole, encoded
// and unchanged, against floors measured in the same run: the grab plus a
// direct libjpeg-turbo encode of the same scaled pixels; the grab alone for
// an unchanged window that nothing drew on, which needs no grab; and the
// grab with one read of its pixels for one drawn on with the same pixels,
// which only they can tell unchanged. The window is also captured whole
// while another window covers its middle. The
// screen must be 1920x1080; the windows show a photo-like picture (gradients
// with noise), so that the encoder has real work.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <cstdio>
#include <optional>
#include <random>
#include <string>

#include "host/second_screen/frame_hash.h"
#include "host/second_screen/frame_scaler.h"
#include "host/second_screen/jpeg_encoder.h"
#include "host/second_screen/window_capture.h"
#include "host/second_screen/window_pixels.h"
#include "host/second_screen/x11_connection.h"

namespace {

using korvane_bridge::FrameScaler;
using korvane_bridge::JpegEncoder;
using korvane_bridge::WindowPixels;

constexpr int kQuality = 80;

struct Scene {
  const char* name;
  int width;
  int height;
  int target_width;
  int target_height;
  Window window = None;
};

Scene scenes[] = {
    {"window", 1280, 720, 640, 360},
    {"desktop", 1920, 1080, 1280, 720},
};

// Paints a picture window of the scene's size at the top left; the desktop
// scene then captures the root window, which shows it.
class Pictures {
 public:
  Pictures() : display_(XOpenDisplay(nullptr)) {
    if (display_ == nullptr) {
      return;
    }
    // The desktop-sized picture first, so that the window's lies over it.
    Paint(scenes[1].width, scenes[1].height);
    scenes[1].window = DefaultRootWindow(display_);
    scenes[0].window = Paint(scenes[0].width, scenes[0].height);
    XSync(display_, False);
  }
  ~Pictures() {
    if (display_ != nullptr) {
      XCloseDisplay(display_);
    }
  }

  bool ready() const { return display_ != nullptr; }

 private:
  Window Paint(int width, int height) {
    Window window = XCreateSimpleWindow(display_, DefaultRootWindow(display_),
                                        0, 0, width, height, 0, 0, 0);
    XMapWindow(display_, window);
    XSync(display_, False);
    XImage* picture =
        XGetImage(display_, window, 0, 0, width, height, AllPlanes, ZPixmap);
    std::mt19937 noise(7);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const unsigned long r = (x * 255 / width + noise() % 24) & 0xFF;
        const unsigned long g = (y * 255 / height + noise() % 24) & 0xFF;
        const unsigned long b = ((x + y) * 255 / (width + height)) & 0xFF;
        XPutPixel(picture, x, y, (r << 16) | (g << 8) | b);
      }
    }
    GC gc = XCreateGC(display_, window, 0, nullptr);
    XPutImage(display_, window, gc, picture, 0, 0, 0, 0, width, height);
    XFreeGC(display_, gc);
    XDestroyImage(picture);
    return window;
  }

  Display* display_;
};

// The window's pixels as a capture reads them, on their own connection.
struct Grabbing {
  explicit Grabbing(const Scene& scene) : scene(scene) {
    XGetWindowAttributes(pixels.Connection(), scene.window, &attributes);
  }
  const XImage* Grab() { return pixels.Read(scene.window, attributes); }

  const Scene& scene;
  korvane_bridge::ScopedX11ErrorTrap trap;
  WindowPixels pixels;
  XWindowAttributes attributes{};
};

// A window laid over the middle of the scene's window while it lives.
class Cover {
 public:
  explicit Cover(const Scene& scene)
      : display_(korvane_bridge::OpenDefaultDisplay()) {
    window_ = XCreateSimpleWindow(
        display_.get(), DefaultRootWindow(display_.get()), scene.width / 4,
        scene.height / 4, scene.width / 2, scene.height / 2, 0, 0, 0xFFFFFF);
    XMapRaised(display_.get(), window_);
    XSync(display_.get(), False);
  }
  ~Cover() { XDestroyWindow(display_.get(), window_); }

 private:
  korvane_bridge::X11Connection display_;
  Window window_;
};

FrameScaler::Frame Scaled(const Scene& scene, FrameScaler& scaler) {
  Grabbing grabbing(scene);
  return scaler.Scale(*grabbing.Grab(), scene.target_width,
                      scene.target_height);
}

void Connect(benchmark::State& state, const Scene&) {
  for (auto _ : state) {
    korvane_bridge::X11Connection connection =
        korvane_bridge::OpenDefaultDisplay();
    benchmark::DoNotOptimize(connection.get());
  }
}

void Grab(benchmark::State& state, const Scene& scene) {
  Grabbing grabbing(scene);
  for (auto _ : state) {
    benchmark::DoNotOptimize(grabbing.Grab());
  }
  state.counters["shared_memory"] = grabbing.pixels.UsesSharedMemory();
}

// The floor of an unchanged frame that is judged by its pixels: the grab,
// and one read of each cache line of them. The X server writes the pixels
// from another core; reading them at all costs far more than the grab
// alone, which never looks at what it grabbed.
void FloorGrabAndRead(benchmark::State& state, const Scene& scene) {
  Grabbing grabbing(scene);
  for (auto _ : state) {
    const XImage* image = grabbing.Grab();
    const size_t size =
        static_cast<size_t>(image->bytes_per_line) * image->height;
    uint8_t sum = 0;
    for (size_t offset = 0; offset < size; offset += 64) {
      sum += static_cast<uint8_t>(image->data[offset]);
    }
    benchmark::DoNotOptimize(sum);
  }
}

// What each grab would cost without shared memory.
void GrabThroughSocket(benchmark::State& state, const Scene& scene) {
  korvane_bridge::X11Connection connection =
      korvane_bridge::OpenDefaultDisplay();
  for (auto _ : state) {
    XImage* image = XGetImage(connection.get(), scene.window, 0, 0, scene.width,
                              scene.height, AllPlanes, ZPixmap);
    benchmark::DoNotOptimize(image);
    XDestroyImage(image);
  }
}

void Hash(benchmark::State& state, const Scene& scene) {
  Grabbing grabbing(scene);
  const XImage* image = grabbing.Grab();
  for (auto _ : state) {
    benchmark::DoNotOptimize(korvane_bridge::FrameHash(*image));
  }
}

void Scale(benchmark::State& state, const Scene& scene) {
  Grabbing grabbing(scene);
  const XImage* image = grabbing.Grab();
  FrameScaler scaler;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        scaler.Scale(*image, scene.target_width, scene.target_height).pixels);
  }
}

void Encode(benchmark::State& state, const Scene& scene) {
  FrameScaler scaler;
  const FrameScaler::Frame scaled = Scaled(scene, scaler);
  JpegEncoder encoder;
  size_t size = 0;
  for (auto _ : state) {
    size = encoder
               .Encode(scaled.pixels, scaled.layout, scene.target_width,
                       scaled.stride, scene.target_height, kQuality)
               .size;
  }
  state.counters["jpeg_bytes"] = static_cast<double>(size);
}

// The floor of an encoded frame: the grab, and the scaled pixels encoded
// straight through libjpeg-turbo's own interface.
void FloorGrabAndDirectEncode(benchmark::State& state, const Scene& scene) {
  FrameScaler scaler;
  const FrameScaler::Frame scaled = Scaled(scene, scaler);
  Grabbing grabbing(scene);
  tjhandle compressor = tjInitCompress();
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(grabbing.Grab());
    tjCompress2(compressor, scaled.pixels, scene.target_width, scaled.stride,
                scene.target_height, TJPF_BGRX, &jpeg, &size, TJSAMP_420,
                kQuality, 0);
  }
  tjFree(jpeg);
  tjDestroy(compressor);
}

// A capture of an unchanged window: nothing drawn on it since the frame
// the handheld holds, or drawn on with the same pixels, which only its
// pixels can tell.
enum class Frame { kEncoded, kUnchanged, kRedrawn };

// Draws a window's top left pixel again, as it is, from another client.
class Redrawing {
 public:
  explicit Redrawing(Window window)
      : display_(korvane_bridge::OpenDefaultDisplay()),
        window_(window),
        gc_(XCreateGC(display_.get(), window, 0, nullptr)) {}
  ~Redrawing() { XFreeGC(display_.get(), gc_); }

  void Redraw() {
    XCopyArea(display_.get(), window_, window_, gc_, 0, 0, 1, 1, 0, 0);
    XSync(display_.get(), False);
  }

 private:
  korvane_bridge::X11Connection display_;
  Window window_;
  GC gc_;
};

// The whole capture as the program's capture worker runs it.
void Capture(benchmark::State& state,
             const Scene& scene,
             Frame frame_kind,
             bool covered) {
  std::optional<Cover> cover;
  if (covered) {
    cover.emplace(scene);
  }
  std::optional<Redrawing> redrawing;
  if (frame_kind == Frame::kRedrawn) {
    // The window at the top left, which the desktop shows too: drawing on
    // the root there would be clipped away by it.
    redrawing.emplace(scenes[0].window);
  }
  korvane_bridge::WindowCapturer capturer;
  korvane_bridge::CaptureSettings settings{static_cast<int64_t>(scene.window),
                                           scene.target_width,
                                           scene.target_height, kQuality, 0};
  const bool unchanged = frame_kind != Frame::kEncoded;
  if (unchanged) {
    g_autoptr(KorvaneBridgeCapturedWindowFrame) first =
        capturer.Capture(settings);
    settings.previous_frame_hash =
        korvane_bridge_captured_window_frame_get_frame_hash(first);
  }
  for (auto _ : state) {
    if (redrawing) {
      state.PauseTiming();
      redrawing->Redraw();
      state.ResumeTiming();
    }
    g_autoptr(KorvaneBridgeCapturedWindowFrame) frame =
        capturer.Capture(settings);
    if (frame == nullptr ||
        korvane_bridge_captured_window_frame_get_is_unchanged(frame) !=
            unchanged) {
      state.SkipWithError("not the expected frame");
      break;
    }
  }
}

void Register(const std::string& name,
              void (*run)(benchmark::State&, const Scene&),
              const Scene& scene) {
  benchmark::RegisterBenchmark((name + "/" + scene.name).c_str(), run, scene)
      ->Unit(benchmark::kMillisecond);
}

void RegisterCaptures(const std::string& name,
                      const Scene& scene,
                      bool covered) {
  const std::pair<Frame, const char*> kinds[] = {
      {Frame::kEncoded, "encoded"},
      {Frame::kUnchanged, "unchanged"},
      {Frame::kRedrawn, "redrawn"}};
  for (const auto& [kind, kind_name] : kinds) {
    benchmark::RegisterBenchmark(("Capture/" + name + "/" + kind_name).c_str(),
                                 Capture, scene, kind, covered)
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  Pictures pictures;
  if (!pictures.ready()) {
    fprintf(stderr, "capture_benchmarks: no X display (set DISPLAY)\n");
    return 1;
  }
  for (const Scene& scene : scenes) {
    Register("Connect", Connect, scene);
    Register("Grab", Grab, scene);
    Register("FloorGrabAndRead", FloorGrabAndRead, scene);
    Register("GrabThroughSocket", GrabThroughSocket, scene);
    Register("Hash", Hash, scene);
    Register("Scale", Scale, scene);
    Register("Encode", Encode, scene);
    Register("FloorGrabAndDirectEncode", FloorGrabAndDirectEncode, scene);
    RegisterCaptures(scene.name, scene, false);
  }
  RegisterCaptures("covered", scenes[0], true);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
