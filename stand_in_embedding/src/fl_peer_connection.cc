#include "fl_peer_connection.h"

#include <optional>

namespace {

constexpr gsize kReadChunk = 64 * 1024;
// Reads per dispatch, so that one busy peer cannot starve the main loop.
constexpr int kReadsPerDispatch = 16;
// Past this much unread output the host stops taking the peer's messages,
// so that a peer that sends without reading parks in its own socket buffer
// instead of growing the host by every reply it asked for.
constexpr gsize kPauseReadingAbove = 4 * 1024 * 1024;
// Likewise for messages taken but not yet answered: the host answers them
// in later main-loop iterations, so unread output alone would let a whole
// read's worth of them wait at once.
constexpr guint kPauseReadingAboveUnanswered = 256;
// What reading cannot hold back (host messages, replies to work already
// under way) can still pile up; a peer that lets this much wait is not
// reading at all and is dropped. It leaves room for one reply of the largest
// size behind a full queue.
constexpr gsize kMaxQueuedOutput =
    gsize{korvane_peer::kMaxFrameLength} + 2 * kPauseReadingAbove;

}  // namespace

struct _FlPeerConnection {
  GObject parent_instance;

  GSocket* socket;
  GMainContext* context;
  GSource* read_source;
  GSource* write_source;   // only while output waits for the peer
  GSource* resume_source;  // only while reading waits to be resumed
  gboolean reading_paused;
  guint unanswered;

  korvane_peer::FrameReader* reader;
  korvane_peer::Bytes* output;
  gsize output_start;

  FlPeerConnectionFrameFunc on_frame;
  FlPeerConnectionClosedFunc on_closed;
  gpointer user_data;
  gboolean open;
};

G_DEFINE_TYPE(FlPeerConnection, fl_peer_connection, G_TYPE_OBJECT)

static void destroy_source(GSource** source) {
  if (*source != nullptr) {
    g_source_destroy(*source);
    g_clear_pointer(source, g_source_unref);
  }
}

static void close_connection(FlPeerConnection* self, const gchar* problem) {
  if (!self->open) {
    return;
  }
  self->open = FALSE;
  destroy_source(&self->read_source);
  destroy_source(&self->write_source);
  destroy_source(&self->resume_source);
  g_socket_close(self->socket, nullptr);
  self->output->clear();
  self->output_start = 0;
  if (self->on_closed != nullptr) {
    self->on_closed(self, problem, self->user_data);
  }
}

static gboolean write_ready_cb(GSocket* socket,
                               GIOCondition condition,
                               gpointer user_data);
static gboolean resume_reading_cb(gpointer user_data);

static gsize queued_output(FlPeerConnection* self) {
  return self->output->size() - self->output_start;
}

static gboolean should_pause_reading(FlPeerConnection* self) {
  return queued_output(self) > kPauseReadingAbove ||
         self->unanswered > kPauseReadingAboveUnanswered;
}

// Resumed from the main loop rather than at once: this runs inside the frame
// callbacks, which must not be re-entered. Half the limits leave room for a
// run of frames before the next pause.
static void resume_reading_later(FlPeerConnection* self) {
  if (self->open && self->reading_paused && self->resume_source == nullptr &&
      queued_output(self) <= kPauseReadingAbove / 2 &&
      self->unanswered <= kPauseReadingAboveUnanswered / 2) {
    self->resume_source = g_idle_source_new();
    g_source_set_callback(self->resume_source, resume_reading_cb, self,
                          nullptr);
    g_source_attach(self->resume_source, self->context);
  }
}

// Sends what the socket takes now and waits for the rest through a source.
static void flush(FlPeerConnection* self) {
  while (self->output_start < self->output->size()) {
    g_autoptr(GError) error = nullptr;
    gssize sent = g_socket_send(self->socket,
                                reinterpret_cast<const gchar*>(
                                    self->output->data() + self->output_start),
                                self->output->size() - self->output_start,
                                nullptr, &error);
    if (sent < 0) {
      if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_WOULD_BLOCK)) {
        break;
      }
      g_debug("Peer connection lost while writing: %s", error->message);
      close_connection(self, nullptr);
      return;
    }
    self->output_start += sent;
  }

  if (self->output_start == self->output->size()) {
    self->output->clear();
    self->output_start = 0;
    destroy_source(&self->write_source);
    // One large reply must not cost an idle connection its size for good.
    if (self->output->capacity() > kPauseReadingAbove) {
      korvane_peer::Bytes().swap(*self->output);
    }
  } else if (self->output_start >= self->output->size() / 2) {
    // A peer that reads steadily but never quite catches up would otherwise
    // keep every byte ever sent to it at the front of the queue.
    self->output->erase(self->output->begin(),
                        self->output->begin() + self->output_start);
    self->output_start = 0;
  }

  resume_reading_later(self);

  if (queued_output(self) > 0 && self->write_source == nullptr) {
    self->write_source =
        g_socket_create_source(self->socket, G_IO_OUT, nullptr);
    g_source_set_callback(self->write_source, G_SOURCE_FUNC(write_ready_cb),
                          self, nullptr);
    g_source_attach(self->write_source, self->context);
  }
}

static gboolean write_ready_cb(GSocket* /*socket*/,
                               GIOCondition /*condition*/,
                               gpointer user_data) {
  flush(FL_PEER_CONNECTION(user_data));
  return G_SOURCE_CONTINUE;
}

static gboolean enqueue(FlPeerConnection* self,
                        const std::optional<korvane_peer::Bytes>& frame) {
  if (!self->open || !frame.has_value()) {
    return FALSE;
  }
  if (queued_output(self) + frame->size() > kMaxQueuedOutput) {
    close_connection(self, "the peer does not read what the host sends");
    return FALSE;
  }
  self->output->insert(self->output->end(), frame->begin(), frame->end());
  flush(self);
  return self->open;
}

static gboolean read_ready_cb(GSocket* socket,
                              GIOCondition condition,
                              gpointer user_data);

static void watch_input(FlPeerConnection* self) {
  self->read_source = g_socket_create_source(
      self->socket, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
      nullptr);
  g_source_set_callback(self->read_source, G_SOURCE_FUNC(read_ready_cb), self,
                        nullptr);
  g_source_attach(self->read_source, self->context);
}

// Hands the buffered frames on until the peer's unread output says to wait.
// False when the connection closed or reading paused.
static gboolean dispatch_frames(FlPeerConnection* self) {
  korvane_peer::Frame frame;
  std::string problem;
  while (self->open) {
    if (should_pause_reading(self)) {
      self->reading_paused = TRUE;
      destroy_source(&self->read_source);
      return FALSE;
    }
    switch (self->reader->Next(&frame, &problem)) {
      case korvane_peer::FrameReader::Result::kFrame:
        self->on_frame(self, frame, self->user_data);
        break;
      case korvane_peer::FrameReader::Result::kNeedMore:
        return TRUE;
      case korvane_peer::FrameReader::Result::kBroken:
        close_connection(self, problem.c_str());
        return FALSE;
    }
  }
  return FALSE;
}

static void serve(FlPeerConnection* self) {
  for (int i = 0; i < kReadsPerDispatch && dispatch_frames(self); i++) {
    guint8 chunk[kReadChunk];
    g_autoptr(GError) error = nullptr;
    gssize got = g_socket_receive(self->socket, reinterpret_cast<gchar*>(chunk),
                                  sizeof(chunk), nullptr, &error);
    if (got < 0 && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_WOULD_BLOCK)) {
      return;
    }
    if (got <= 0) {
      if (error != nullptr) {
        g_debug("Peer connection lost while reading: %s", error->message);
      }
      close_connection(self, nullptr);
      return;
    }
    self->reader->Append(chunk, got);
  }
  dispatch_frames(self);
}

static gboolean read_ready_cb(GSocket* /*socket*/,
                              GIOCondition /*condition*/,
                              gpointer user_data) {
  // The callbacks may drop the last outside reference to this connection.
  g_autoptr(FlPeerConnection) self =
      FL_PEER_CONNECTION(g_object_ref(user_data));
  serve(self);
  // Paused or closed, the source is already destroyed.
  return self->read_source != nullptr ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

static gboolean resume_reading_cb(gpointer user_data) {
  g_autoptr(FlPeerConnection) self =
      FL_PEER_CONNECTION(g_object_ref(user_data));
  g_clear_pointer(&self->resume_source, g_source_unref);
  self->reading_paused = FALSE;
  watch_input(self);
  serve(self);
  return G_SOURCE_REMOVE;
}

static void fl_peer_connection_dispose(GObject* object) {
  FlPeerConnection* self = FL_PEER_CONNECTION(object);
  // Whoever lets go of an open connection no longer wants to hear about it.
  self->on_closed = nullptr;
  close_connection(self, nullptr);
  g_clear_object(&self->socket);
  g_clear_pointer(&self->context, g_main_context_unref);
  G_OBJECT_CLASS(fl_peer_connection_parent_class)->dispose(object);
}

static void fl_peer_connection_finalize(GObject* object) {
  FlPeerConnection* self = FL_PEER_CONNECTION(object);
  delete self->reader;
  delete self->output;
  G_OBJECT_CLASS(fl_peer_connection_parent_class)->finalize(object);
}

static void fl_peer_connection_class_init(FlPeerConnectionClass* klass) {
  G_OBJECT_CLASS(klass)->dispose = fl_peer_connection_dispose;
  G_OBJECT_CLASS(klass)->finalize = fl_peer_connection_finalize;
}

static void fl_peer_connection_init(FlPeerConnection* self) {
  self->reader = new korvane_peer::FrameReader();
  self->output = new korvane_peer::Bytes();
}

FlPeerConnection* fl_peer_connection_new(GSocket* socket,
                                         FlPeerConnectionFrameFunc on_frame,
                                         FlPeerConnectionClosedFunc on_closed,
                                         gpointer user_data) {
  g_return_val_if_fail(G_IS_SOCKET(socket), nullptr);
  g_return_val_if_fail(on_frame != nullptr, nullptr);

  FlPeerConnection* self =
      FL_PEER_CONNECTION(g_object_new(fl_peer_connection_get_type(), nullptr));
  self->socket = G_SOCKET(g_object_ref(socket));
  self->context = g_main_context_ref_thread_default();
  self->on_frame = on_frame;
  self->on_closed = on_closed;
  self->user_data = user_data;
  self->open = TRUE;

  g_socket_set_blocking(socket, FALSE);
  watch_input(self);
  return self;
}

gboolean fl_peer_connection_is_open(FlPeerConnection* self) {
  g_return_val_if_fail(FL_IS_PEER_CONNECTION(self), FALSE);
  return self->open;
}

gboolean fl_peer_connection_send_message(FlPeerConnection* self,
                                         guint32 id,
                                         const gchar* channel,
                                         GBytes* payload) {
  g_return_val_if_fail(FL_IS_PEER_CONNECTION(self), FALSE);
  gsize size = 0;
  const guint8* data =
      static_cast<const guint8*>(g_bytes_get_data(payload, &size));
  return enqueue(self, korvane_peer::EncodeMessage(id, channel, data, size));
}

gboolean fl_peer_connection_send_reply(FlPeerConnection* self,
                                       guint32 id,
                                       GBytes* payload) {
  g_return_val_if_fail(FL_IS_PEER_CONNECTION(self), FALSE);
  gsize size = 0;
  const guint8* data =
      static_cast<const guint8*>(g_bytes_get_data(payload, &size));
  return enqueue(self, korvane_peer::EncodeReply(id, data, size));
}

void fl_peer_connection_message_taken(FlPeerConnection* self) {
  g_return_if_fail(FL_IS_PEER_CONNECTION(self));
  self->unanswered++;
}

void fl_peer_connection_message_answered(FlPeerConnection* self) {
  g_return_if_fail(FL_IS_PEER_CONNECTION(self));
  g_return_if_fail(self->unanswered > 0);
  self->unanswered--;
  resume_reading_later(self);
}

void fl_peer_connection_close(FlPeerConnection* self, const gchar* problem) {
  g_return_if_fail(FL_IS_PEER_CONNECTION(self));
  close_connection(self, problem);
}
