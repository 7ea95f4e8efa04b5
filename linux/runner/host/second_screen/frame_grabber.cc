#include "host/second_screen/frame_grabber.h"

#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xcomposite.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include "host/second_screen/x11_connection.h"

namespace korvane_bridge {

namespace {

bool SameShape(const XImage& image, const GrabArea& area, int depth) {
  return image.width == area.width && image.height == area.height &&
         image.depth == depth;
}

// A pixmap has no visual, and an image read from one no channel masks:
// they come from the window whose pixels it holds.
void TakeMasks(XImage* image, const Visual& visual) {
  image->red_mask = visual.red_mask;
  image->green_mask = visual.green_mask;
  image->blue_mask = visual.blue_mask;
}

// Naming a window's pixmap came with version 0.2.
bool QueryComposite(Display* display) {
  int event_base = 0;
  int error_base = 0;
  // In: the newest version this client knows; out: the server's.
  int major = 0;
  int minor = 4;
  return XCompositeQueryExtension(display, &event_base, &error_base) &&
         XCompositeQueryVersion(display, &major, &minor) &&
         (major > 0 || minor >= 2);
}

}  // namespace

struct FrameGrabber::State {
  X11Connection display;
  // Until a grab shows that the server cannot use the segment.
  bool shared_memory_usable = false;
  bool composite = false;
  XShmSegmentInfo segment{};
  size_t segment_size = 0;
  // Its data is the segment; destroying it leaves the segment alone.
  XImagePtr shared_image;
  XImagePtr socket_image;

  bool PrepareSharedImage(const GrabArea& area,
                          const XWindowAttributes& attributes);
  // Leaves shared_image alone: it may already describe the next segment.
  void ReleaseSegment();
};

bool FrameGrabber::State::PrepareSharedImage(
    const GrabArea& area,
    const XWindowAttributes& attributes) {
  if (shared_image != nullptr &&
      SameShape(*shared_image, area, attributes.depth)) {
    return true;
  }
  shared_image.reset(XShmCreateImage(display.get(), attributes.visual,
                                     attributes.depth, ZPixmap, nullptr,
                                     &segment, area.width, area.height));
  if (shared_image == nullptr) {
    return false;
  }
  const size_t needed = static_cast<size_t>(shared_image->bytes_per_line) *
                        static_cast<size_t>(shared_image->height);
  if (needed > segment_size) {
    ReleaseSegment();
    const int id = shmget(IPC_PRIVATE, needed, IPC_CREAT | 0600);
    if (id < 0) {
      shared_image.reset();
      return false;
    }
    void* address = shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
      shmctl(id, IPC_RMID, nullptr);
      shared_image.reset();
      return false;
    }
    segment.shmid = id;
    segment.shmaddr = static_cast<char*>(address);
    segment.readOnly = False;
    XShmAttach(display.get(), &segment);
    XSync(display.get(), False);
    // Gone for good once both processes detach, even if this one crashes.
    shmctl(id, IPC_RMID, nullptr);
    segment_size = needed;
  }
  shared_image->data = segment.shmaddr;
  return true;
}

void FrameGrabber::State::ReleaseSegment() {
  if (segment_size == 0) {
    return;
  }
  XShmDetach(display.get(), &segment);
  XSync(display.get(), False);
  shmdt(segment.shmaddr);
  segment = XShmSegmentInfo{};
  segment_size = 0;
}

FrameGrabber::FrameGrabber() : state_(std::make_unique<State>()) {}

FrameGrabber::~FrameGrabber() {
  Close();
}

Display* FrameGrabber::Connection() {
  State& state = *state_;
  if (state.display == nullptr) {
    state.display = OpenDefaultDisplay();
    state.shared_memory_usable =
        state.display != nullptr && XShmQueryExtension(state.display.get());
    state.composite =
        state.display != nullptr && QueryComposite(state.display.get());
  }
  return state.display.get();
}

bool FrameGrabber::HasComposite() const {
  return state_->composite;
}

const XImage* FrameGrabber::Grab(Drawable drawable,
                                 const GrabArea& area,
                                 const XWindowAttributes& attributes) {
  State& state = *state_;
  Display* display = Connection();
  if (display == nullptr) {
    return nullptr;
  }
  const bool tried_shared_memory =
      state.shared_memory_usable && state.PrepareSharedImage(area, attributes);
  if (tried_shared_memory &&
      XShmGetImage(display, drawable, state.shared_image.get(), area.x, area.y,
                   AllPlanes)) {
    TakeMasks(state.shared_image.get(), *attributes.visual);
    return state.shared_image.get();
  }
  state.socket_image.reset(XGetImage(display, drawable, area.x, area.y,
                                     area.width, area.height, AllPlanes,
                                     ZPixmap));
  if (state.socket_image == nullptr) {
    return nullptr;
  }
  if (state.socket_image->data == nullptr) {
    state.socket_image.reset();
    return nullptr;
  }
  TakeMasks(state.socket_image.get(), *attributes.visual);
  // The drawable was there for the socket but not for the segment: the
  // server cannot reach this process's memory.
  if (tried_shared_memory) {
    state.shared_image.reset();
    state.ReleaseSegment();
    state.shared_memory_usable = false;
  }
  return state.socket_image.get();
}

bool FrameGrabber::UsesSharedMemory() const {
  return state_->shared_memory_usable;
}

void FrameGrabber::Close() {
  State& state = *state_;
  if (state.display == nullptr) {
    return;
  }
  ScopedX11ErrorTrap trap;
  state.shared_image.reset();
  state.ReleaseSegment();
  state.socket_image.reset();
  state.display.reset();
}

}  // namespace korvane_bridge
