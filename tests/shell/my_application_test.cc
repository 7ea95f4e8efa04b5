#include "my_application.h"

#include <flutter_linux/flutter_linux.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "peer_test_support.h"

namespace {

// What the test sees of one run of the application.
struct AppRun {
  bool loop_ended = false;
  FlBinaryMessenger* messenger = nullptr;
  std::vector<bool> releases;  // whether the loop had ended, for each
};

// The engine's messenger goes only when its last holder, the host bridge,
// lets go of it: watching it shows when the bridge is destroyed. As soon as
// the window is on screen, the user closes it.
void view_added_cb(GtkContainer* window, GtkWidget* view, gpointer data) {
  auto* run = static_cast<AppRun*>(data);
  run->messenger =
      fl_engine_get_binary_messenger(fl_view_get_engine(FL_VIEW(view)));
  g_object_weak_ref(
      G_OBJECT(run->messenger),
      [](gpointer data, GObject*) {
        auto* run = static_cast<AppRun*>(data);
        run->releases.push_back(run->loop_ended);
      },
      run);
  g_signal_connect(window, "map", G_CALLBACK(gtk_window_close), nullptr);
}

void window_added_cb(GtkApplication*, GtkWindow* window, gpointer data) {
  g_signal_connect(window, "add", G_CALLBACK(view_added_cb), data);
}

TEST(MyApplicationTest, BridgeIsDestroyedOnceAfterTheMainLoopEnded) {
  peer_testing::TempDir dir;
  std::string socket_argument = "--peer-socket=" + dir.File("peer.sock");
  char program[] = "korvane_desktop";
  char* argv[] = {program, socket_argument.data(), nullptr};

  AppRun run;
  MyApplication* app = my_application_new();
  g_signal_connect(app, "window-added", G_CALLBACK(window_added_cb), &run);
  EXPECT_EQ(g_application_run(G_APPLICATION(app), 2, argv), 0);
  run.loop_ended = true;
  ASSERT_NE(run.messenger, nullptr) << "no view was ever shown";
  g_object_unref(app);
  EXPECT_EQ(run.releases, std::vector<bool>{true});
}

}  // namespace
