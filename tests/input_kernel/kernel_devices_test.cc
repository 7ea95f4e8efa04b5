// The gamepads and the macro keyboard as the real kernel presents them to a
// game and to the desktop.
#include <gtest/gtest.h>
#include <linux/input.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "evdev_device.h"
#include "input/uinput_pad_backend.h"

namespace {

using input_kernel_testing::EvdevDevice;
using korvane_bridge::UinputPadBackend;

constexpr size_t kBitsPerLong = 8 * sizeof(unsigned long);
// Room for the longest bitmap, the keys'.
constexpr size_t kBitmapBytes = (KEY_MAX / kBitsPerLong + 1) * sizeof(long);

// Every bit below `max` set in the bitmap that `request` reads.
std::vector<unsigned> SetBits(int fd, unsigned long request, unsigned max) {
  std::vector<unsigned long> bits(kBitmapBytes / sizeof(long));
  EXPECT_GE(ioctl(fd, request, bits.data()), 0);
  std::vector<unsigned> set;
  for (unsigned bit = 0; bit < max; bit++) {
    if ((bits[bit / kBitsPerLong] >> (bit % kBitsPerLong)) & 1) {
      set.push_back(bit);
    }
  }
  return set;
}

input_id Identity(int fd) {
  input_id id{};
  EXPECT_GE(ioctl(fd, EVIOCGID, &id), 0);
  return id;
}

// Each persona presents what the posed controller's own driver does (xpad
// for the Xbox 360 pad, hid-nintendo for the Pro Controller), down to the
// ranges and filtering of its axes; which control a game reads for each of
// them is GameLibraryTest's, and when a re-mount re-creates the device
// UinputPadBackendTest's. A display name too long for the kernel is cut to
// the 79 bytes that fit.
TEST(KernelGamepadTest, EachPersonaPresentsItsDriversKeysAndAxes) {
  struct Axis {
    unsigned code;
    int minimum, maximum, fuzz, flat;
  };
  const std::vector<Axis> sticks_and_triggers = {
      {ABS_X, -32768, 32767, 16, 128},
      {ABS_Y, -32768, 32767, 16, 128},
      {ABS_Z, 0, 255, 0, 0},
      {ABS_RX, -32768, 32767, 16, 128},
      {ABS_RY, -32768, 32767, 16, 128},
      {ABS_RZ, 0, 255, 0, 0},
      {ABS_HAT0X, -1, 1, 0, 0},
      {ABS_HAT0Y, -1, 1, 0, 0},
  };
  const std::vector<unsigned> xbox_keys = {
      BTN_A,      BTN_B,     BTN_X,    BTN_Y,      BTN_TL,    BTN_TR,
      BTN_SELECT, BTN_START, BTN_MODE, BTN_THUMBL, BTN_THUMBR};
  // Keys and axes in the order of their codes.
  const struct Case {
    int persona;
    const char* name;
    std::vector<unsigned> keys;
    std::vector<Axis> axes;
  } cases[] = {
      {0,
       "Sony Interactive Entertainment Wireless Controller",
       {BTN_SOUTH, BTN_EAST, BTN_NORTH, BTN_WEST, BTN_TL, BTN_TR, BTN_TL2,
        BTN_TR2, BTN_SELECT, BTN_START, BTN_MODE, BTN_THUMBL, BTN_THUMBR},
       sticks_and_triggers},
      {2,
       "Nintendo Co., Ltd. Pro Controller",
       {BTN_SOUTH, BTN_EAST, BTN_NORTH, BTN_WEST, BTN_Z, BTN_TL, BTN_TR,
        BTN_TL2, BTN_TR2, BTN_SELECT, BTN_START, BTN_MODE, BTN_THUMBL,
        BTN_THUMBR},
       {{ABS_X, -32767, 32767, 250, 500},
        {ABS_Y, -32767, 32767, 250, 500},
        {ABS_RX, -32767, 32767, 250, 500},
        {ABS_RY, -32767, 32767, 250, 500},
        {ABS_HAT0X, -1, 1, 0, 0},
        {ABS_HAT0Y, -1, 1, 0, 0}}},
      {1, "Microsoft X-Box 360 pad", xbox_keys, sticks_and_triggers},
      {7, "Microsoft X-Box 360 pad", xbox_keys, sticks_and_triggers},
  };

  UinputPadBackend backend(nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.persona);
    const auto persona =
        static_cast<KorvaneBridgeNativeGamepadPersona>(c.persona);
    const double start = input_kernel_testing::NowMs();
    ASSERT_TRUE(backend.MountController(1, persona, ""));
    printf("figure: mount of persona %d took %.2f ms\n", c.persona,
           input_kernel_testing::NowMs() - start);
    auto device = EvdevDevice::Open(c.name, O_RDONLY);
    ASSERT_TRUE(device.has_value());
    const int fd = device->fd();
    EXPECT_EQ(Identity(fd).bustype, BUS_USB);
    EXPECT_EQ(SetBits(fd, EVIOCGBIT(0, kBitmapBytes), EV_MAX),
              (std::vector<unsigned>{EV_SYN, EV_KEY, EV_ABS, EV_FF}));
    EXPECT_EQ(SetBits(fd, EVIOCGBIT(EV_KEY, kBitmapBytes), KEY_MAX), c.keys);
    std::vector<unsigned> axis_codes;
    for (const Axis& axis : c.axes) {
      SCOPED_TRACE(axis.code);
      axis_codes.push_back(axis.code);
      input_absinfo info{};
      ASSERT_GE(ioctl(fd, EVIOCGABS(axis.code), &info), 0);
      EXPECT_EQ(info.value, 0);
      EXPECT_EQ(info.minimum, axis.minimum);
      EXPECT_EQ(info.maximum, axis.maximum);
      EXPECT_EQ(info.fuzz, axis.fuzz);
      EXPECT_EQ(info.flat, axis.flat);
      EXPECT_EQ(info.resolution, 0);
    }
    EXPECT_EQ(SetBits(fd, EVIOCGBIT(EV_ABS, kBitmapBytes), ABS_MAX),
              axis_codes);
    EXPECT_EQ(SetBits(fd, EVIOCGBIT(EV_FF, kBitmapBytes), FF_MAX),
              std::vector<unsigned>{FF_RUMBLE});
    int effects = 0;
    ASSERT_GE(ioctl(fd, EVIOCGEFFECTS, &effects), 0);
    EXPECT_EQ(effects, 16);
  }
  std::string long_name(100, 'n');
  long_name[78] = 'e';  // the last byte that fits
  ASSERT_TRUE(backend.MountController(
      4, KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_NINTENDO_PRO_CONTROLLER,
      long_name));
  EXPECT_TRUE(EvdevDevice::Open(long_name.substr(0, 79), O_RDONLY));
}

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
  const input_id id = Identity(keyboard->fd());
  EXPECT_EQ(std::vector<int>({id.bustype, id.vendor, id.product, id.version}),
            std::vector<int>({BUS_USB, 0x1209, 0x4B56, 0x0001}));

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
