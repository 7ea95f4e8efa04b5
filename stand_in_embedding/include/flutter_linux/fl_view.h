#ifndef FLUTTER_LINUX_FL_VIEW_H_
#define FLUTTER_LINUX_FL_VIEW_H_

#if !defined(__FLUTTER_LINUX_INSIDE__) && !defined(FLUTTER_LINUX_COMPILATION)
#error "Only <flutter_linux/flutter_linux.h> can be included directly."
#endif

#include <gmodule.h>
#include <gtk/gtk.h>

#include "fl_dart_project.h"
#include "fl_engine.h"

G_BEGIN_DECLS

// A widget that shows a Flutter view. Implements FlPluginRegistry. Emits
// "first-frame" (no arguments) once, when its first frame has been drawn.
G_MODULE_EXPORT
G_DECLARE_FINAL_TYPE(FlView, fl_view, FL, VIEW, GtkBox)

// A view on a new engine running `project`.
FlView* fl_view_new(FlDartProject* project);

// A further view on an engine that already runs.
FlView* fl_view_new_for_engine(FlEngine* engine);

FlEngine* fl_view_get_engine(FlView* view);

int64_t fl_view_get_id(FlView* view);

void fl_view_set_background_color(FlView* view, const GdkRGBA* color);

G_END_DECLS

#endif  // FLUTTER_LINUX_FL_VIEW_H_
