#ifndef LINUX_RUNNER_HOST_WINDOW_CAPTURE_STEPS_H_
#define LINUX_RUNNER_HOST_WINDOW_CAPTURE_STEPS_H_

// The steps of one window capture, in the order CaptureWindowFrame runs
// them; each can be measured on its own.

#include <X11/Xlib.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <stdint.h>

#include <memory>

namespace korvane_bridge {

struct ImageDestroyer {
  void operator()(XImage* image) const { XDestroyImage(image); }
};
using ImagePtr = std::unique_ptr<XImage, ImageDestroyer>;

struct PixbufUnref {
  void operator()(GdkPixbuf* pixbuf) const { g_object_unref(pixbuf); }
};
using PixbufPtr = std::unique_ptr<GdkPixbuf, PixbufUnref>;

struct GFreer {
  void operator()(gpointer data) const { g_free(data); }
};
using JpegBuffer = std::unique_ptr<gchar, GFreer>;

// The window's pixels as the server holds them; null when it gives none.
ImagePtr GrabWindowImage(Display* display, Window window, int width, int height);

// FNV-1a over about 16 384 bytes spread evenly over the raw image, row
// padding included: cheap for any size, and blind to changes between the
// sampled bytes.
uint64_t SampledFrameHash(const XImage& image);

// The image as 8-bit RGB, read by its own layout (24 or 32 bits per pixel,
// either byte order, 8-bit channels anywhere in the pixel); null for any
// other layout.
PixbufPtr RgbPixbufFromImage(const XImage& image);

// Bilinear, to exactly the given size.
PixbufPtr ScalePixbuf(const GdkPixbuf* pixbuf, int width, int height);

// The JPEG file's bytes; null, with `size` 0, on failure.
JpegBuffer EncodeJpeg(GdkPixbuf* pixbuf, int quality, gsize* size);

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_WINDOW_CAPTURE_STEPS_H_
