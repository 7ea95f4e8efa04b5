#include "flutter_linux/fl_view.h"

#include "fl_engine_private.h"
#include "fl_plugin_registrar_impl.h"

namespace {

// Where the status line sits, in pixels from the top left corner.
constexpr double kStatusMargin = 12;

}  // namespace

struct _FlView {
  GtkBox parent_instance;

  FlEngine* engine;
  int64_t view_id;
  GdkRGBA background_color;

  // Why the engine did not start, when it did not.
  gchar* start_error;
  FlPeerRelay* watched_relay;

  guint first_frame_source;
  gboolean first_frame_drawn;
};

enum { SIGNAL_FIRST_FRAME, LAST_SIGNAL };
static guint signals[LAST_SIGNAL];

static void fl_view_plugin_registry_iface_init(
    FlPluginRegistryInterface* iface);

G_DEFINE_TYPE_WITH_CODE(
    FlView,
    fl_view,
    GTK_TYPE_BOX,
    G_IMPLEMENT_INTERFACE(fl_plugin_registry_get_type(),
                          fl_view_plugin_registry_iface_init))

static FlPluginRegistrar* get_registrar_for_plugin(FlPluginRegistry* registry,
                                                   const gchar* /*name*/) {
  FlView* self = FL_VIEW(registry);
  return FL_PLUGIN_REGISTRAR(fl_plugin_registrar_impl_new(
      self, fl_engine_get_binary_messenger(self->engine)));
}

static void fl_view_plugin_registry_iface_init(
    FlPluginRegistryInterface* iface) {
  iface->get_registrar_for_plugin = get_registrar_for_plugin;
}

static gchar* status_text(FlView* self) {
  if (self->start_error != nullptr) {
    return g_strdup_printf("Peer socket unavailable: %s", self->start_error);
  }
  FlPeerRelay* relay = fl_engine_get_peer_relay(self->engine);
  if (relay == nullptr) {
    return g_strdup("Peer socket not open yet");
  }
  guint peers = fl_peer_relay_get_peer_count(relay);
  if (peers == 0) {
    return g_strdup_printf("Peer socket %s: no peer attached",
                           fl_peer_relay_get_path(relay));
  }
  return g_strdup_printf("Peer socket %s: %u %s attached",
                         fl_peer_relay_get_path(relay), peers,
                         peers == 1 ? "peer" : "peers");
}

// The whole frame: what the engine would render in place of the Dart UI.
static void paint(FlView* self, cairo_t* cr) {
  const GdkRGBA* background = &self->background_color;
  gdk_cairo_set_source_rgba(cr, background);
  cairo_paint(cr);

  // Light text on a dark background and dark text on a light one.
  double luminance = 0.2126 * background->red + 0.7152 * background->green +
                     0.0722 * background->blue;
  double shade = luminance < 0.5 ? 0.9 : 0.1;
  cairo_set_source_rgb(cr, shade, shade, shade);
  g_autofree gchar* status = status_text(self);
  g_autoptr(PangoLayout) layout =
      gtk_widget_create_pango_layout(GTK_WIDGET(self), status);
  cairo_move_to(cr, kStatusMargin, kStatusMargin);
  pango_cairo_show_layout(cr, layout);
}

// The engine renders its first frame while the window may still be hidden,
// so it is drawn offscreen; "first-frame" tells the application it may show
// the window now.
static gboolean draw_first_frame_cb(gpointer user_data) {
  FlView* self = FL_VIEW(user_data);
  self->first_frame_source = 0;

  int width = MAX(gtk_widget_get_allocated_width(GTK_WIDGET(self)), 1);
  int height = MAX(gtk_widget_get_allocated_height(GTK_WIDGET(self)), 1);
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(surface);
  paint(self, cr);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);

  self->first_frame_drawn = TRUE;
  g_signal_emit(self, signals[SIGNAL_FIRST_FRAME], 0);
  return G_SOURCE_REMOVE;
}

static void peer_count_changed_cb(GObject* /*relay*/,
                                  GParamSpec* /*pspec*/,
                                  gpointer user_data) {
  gtk_widget_queue_draw(GTK_WIDGET(user_data));
}

static void stop_watching_relay(FlView* self) {
  if (self->watched_relay != nullptr) {
    g_signal_handlers_disconnect_by_data(self->watched_relay, self);
    g_clear_object(&self->watched_relay);
  }
}

static void fl_view_realize(GtkWidget* widget) {
  FlView* self = FL_VIEW(widget);
  GTK_WIDGET_CLASS(fl_view_parent_class)->realize(widget);

  g_autoptr(GError) error = nullptr;
  if (!fl_engine_start(self->engine, &error)) {
    g_warning("Failed to start Flutter engine: %s", error->message);
    g_free(self->start_error);
    self->start_error = g_strdup(error->message);
  }
  FlPeerRelay* relay = fl_engine_get_peer_relay(self->engine);
  if (relay != nullptr && self->watched_relay == nullptr) {
    self->watched_relay = FL_PEER_RELAY(g_object_ref(relay));
    g_signal_connect_object(relay, "notify::peer-count",
                            G_CALLBACK(peer_count_changed_cb), self,
                            G_CONNECT_DEFAULT);
  }

  if (!self->first_frame_drawn && self->first_frame_source == 0) {
    guint delay_ms = fl_engine_get_first_frame_delay_ms(self->engine);
    self->first_frame_source =
        delay_ms == 0 ? g_idle_add(draw_first_frame_cb, self)
                      : g_timeout_add(delay_ms, draw_first_frame_cb, self);
  }
}

static void fl_view_unrealize(GtkWidget* widget) {
  FlView* self = FL_VIEW(widget);
  if (self->first_frame_source != 0) {
    g_source_remove(self->first_frame_source);
    self->first_frame_source = 0;
  }
  GTK_WIDGET_CLASS(fl_view_parent_class)->unrealize(widget);
}

static gboolean fl_view_draw(GtkWidget* widget, cairo_t* cr) {
  paint(FL_VIEW(widget), cr);
  return GTK_WIDGET_CLASS(fl_view_parent_class)->draw(widget, cr);
}

static void fl_view_dispose(GObject* object) {
  FlView* self = FL_VIEW(object);
  if (self->first_frame_source != 0) {
    g_source_remove(self->first_frame_source);
    self->first_frame_source = 0;
  }
  stop_watching_relay(self);
  g_clear_object(&self->engine);
  G_OBJECT_CLASS(fl_view_parent_class)->dispose(object);
}

static void fl_view_finalize(GObject* object) {
  g_free(FL_VIEW(object)->start_error);
  G_OBJECT_CLASS(fl_view_parent_class)->finalize(object);
}

static void fl_view_class_init(FlViewClass* klass) {
  GObjectClass* object_class = G_OBJECT_CLASS(klass);
  object_class->dispose = fl_view_dispose;
  object_class->finalize = fl_view_finalize;

  GtkWidgetClass* widget_class = GTK_WIDGET_CLASS(klass);
  widget_class->realize = fl_view_realize;
  widget_class->unrealize = fl_view_unrealize;
  widget_class->draw = fl_view_draw;

  signals[SIGNAL_FIRST_FRAME] =
      g_signal_new("first-frame", fl_view_get_type(), G_SIGNAL_RUN_LAST, 0,
                   nullptr, nullptr, nullptr, G_TYPE_NONE, 0);
}

static void fl_view_init(FlView* self) {
  self->background_color = {0.0, 0.0, 0.0, 1.0};
  gtk_widget_set_can_focus(GTK_WIDGET(self), TRUE);
}

static FlView* view_new(FlEngine* engine, int64_t view_id) {
  FlView* self = FL_VIEW(g_object_new(fl_view_get_type(), nullptr));
  self->engine = engine;
  self->view_id = view_id;
  return self;
}

G_MODULE_EXPORT FlView* fl_view_new(FlDartProject* project) {
  g_return_val_if_fail(FL_IS_DART_PROJECT(project), nullptr);
  return view_new(fl_engine_new(project), 0);
}

G_MODULE_EXPORT FlView* fl_view_new_for_engine(FlEngine* engine) {
  g_return_val_if_fail(FL_IS_ENGINE(engine), nullptr);
  return view_new(FL_ENGINE(g_object_ref(engine)),
                  fl_engine_allocate_view_id(engine));
}

G_MODULE_EXPORT FlEngine* fl_view_get_engine(FlView* self) {
  g_return_val_if_fail(FL_IS_VIEW(self), nullptr);
  return self->engine;
}

G_MODULE_EXPORT int64_t fl_view_get_id(FlView* self) {
  g_return_val_if_fail(FL_IS_VIEW(self), -1);
  return self->view_id;
}

G_MODULE_EXPORT void fl_view_set_background_color(FlView* self,
                                                  const GdkRGBA* color) {
  g_return_if_fail(FL_IS_VIEW(self));
  g_return_if_fail(color != nullptr);
  self->background_color = *color;
  gtk_widget_queue_draw(GTK_WIDGET(self));
}
