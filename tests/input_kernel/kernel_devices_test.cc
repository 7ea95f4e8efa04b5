// The gamepads as the real kernel presents them to a game.
#include <errno.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "evdev_device.h"
#include "input/frame_translation.h"
#include "input/uinput_pad_backend.h"
#include "input_test_support.h"

namespace {

using input_kernel_testing::EvdevDevice;
using input_kernel_testing::NowMs;
using korvane_bridge::FrameControls;
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

std::string DeviceName(int fd) {
  char name[256] = {};
  EXPECT_GE(ioctl(fd, EVIOCGNAME(sizeof(name)), name), 0);
  return name;
}

// A game's descriptor of a device that went reads ENODEV.
bool Gone(const EvdevDevice& device) {
  input_event event;
  return read(device.fd(), &event, sizeof(event)) < 0 && errno == ENODEV;
}

KorvaneBridgeNativeGamepadPersona Persona(int value) {
  return static_cast<KorvaneBridgeNativeGamepadPersona>(value);
}

// Each persona presents what the posed controller's own driver does (xpad
// for the Xbox 360 pad, hid-nintendo for the Pro Controller), down to the
// ranges and filtering of its axes; which control a game reads for each of
// them is GameLibraryTest's. Mounting the player again with another persona
// value re-creates the device (7 poses as the Xbox pad, yet is another
// value); with the same value it keeps the device as it is. A display name
// too long for the kernel is cut to the 79 bytes that fit.
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
  std::optional<EvdevDevice> previous;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.persona);
    double start = NowMs();
    ASSERT_TRUE(backend.MountController(1, Persona(c.persona), ""));
    printf("figure: mount of persona %d took %.2f ms\n", c.persona,
           NowMs() - start);
    EXPECT_TRUE(!previous || Gone(*previous)) << "two pads for one player";
    auto device = EvdevDevice::Open(c.name, O_RDONLY);
    ASSERT_TRUE(device.has_value());
    int fd = device->fd();

    EXPECT_EQ(DeviceName(fd), c.name);
    input_id id{};
    ASSERT_GE(ioctl(fd, EVIOCGID, &id), 0);
    EXPECT_EQ(id.bustype, BUS_USB);

    EXPECT_EQ(SetBits(fd, EVIOCGBIT(0, kBitmapBytes), EV_MAX),
              (std::vector<unsigned>{EV_SYN, EV_KEY, EV_ABS, EV_FF}));
    std::vector<unsigned> sorted_keys = c.keys;
    std::sort(sorted_keys.begin(), sorted_keys.end());
    EXPECT_EQ(SetBits(fd, EVIOCGBIT(EV_KEY, kBitmapBytes), KEY_MAX),
              sorted_keys);
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
    std::sort(axis_codes.begin(), axis_codes.end());
    EXPECT_EQ(SetBits(fd, EVIOCGBIT(EV_ABS, kBitmapBytes), ABS_MAX),
              axis_codes);
    EXPECT_EQ(SetBits(fd, EVIOCGBIT(EV_FF, kBitmapBytes), FF_MAX),
              std::vector<unsigned>{FF_RUMBLE});
    int effects = 0;
    ASSERT_GE(ioctl(fd, EVIOCGEFFECTS, &effects), 0);
    EXPECT_EQ(effects, 16);
    previous.reset();
    previous.emplace(std::move(*device));
  }
  ASSERT_TRUE(backend.MountController(1, Persona(7), "another name"));
  EXPECT_FALSE(Gone(*previous));
  EXPECT_EQ(DeviceName(previous->fd()), "Microsoft X-Box 360 pad");
  EXPECT_EQ(backend.MountedCount(), 1u);

  std::string long_name(100, 'n');
  long_name[78] = 'e';  // the last byte that fits
  ASSERT_TRUE(backend.MountController(4, Persona(2), long_name));
  auto named = EvdevDevice::Open(long_name.substr(0, 79), O_RDONLY);
  ASSERT_TRUE(named.has_value());
  EXPECT_EQ(DeviceName(named->fd()), long_name.substr(0, 79));
}

// The keys the game reads held once `player`'s frame, with only south
// pressed or nothing, has arrived.
std::vector<unsigned> HeldAfterFrame(UinputPadBackend& backend,
                                     EvdevDevice& device,
                                     int64_t player,
                                     bool south) {
  FrameControls controls = input_testing::RestingControls(player);
  controls.button_mask2 = south ? 1 << 6 : 0;
  EXPECT_TRUE(backend.SubmitFrame(input_testing::NewFrame(controls).get()));
  EXPECT_FALSE(device.ReadReport().empty());
  return SetBits(device.fd(), EVIOCGKEY(kBitmapBytes), KEY_MAX);
}

// The node can go (a module unloaded, a udev rule rewritten) while pads are
// mounted: their open descriptors keep working, new mounts fail plainly, and
// a node made again is used again.
TEST(KernelGamepadTest, UinputNodeRemovedAfterMountLeavesThePadWorking) {
  struct stat node {};
  ASSERT_EQ(stat("/dev/uinput", &node), 0);
  ASSERT_TRUE(S_ISCHR(node.st_mode));
  ASSERT_EQ(major(node.st_rdev), 10u);
  // Whatever fails below, the tests after this one get their node back.
  struct NodeBack {
    const struct stat& node;
    ~NodeBack() {
      if (access("/dev/uinput", F_OK) != 0) {
        mknod("/dev/uinput", node.st_mode, node.st_rdev);
      }
    }
  } node_back{node};

  UinputPadBackend backend(nullptr);
  ASSERT_TRUE(backend.MountController(3, Persona(0), "node gone pad"));
  auto device = EvdevDevice::Open("node gone pad", O_RDONLY);
  ASSERT_TRUE(device.has_value());
  ASSERT_EQ(unlink("/dev/uinput"), 0);

  EXPECT_EQ(HeldAfterFrame(backend, *device, 3, true),
            std::vector<unsigned>{BTN_SOUTH});
  EXPECT_FALSE(backend.MountController(4, Persona(0), "node gone second pad"));
  EXPECT_EQ(backend.MountedCount(), 1u);
  EXPECT_TRUE(HeldAfterFrame(backend, *device, 3, false).empty());

  ASSERT_EQ(mknod("/dev/uinput", node.st_mode, node.st_rdev), 0);
  ASSERT_TRUE(backend.MountController(4, Persona(0), "node back pad"));
  EXPECT_TRUE(EvdevDevice::Open("node back pad", O_RDONLY).has_value());
  EXPECT_EQ(backend.MountedCount(), 2u);
  EXPECT_EQ(HeldAfterFrame(backend, *device, 3, true),
            std::vector<unsigned>{BTN_SOUTH});
}

}  // namespace
