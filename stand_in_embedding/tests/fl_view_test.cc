#include <flutter_linux/flutter_linux.h>
#include <gtest/gtest.h>

#include "in_process_dart.h"
#include "log_capture.h"
#include "peer_test_support.h"

namespace {

using peer_testing::RunUntil;

class FlViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "needs an X display";
    project_ = ProjectServing(dir_.File("peer.sock"));
  }

  void TearDown() override { g_clear_object(&project_); }

  static FlDartProject* ProjectServing(const std::string& path) {
    std::string argument = "--peer-socket=" + path;
    char* argv[] = {argument.data(), nullptr};
    FlDartProject* project = fl_dart_project_new();
    fl_dart_project_set_dart_entrypoint_arguments(project, argv);
    return project;
  }

  peer_testing::TempDir dir_;
  FlDartProject* project_ = nullptr;
};

struct FirstFrames {
  GtkWidget* window;
  int count = 0;
  bool window_was_visible = false;
};

TEST_F(FlViewTest, FirstFrameComesOnceAfterRealizeWhileTheWindowIsHidden) {
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  FlView* view = fl_view_new(project_);
  gtk_widget_show(GTK_WIDGET(view));
  gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view));
  FirstFrames frames{window};
  g_signal_connect(view, "first-frame", G_CALLBACK(+[](FlView*, gpointer data) {
                     auto* frames = static_cast<FirstFrames*>(data);
                     frames->count++;
                     frames->window_was_visible =
                         gtk_widget_get_visible(frames->window);
                   }),
                   &frames);

  flutter_testing::InProcessDart::Drain();
  EXPECT_EQ(frames.count, 0) << "no frame before the view is realized";
  gtk_widget_realize(GTK_WIDGET(view));
  ASSERT_TRUE(RunUntil([&] { return frames.count == 1; }));
  EXPECT_FALSE(frames.window_was_visible);
  EXPECT_TRUE(g_file_test(dir_.File("peer.sock").c_str(), G_FILE_TEST_EXISTS))
      << "realizing the view starts the engine";

  gtk_widget_show(window);
  ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_mapped(window); }));
  flutter_testing::InProcessDart::Drain();
  EXPECT_EQ(frames.count, 1)
      << "drawing on screen brings no second first frame";

  gtk_widget_destroy(window);
  EXPECT_FALSE(g_file_test(dir_.File("peer.sock").c_str(), G_FILE_TEST_EXISTS))
      << "the engine went with its view";
}

TEST_F(FlViewTest, RegistrarsHandOutTheEngineMessengerAndTheView) {
  FlView* view = FL_VIEW(g_object_ref_sink(fl_view_new(project_)));
  FlPluginRegistrar* registrar = fl_plugin_registry_get_registrar_for_plugin(
      FL_PLUGIN_REGISTRY(view), "Plugin");
  ASSERT_TRUE(FL_IS_PLUGIN_REGISTRAR(registrar));
  EXPECT_EQ(G_OBJECT(registrar)->ref_count, 1u)
      << "the caller owns the reference";
  FlBinaryMessenger* messenger =
      fl_engine_get_binary_messenger(fl_view_get_engine(view));
  EXPECT_EQ(fl_plugin_registrar_get_messenger(registrar), messenger);
  EXPECT_EQ(fl_plugin_registrar_get_view(registrar), view);
  EXPECT_EQ(fl_plugin_registrar_get_texture_registrar(registrar), nullptr);

  // A registrar that a plug-in keeps does not keep the view alive.
  gtk_widget_destroy(GTK_WIDGET(view));
  g_object_unref(view);
  EXPECT_EQ(fl_plugin_registrar_get_view(registrar), nullptr);
  EXPECT_TRUE(
      FL_IS_BINARY_MESSENGER(fl_plugin_registrar_get_messenger(registrar)));
  g_object_unref(registrar);
}

TEST_F(FlViewTest,
       EngineThatCannotServeItsSocketIsReportedAndTheFrameStillComes) {
  g_autoptr(FlDartProject) project =
      ProjectServing(dir_.File("no/such/dir.sock"));
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  FlView* view = fl_view_new(project);
  gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view));
  bool framed = false;
  g_signal_connect(view, "first-frame", G_CALLBACK(+[](FlView*, gpointer data) {
                     *static_cast<bool*>(data) = true;
                   }),
                   &framed);
  flutter_testing::LogCapture log;
  gtk_widget_realize(GTK_WIDGET(view));
  auto warnings = log.Messages(G_LOG_LEVEL_WARNING);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].rfind("Failed to start Flutter engine: ", 0), 0u)
      << warnings[0];
  EXPECT_TRUE(RunUntil([&] { return framed; }));
  gtk_widget_destroy(window);
}

}  // namespace
