// The capturable-window listing against real windows under openbox. openbox
// reparents each client into a frame: the client list names the client
// windows, while the tree walk meets the frames first and the clients one
// level down, so every managed window is discovered twice.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

// Last: Xlib's macros break the headers above.
#include "second_screen_fixture.h"

namespace second_screen_testing {
namespace {

class WindowListingTest : public SecondScreenTest {
 protected:
  Window Make(const char* title,
              int width = 200,
              int height = 150,
              const char* res_name = nullptr,
              const char* res_class = nullptr) {
    // Spread out; overlap does not matter to the listing.
    WindowLook look = WindowLook::At(
        20 + (next_ % 6) * 200, 20 + (next_ / 6) * 240, width, height, title);
    look.res_name = res_name;
    look.res_class = res_class;
    next_++;
    return screen_.Create(look);
  }

  int next_ = 0;
};

TEST_F(WindowListingTest, DesktopFirstThenEachViewableNamedWindowOnce) {
  const std::vector<ListedWindow> alone = List();
  ASSERT_EQ(alone.size(), 1u) << "openbox's own windows are not listed";
  EXPECT_EQ(alone[0].id, static_cast<int64_t>(screen_.root()));

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
  screen_.Hide(minimised, true);
  WindowLook look;
  look.legacy_title = "Legacy";  // the name the listing falls back to
  const Window legacy = screen_.Create(look);
  look = WindowLook();
  look.title = "Never shown";
  look.mapped = false;
  const Window never_mapped = screen_.Create(look);
  // Known to the window manager by no hint: only the tree walk finds it.
  look = WindowLook::At(10, 10, 150, 100, "Canvas");
  look.parent = notes;
  const Window canvas = screen_.Create(look);

  const std::vector<ListedWindow> listed = List();
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
    const char *title, *owner, *name;
    int64_t width, height;
    bool emulator;
  } expected[] = {
      {screen_.root(), "Linux Desktop (Full Screen)", "Desktop", "root_desktop",
       1280, 1024, false},
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
  EXPECT_EQ(listed.size(), std::size(expected))
      << "openbox's frames and decorations carry no name";

  // Managed windows in the window manager's order, the child found by the
  // tree walk after them.
  std::vector<Window> managed_order = {screen_.root()};
  for (Window client : screen_.ClientList()) {
    if (by_id.count(client) != 0) {
      managed_order.push_back(client);
    }
  }
  managed_order.push_back(canvas);
  EXPECT_EQ(order, managed_order);
}

}  // namespace
}  // namespace second_screen_testing
