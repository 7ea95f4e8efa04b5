// Key chords and mouse buttons as the desktop reads them from the macro
// keyboard's evdev node.
#include <gtest/gtest.h>
#include <linux/input.h>

#include <string>
#include <utility>
#include <vector>

#include "evdev_device.h"
#include "input/uinput_pad_backend.h"

namespace {

using input_kernel_testing::EvdevDevice;
using korvane_bridge::UinputPadBackend;

using KeyEvents = std::vector<std::pair<int, int>>;

// code=value pairs of a report, its closing SYN_REPORT left out.
KeyEvents Keys(const std::vector<input_event>& report) {
  KeyEvents keys;
  for (const input_event& event : report) {
    if (event.type == EV_KEY) {
      keys.emplace_back(event.code, event.value);
    } else {
      EXPECT_EQ(event.type, EV_SYN);
    }
  }
  return keys;
}

// When the kernel took the event in.
double StampMs(const input_event& event) {
  return event.input_event_sec * 1e3 + event.input_event_usec / 1e3;
}

TEST(KernelMacroKeyboardTest, ChordsAndButtonsArriveInOrder) {
  UinputPadBackend backend(nullptr);
  // The device appears on first use. A release of a button that is not down
  // changes nothing, so the kernel reports nothing for it.
  ASSERT_TRUE(backend.SendMouseButton(BTN_LEFT, false));
  auto keyboard = EvdevDevice::Open("Korvane Virtual Macro Keyboard", O_RDONLY);
  ASSERT_TRUE(keyboard.has_value());
  EXPECT_TRUE(keyboard->Idle());

  input_id id{};
  ASSERT_GE(ioctl(keyboard->fd(), EVIOCGID, &id), 0);
  EXPECT_EQ(id.bustype, BUS_USB);
  EXPECT_EQ(id.vendor, 0x1209);
  EXPECT_EQ(id.product, 0x4B56);
  EXPECT_EQ(id.version, 0x0001);

  // Alt+F4, its zero modifier skipped: pressed in order, released in
  // reverse, in two reports, held long enough for applications that poll the
  // keyboard state. Two modifiers in order are ProgramInGuestTest's.
  ASSERT_TRUE(backend.SendKeyChord({0, KEY_LEFTALT}, KEY_F4));
  const auto press = keyboard->ReadReport();
  const auto release = keyboard->ReadReport();
  EXPECT_EQ(Keys(press), (KeyEvents{{KEY_LEFTALT, 1}, {KEY_F4, 1}}));
  EXPECT_EQ(Keys(release), (KeyEvents{{KEY_F4, 0}, {KEY_LEFTALT, 0}}));
  ASSERT_FALSE(press.empty() || release.empty());
  EXPECT_GE(StampMs(release.back()) - StampMs(press.back()), 18.0);

  ASSERT_TRUE(backend.SendMouseButton(BTN_LEFT, true));
  ASSERT_TRUE(backend.SendMouseButton(BTN_LEFT, false));
  ASSERT_TRUE(backend.SendMouseButton(BTN_RIGHT, true));
  EXPECT_EQ(Keys(keyboard->ReadReport()), (KeyEvents{{BTN_LEFT, 1}}));
  EXPECT_EQ(Keys(keyboard->ReadReport()), (KeyEvents{{BTN_LEFT, 0}}));
  EXPECT_EQ(Keys(keyboard->ReadReport()), (KeyEvents{{BTN_RIGHT, 1}}));

  EXPECT_FALSE(backend.SendKeyChord({KEY_LEFTCTRL}, 0));
  EXPECT_TRUE(keyboard->Idle()) << "key 0 types nothing";
}

}  // namespace
