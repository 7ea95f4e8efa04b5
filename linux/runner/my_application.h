#ifndef LINUX_RUNNER_MY_APPLICATION_H_
#define LINUX_RUNNER_MY_APPLICATION_H_

#include <gtk/gtk.h>

G_DECLARE_FINAL_TYPE(MyApplication,
                     my_application,
                     MY,
                     APPLICATION,
                     GtkApplication)

/**
 * my_application_new:
 *
 * Creates a new application: one undecorated window embedding the Flutter
 * view, shown once the view has drawn its first frame. Every launch is its
 * own instance.
 *
 * Returns: a new #MyApplication.
 */
MyApplication* my_application_new();

#endif  // LINUX_RUNNER_MY_APPLICATION_H_
