// The listing under openbox, which reparents each client into a frame: the
// tree walk meets each managed window twice, as its frame and as itself.
#include <gtest/gtest.h>

#include <map>

// Last: Xlib's macros break the headers above.
#include "second_screen_fixture.h"

namespace second_screen_testing {
namespace {

using WindowListingTest = SecondScreenTest;

TEST_F(WindowListingTest, DesktopFirstThenEachViewableNamedWindowOnce) {
  // Each window as made, then its title, owner and name as listed (no title:
  // not listed) and whether it is an emulator's. Overlap does not matter.
  const struct {
    WindowLook look;
    const char *title = nullptr, *owner = nullptr, *name = nullptr;
    bool emulator = false;
  } made[] = {
      {WindowLook{40, 40, 119, 200, "Too narrow"}},
      {WindowLook{40, 40, 200, 89, "Too short"}},
      {WindowLook{40, 40, 120, 90, "Smallest"}, "Smallest", "Smallest",
       "Smallest"},
      {WindowLook{}},  // nameless
      {WindowLook{40, 40, 200, 150, nullptr, "", "Foo"}, "Foo", "Foo", "Foo"},
      {WindowLook{40, 40, 200, 150, "KorVane Panel"}},
      {WindowLook{40, 40, 200, 150, "Panel", "panel", "KORVANE"}},
      {WindowLook{40, 40, 200, 150, "Helper", "korvane-helper", "Helper"}},
      {WindowLook{40, 40, 200, 150, "RetroArch 1.19"}, "RetroArch 1.19",
       "RetroArch 1.19", "RetroArch 1.19", true},
      {WindowLook{40, 40, 200, 150, "Mario", "dolphin-emu", "Mario"}, "Mario",
       "Mario", "dolphin-emu", true},
      // The name the listing falls back to.
      {WindowLook{40, 40, 200, 150, nullptr, nullptr, nullptr, "Legacy"},
       "Legacy", "Legacy", "Legacy"},
      {WindowLook{40, 40, 300, 200, "Notes \xE2\x80\x94 draft", "notes",
                  "Notes"},
       "Notes \xE2\x80\x94 draft", "Notes", "notes"},
  };
  std::map<Window, ListedWindow> listed_as;
  Window last = 0;
  for (const auto& [look, title, owner, name, emulator] : made) {
    last = screen_.Create(look);
    if (title != nullptr) {
      listed_as.insert({last,
                        {static_cast<int64_t>(last), title, owner, name,
                         look.width, look.height, true, emulator}});
    }
  }
  screen_.Hide(screen_.Create(WindowLook{40, 40, 200, 150, "Minimised"}), true);
  WindowLook look{40, 40, 200, 150, "Never shown"};
  look.mapped = false;
  screen_.Create(look);
  // Inside the notes, known to the window manager by no hint: only the tree
  // walk finds it, after the managed windows.
  look = WindowLook{10, 10, 150, 100, "Canvas"};
  look.parent = last;
  const Window canvas = screen_.Create(look);

  std::vector<ListedWindow> expected = {
      {static_cast<int64_t>(screen_.root()), "Linux Desktop (Full Screen)",
       "Desktop", "root_desktop", 1280, 1024, true}};
  for (Window client : screen_.ClientList()) {
    if (listed_as.count(client) != 0) {
      expected.push_back(listed_as[client]);
    }
  }
  expected.push_back({static_cast<int64_t>(canvas), "Canvas", "Canvas",
                      "Canvas", 150, 100, true, false});
  EXPECT_EQ(List(), expected)
      << "each once, in the window manager's order; openbox's own windows, "
         "frames and decorations are not listed";
}

}  // namespace
}  // namespace second_screen_testing
