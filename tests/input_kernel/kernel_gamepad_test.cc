// The gamepads as the real kernel presents them to a game.
#include <errno.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>

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

// Every bit of the device's `type` bitmap below `max` that is set.
std::vector<unsigned> SetBits(int fd, unsigned type, unsigned max) {
  std::vector<unsigned long> bits(max / kBitsPerLong + 1);
  EXPECT_GE(ioctl(fd, EVIOCGBIT(type, bits.size() * sizeof(unsigned long)),
                  bits.data()),
            0);
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
// value); with the same value it keeps the device as it is.
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

    EXPECT_EQ(SetBits(fd, 0, EV_MAX),
              (std::vector<unsigned>{EV_SYN, EV_KEY, EV_ABS, EV_FF}));
    std::vector<unsigned> sorted_keys = c.keys;
    std::sort(sorted_keys.begin(), sorted_keys.end());
    EXPECT_EQ(SetBits(fd, EV_KEY, KEY_MAX), sorted_keys);
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
    EXPECT_EQ(SetBits(fd, EV_ABS, ABS_MAX), axis_codes);
    EXPECT_EQ(SetBits(fd, EV_FF, FF_MAX), std::vector<unsigned>{FF_RUMBLE});
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
}

TEST(KernelGamepadTest, LongDisplayNameIsCutTo79Bytes) {
  UinputPadBackend backend(nullptr);
  std::string long_name(100, 'n');
  long_name[78] = 'e';  // the last byte that fits
  ASSERT_TRUE(backend.MountController(4, Persona(2), long_name));
  auto device = EvdevDevice::Open(long_name.substr(0, 79), O_RDONLY);
  ASSERT_TRUE(device.has_value());
  EXPECT_EQ(DeviceName(device->fd()), long_name.substr(0, 79));
}

// The value of every key and axis as a game has read them, by type and code.
using PadState = std::map<std::pair<int, int>, int>;

void Apply(const input_event* events, size_t count, PadState* state) {
  for (size_t i = 0; i < count; ++i) {
    if (events[i].type != EV_SYN) {
      (*state)[{events[i].type, events[i].code}] = events[i].value;
    }
  }
}

// The Sony persona's state after `controls`, as the frame translation has
// it; that it is what a game reads for each control is GameLibraryTest's.
PadState Expected(const FrameControls& controls) {
  const auto report = korvane_bridge::TranslateControls(
      controls, korvane_bridge::LayoutForPersona(0));
  PadState state;
  Apply(report.events.data(), report.count, &state);
  return state;
}

std::string Describe(const PadState& state) {
  std::string text;
  for (const auto& [code, value] : state) {
    text += " " + std::to_string(code.second) + "=" + std::to_string(value);
  }
  return text;
}

// Gyro, accelerometer, touch and time stamp vary too: none may matter.
input_testing::FramePtr NoisyFrame(const FrameControls& c, double noise) {
  return input_testing::FramePtr(korvane_bridge_virtual_controller_frame_new(
      c.player_number, c.button_mask1, c.button_mask2, c.home_button,
      c.touch_click_button, c.left_stick_x, c.left_stick_y, c.right_stick_x,
      c.right_stick_y, c.l2_analog, c.r2_analog, noise, -noise, noise * 2,
      noise, 1, -1, static_cast<int64_t>(noise * 1e6), noise > 0.5, 1, 2, 3,
      noise < 0.5, 4, 5, 6));
}

// Submits the frame and reads what the game sees; the input core closes a
// packet early when more values change than it expects per packet (16
// here), so one frame may arrive as two reports. The time of the write.
double ExpectFrameArrives(UinputPadBackend& backend,
                          EvdevDevice& device,
                          const FrameControls& controls,
                          double noise,
                          PadState* observed) {
  const auto frame = NoisyFrame(controls, noise);
  const double start = NowMs();
  EXPECT_TRUE(backend.SubmitFrame(frame.get()));
  const double write_ms = NowMs() - start;
  const PadState expected = Expected(controls);
  for (int reports = 0; reports < 2 && *observed != expected; reports++) {
    const std::vector<input_event> report = device.ReadReport();
    Apply(report.data(), report.size(), observed);
  }
  EXPECT_EQ(Describe(*observed), Describe(expected));
  return write_ms;
}

TEST(KernelGamepadTest, StreamOfFramesReachesTheGameUnaltered) {
  constexpr int kFrames = 100000;
  UinputPadBackend backend(nullptr);
  ASSERT_TRUE(backend.MountController(2, Persona(0), "frame stream pad"));
  auto device = EvdevDevice::Open("frame stream pad", O_RDONLY);
  ASSERT_TRUE(device.has_value());

  std::mt19937_64 random(42);
  auto pick = [&random](int64_t low, int64_t high) {
    return std::uniform_int_distribution<int64_t>(low, high)(random);
  };
  // The kernel starts every value at zero, which is the resting state.
  PadState observed = Expected(input_testing::RestingControls(2));
  PadState previous = observed;
  double write_ms = 0;
  int written = 0;
  for (int i = 0; i < kFrames && !HasFailure(); i++) {
    const FrameControls controls = {2,
                                    pick(0, 0xffff),
                                    pick(0, 0xffff),
                                    pick(0, 1) == 1,
                                    pick(0, 7) == 0,
                                    pick(-20, 275),
                                    pick(0, 255),
                                    pick(0, 255),
                                    pick(0, 255),
                                    pick(-10, 300),
                                    pick(0, 255)};
    const PadState expected = Expected(controls);
    if (expected == previous) {
      continue;  // the kernel reports nothing for an unchanged state
    }
    write_ms += ExpectFrameArrives(
        backend, *device, controls,
        std::uniform_real_distribution<double>(0, 1)(random), &observed);
    written++;
    previous = expected;
  }
  printf("figure: one frame write took %.1f us on average over %d frames\n",
         write_ms * 1e3 / written, written);
  EXPECT_TRUE(device->Idle()) << "more reports than frames";

  ASSERT_TRUE(backend.UnmountController(2));
  EXPECT_FALSE(backend.SubmitFrame(
      NoisyFrame(input_testing::RestingControls(2), 0).get()));
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

  PadState observed = Expected(input_testing::RestingControls(3));
  FrameControls controls = input_testing::RestingControls(3);
  controls.button_mask2 = 1 << 6;
  controls.right_stick_x = 200;
  ExpectFrameArrives(backend, *device, controls, 0.25, &observed);

  EXPECT_FALSE(backend.MountController(4, Persona(0), "node gone second pad"));
  EXPECT_EQ(backend.MountedCount(), 1u);
  controls = {3, 0, 0, true, false, 0, 255, 128, 128, 255, 40};
  ExpectFrameArrives(backend, *device, controls, 0.25, &observed);

  ASSERT_EQ(mknod("/dev/uinput", node.st_mode, node.st_rdev), 0);
  ASSERT_TRUE(backend.MountController(4, Persona(0), "node back pad"));
  EXPECT_TRUE(EvdevDevice::Open("node back pad", O_RDONLY).has_value());
  EXPECT_EQ(backend.MountedCount(), 2u);
  controls = input_testing::RestingControls(3);
  controls.button_mask2 = 1 << 5;
  ExpectFrameArrives(backend, *device, controls, 0.25, &observed);
}

}  // namespace
