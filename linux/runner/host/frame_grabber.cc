#include "frame_grabber.h"

#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include "x11_connection.h"

namespace korvane_bridge {

namespace {

struct ImageDestroyer {
  void operator()(XImage* image) const { XDestroyImage(image); }
};
using ImagePtr = std::unique_ptr<XImage, ImageDestroyer>;

bool SameShape(const XImage& image, const XWindowAttributes& attributes) {
  return image.width == attributes.width && image.height == attributes.height &&
         image.depth == attributes.depth;
}

}  // namespace

struct FrameGrabber::State {
  X11Connection display;
  // Until a grab shows that the server cannot use the segment.
  bool shared_memory_usable = false;
  XShmSegmentInfo segment{};
  size_t segment_size = 0;
  // Its data is the segment; destroying it leaves the segment alone.
  ImagePtr shared_image;
  ImagePtr socket_image;

  bool PrepareSharedImage(const XWindowAttributes& attributes);
  // Leaves shared_image alone: it may already describe the next segment.
  void ReleaseSegment();
};

bool FrameGrabber::State::PrepareSharedImage(
    const XWindowAttributes& attributes) {
  if (shared_image != nullptr && SameShape(*shared_image, attributes)) {
    return true;
  }
  shared_image.reset(XShmCreateImage(
      display.get(), attributes.visual, attributes.depth, ZPixmap, nullptr,
      &segment, attributes.width, attributes.height));
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
  }
  return state.display.get();
}

const XImage* FrameGrabber::Grab(Window window,
                                 const XWindowAttributes& attributes) {
  State& state = *state_;
  Display* display = Connection();
  if (display == nullptr) {
    return nullptr;
  }
  const bool tried_shared_memory =
      state.shared_memory_usable && state.PrepareSharedImage(attributes);
  if (tried_shared_memory &&
      XShmGetImage(display, window, state.shared_image.get(), 0, 0,
                   AllPlanes)) {
    return state.shared_image.get();
  }
  state.socket_image.reset(XGetImage(display, window, 0, 0, attributes.width,
                                     attributes.height, AllPlanes, ZPixmap));
  if (state.socket_image != nullptr && state.socket_image->data == nullptr) {
    state.socket_image.reset();
  }
  // The window was there for the socket but not for the segment: the
  // server cannot reach this process's memory.
  if (tried_shared_memory && state.socket_image != nullptr) {
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
