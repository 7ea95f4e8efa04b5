// The capturable-window listing against real windows under openbox. openbox
// reparents each client into a frame: the client list names the client
// windows, while the tree walk meets the frames first and the clients one
// level down, so every managed window is discovered twice.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "second_screen_calls.h"
// Last: Xlib's macros break the headers above.
#include "x11_test_windows.h"

namespace {

using second_screen_testing::ListedWindow;
using x11_testing::ScopedDisplayName;
using x11_testing::TestDisplay;
using x11_testing::WindowLook;

class WindowListingTest : public ::testing::Test,
                          protected second_screen_testing::SecondScreenCalls {
 protected:
  Window Make(const char* title,
              int width = 200,
              int height = 150,
              const char* res_name = nullptr,
              const char* res_class = nullptr) {
    WindowLook look;
    look.title = title;
    look.res_name = res_name;
    look.res_class = res_class;
    look.width = width;
    look.height = height;
    // Spread out; overlap does not matter to the listing.
    look.x = 20 + (next_ % 6) * 200;
    look.y = 20 + (next_ / 6) * 240;
    next_++;
    return screen_.Create(look);
  }

  TestDisplay screen_;
  int next_ = 0;
};

TEST_F(WindowListingTest, DesktopFirstThenEachViewableNamedWindowOnce) {
  const std::vector<ListedWindow> empty = List();
  ASSERT_EQ(empty.size(), 1u) << "openbox's own windows are not listed";
  const ListedWindow& desktop = empty[0];
  EXPECT_EQ(desktop.id, static_cast<int64_t>(screen_.root()));
  EXPECT_EQ(desktop.title, "Linux Desktop (Full Screen)");
  EXPECT_EQ(desktop.owner, "Desktop");
  EXPECT_EQ(desktop.name, "root_desktop");
  EXPECT_EQ(desktop.width, 1280);
  EXPECT_EQ(desktop.height, 1024);
  EXPECT_TRUE(desktop.on_screen);
  EXPECT_FALSE(desktop.emulator);

  const Window too_narrow = Make("Too narrow", 119, 200);
  const Window too_short = Make("Too short", 200, 89);
  const Window smallest = Make("Smallest", 120, 90);
  const Window notes =
      Make("Notes \xE2\x80\x94 draft", 300, 200, "notes", "Notes");
  const Window bare = Make(nullptr);
  const Window classed = Make(nullptr, 200, 150, "", "Foo");
  const Window own_title = Make("KorVane Panel");
  const Window own_class = Make("Panel", 200, 150, "panel", "KORVANE");
  const Window own_name = Make("Helper", 200, 150, "korvane-helper", "Helper");
  const Window retroarch = Make("RetroArch 1.19");
  const Window dolphin = Make("Mario", 200, 150, "dolphin-emu", "Mario");
  const Window minimised = Make("Minimised");
  screen_.Iconify(minimised);
  WindowLook legacy_look;
  // Only the old-style name: what the listing falls back to.
  legacy_look.legacy_title = "Legacy";
  legacy_look.x = 820;
  legacy_look.y = 700;
  const Window legacy = screen_.Create(legacy_look);
  WindowLook hidden_look;
  hidden_look.title = "Never shown";
  hidden_look.mapped = false;
  const Window never_mapped = screen_.Create(hidden_look);
  // Known to the window manager by no hint: only the tree walk finds it.
  WindowLook canvas_look;
  canvas_look.title = "Canvas";
  canvas_look.parent = notes;
  canvas_look.x = 10;
  canvas_look.y = 10;
  canvas_look.width = 150;
  canvas_look.height = 100;
  const Window canvas = screen_.Create(canvas_look);

  const std::vector<ListedWindow> listed = List();
  ASSERT_FALSE(listed.empty());
  EXPECT_EQ(listed[0].id, desktop.id);
  std::map<Window, ListedWindow> by_id;
  std::vector<Window> order;
  for (const ListedWindow& window : listed) {
    EXPECT_TRUE(by_id.emplace(window.id, window).second)
        << window.title << " is listed twice";
    order.push_back(window.id);
  }
  for (Window absent : {too_narrow, too_short, bare, own_title, own_class,
                        own_name, minimised, never_mapped}) {
    EXPECT_EQ(by_id.count(absent), 0u) << by_id[absent].title;
  }

  struct Expected {
    Window window;
    const char* title;
    const char* owner;
    const char* name;
    int64_t width;
    int64_t height;
    bool emulator;
  } expected[] = {
      {smallest, "Smallest", "Smallest", "Smallest", 120, 90, false},
      {notes, "Notes \xE2\x80\x94 draft", "Notes", "notes", 300, 200, false},
      {classed, "Foo", "Foo", "Foo", 200, 150, false},
      {retroarch, "RetroArch 1.19", "RetroArch 1.19", "RetroArch 1.19", 200,
       150, true},
      {dolphin, "Mario", "Mario", "dolphin-emu", 200, 150, true},
      {legacy, "Legacy", "Legacy", "Legacy", 200, 150, false},
      {canvas, "Canvas", "Canvas", "Canvas", 150, 100, false},
  };
  for (const Expected& want : expected) {
    SCOPED_TRACE(want.title);
    auto found = by_id.find(want.window);
    ASSERT_NE(found, by_id.end());
    const ListedWindow& window = found->second;
    EXPECT_EQ(window.title, want.title);
    EXPECT_EQ(window.owner, want.owner);
    EXPECT_EQ(window.name, want.name);
    EXPECT_EQ(window.width, want.width);
    EXPECT_EQ(window.height, want.height);
    EXPECT_TRUE(window.on_screen);
    EXPECT_EQ(window.emulator, want.emulator);
  }
  EXPECT_EQ(listed.size(), 1 + std::size(expected))
      << "openbox's frames and decorations carry no name";

  // Managed windows in the window manager's order, the child found by the
  // tree walk after them.
  std::vector<Window> managed_order;
  for (Window client : screen_.ClientList()) {
    if (by_id.count(client) != 0) {
      managed_order.push_back(client);
    }
  }
  std::vector<Window> listed_managed(order.begin() + 1, order.end());
  listed_managed.erase(
      std::remove(listed_managed.begin(), listed_managed.end(), canvas),
      listed_managed.end());
  EXPECT_EQ(listed_managed, managed_order);
  EXPECT_EQ(order.back(), canvas);
}

TEST(SecondScreenWithoutDisplayTest, EveryMethodAnswersWithItsEmptyValue) {
  // Before the bridge exists: its threads read the environment.
  ScopedDisplayName no_display(nullptr);
  struct Bridge : second_screen_testing::SecondScreenCalls {
    using SecondScreenCalls::Capture;
    using SecondScreenCalls::List;
    using SecondScreenCalls::Stylus;
  } bridge;
  EXPECT_TRUE(bridge.List().empty()) << "not even the desktop";
  EXPECT_FALSE(bridge.Capture(1, 320, 240, 80).has_value());
  EXPECT_THAT(bridge.Stylus(1, 0.5, 0.5, second_screen_testing::kDown),
              ::testing::Optional(false));
}

}  // namespace
