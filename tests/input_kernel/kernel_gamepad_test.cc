// The gamepads as the real kernel presents them to a game.
#include <gtest/gtest.h>
#include <linux/input.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <random>

#include "evdev_device.h"
#include "input/uinput_pad_backend.h"

namespace {

using input_kernel_testing::EvdevDevice;
using input_kernel_testing::NowMs;
using korvane_bridge::UinputPadBackend;

constexpr size_t kBitsPerLong = 8 * sizeof(unsigned long);

bool BitSet(const std::vector<unsigned long>& bits, unsigned bit) {
  return (bits[bit / kBitsPerLong] >> (bit % kBitsPerLong)) & 1;
}

std::vector<unsigned long> Bits(int fd, unsigned type, unsigned max) {
  std::vector<unsigned long> bits(max / kBitsPerLong + 1);
  EXPECT_GE(ioctl(fd, EVIOCGBIT(type, bits.size() * sizeof(unsigned long)), bits.data()), 0);
  return bits;
}

// Every bit of `bits` below `max` that is set.
std::vector<unsigned> SetBits(const std::vector<unsigned long>& bits, unsigned max) {
  std::vector<unsigned> set;
  for (unsigned bit = 0; bit < max; bit++) {
    if (BitSet(bits, bit)) {
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

KorvaneBridgeNativeGamepadPersona Persona(int value) {
  return static_cast<KorvaneBridgeNativeGamepadPersona>(value);
}

// Each persona presents what the posed controller's own driver does (xpad
// for the Xbox 360 pad, hid-nintendo for the Pro Controller), down to the
// ranges and filtering of its axes; which control a game reads for each of
// them is GameLibraryTest's.
TEST(KernelGamepadTest, EachPersonaPresentsItsDriversKeysAndAxes) {
  struct Axis {
    unsigned code;
    int minimum, maximum, fuzz, flat;
  };
  const std::vector<Axis> sticks_and_triggers = {
      {ABS_X, -32768, 32767, 16, 128}, {ABS_Y, -32768, 32767, 16, 128},
      {ABS_Z, 0, 255, 0, 0},           {ABS_RX, -32768, 32767, 16, 128},
      {ABS_RY, -32768, 32767, 16, 128}, {ABS_RZ, 0, 255, 0, 0},
      {ABS_HAT0X, -1, 1, 0, 0},         {ABS_HAT0Y, -1, 1, 0, 0},
  };
  const struct Case {
    int persona;
    const char* name;
    std::vector<unsigned> keys;
    std::vector<Axis> axes;
  } cases[] = {
      {0, "Sony Interactive Entertainment Wireless Controller",
       {BTN_SOUTH, BTN_EAST, BTN_NORTH, BTN_WEST, BTN_TL, BTN_TR, BTN_TL2, BTN_TR2,
        BTN_SELECT, BTN_START, BTN_MODE, BTN_THUMBL, BTN_THUMBR},
       sticks_and_triggers},
      {1, "Microsoft X-Box 360 pad",
       {BTN_A, BTN_B, BTN_X, BTN_Y, BTN_TL, BTN_TR, BTN_SELECT, BTN_START, BTN_MODE,
        BTN_THUMBL, BTN_THUMBR},
       sticks_and_triggers},
      {2, "Nintendo Co., Ltd. Pro Controller",
       {BTN_SOUTH, BTN_EAST, BTN_NORTH, BTN_WEST, BTN_Z, BTN_TL, BTN_TR, BTN_TL2,
        BTN_TR2, BTN_SELECT, BTN_START, BTN_MODE, BTN_THUMBL, BTN_THUMBR},
       {{ABS_X, -32767, 32767, 250, 500},
        {ABS_Y, -32767, 32767, 250, 500},
        {ABS_RX, -32767, 32767, 250, 500},
        {ABS_RY, -32767, 32767, 250, 500},
        {ABS_HAT0X, -1, 1, 0, 0},
        {ABS_HAT0Y, -1, 1, 0, 0}}},
      {7, "Microsoft X-Box 360 pad",
       {BTN_A, BTN_B, BTN_X, BTN_Y, BTN_TL, BTN_TR, BTN_SELECT, BTN_START, BTN_MODE,
        BTN_THUMBL, BTN_THUMBR},
       sticks_and_triggers},
  };

  UinputPadBackend backend(nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.persona);
    double start = NowMs();
    ASSERT_TRUE(backend.MountController(1, Persona(c.persona), ""));
    printf("figure: mount of persona %d took %.2f ms\n", c.persona, NowMs() - start);
    auto device = EvdevDevice::Open(c.name, O_RDONLY);
    ASSERT_TRUE(device.has_value());
    int fd = device->fd();

    EXPECT_EQ(DeviceName(fd), c.name);
    input_id id{};
    ASSERT_GE(ioctl(fd, EVIOCGID, &id), 0);
    EXPECT_EQ(id.bustype, BUS_USB);

    EXPECT_EQ(SetBits(Bits(fd, 0, EV_MAX), EV_MAX),
              (std::vector<unsigned>{EV_SYN, EV_KEY, EV_ABS, EV_FF}));
    std::vector<unsigned> sorted_keys = c.keys;
    std::sort(sorted_keys.begin(), sorted_keys.end());
    EXPECT_EQ(SetBits(Bits(fd, EV_KEY, KEY_MAX), KEY_MAX), sorted_keys);
    auto abs_bits = Bits(fd, EV_ABS, ABS_MAX);
    EXPECT_EQ(SetBits(abs_bits, ABS_MAX).size(), c.axes.size());
    for (const Axis& axis : c.axes) {
      SCOPED_TRACE(axis.code);
      EXPECT_TRUE(BitSet(abs_bits, axis.code));
      input_absinfo info{};
      ASSERT_GE(ioctl(fd, EVIOCGABS(axis.code), &info), 0);
      EXPECT_EQ(info.value, 0);
      EXPECT_EQ(info.minimum, axis.minimum);
      EXPECT_EQ(info.maximum, axis.maximum);
      EXPECT_EQ(info.fuzz, axis.fuzz);
      EXPECT_EQ(info.flat, axis.flat);
      EXPECT_EQ(info.resolution, 0);
    }
    EXPECT_TRUE(BitSet(Bits(fd, EV_FF, FF_MAX), FF_RUMBLE));
    int effects = 0;
    ASSERT_GE(ioctl(fd, EVIOCGEFFECTS, &effects), 0);
    EXPECT_EQ(effects, 16);

    // A different persona value re-creates the device, under the new identity.
    ASSERT_TRUE(backend.UnmountController(1));
  }
  EXPECT_EQ(backend.MountedCount(), 0u);
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

// The state a game should see on the Sony persona after a frame: 13 keys,
// then ABS_X, ABS_Y, ABS_RX, ABS_RY, ABS_Z, ABS_RZ, ABS_HAT0X, ABS_HAT0Y.
struct PadState {
  std::array<int, 13> keys{};
  std::array<int, 8> axes{};
  bool operator==(const PadState& other) const {
    return keys == other.keys && axes == other.axes;
  }
};

const unsigned kKeyCodes[13] = {BTN_SOUTH, BTN_EAST,   BTN_WEST,  BTN_NORTH, BTN_TL,
                                BTN_TR,    BTN_TL2,    BTN_TR2,   BTN_SELECT, BTN_START,
                                BTN_MODE,  BTN_THUMBL, BTN_THUMBR};
const unsigned kAxisCodes[8] = {ABS_X, ABS_Y, ABS_RX, ABS_RY, ABS_Z, ABS_RZ, ABS_HAT0X, ABS_HAT0Y};

struct FrameInput {
  int64_t mask1, mask2;
  bool home, touch_click;
  int64_t sticks[4];
  int64_t l2, r2;
};

int Stick(int64_t v) {
  int64_t d = std::clamp<int64_t>(v, 0, 255) - 128;
  return static_cast<int>(d > 0 ? d * 32767 / 127 : d * 256);
}

// A trigger pressed as a bit reads as pulled all the way.
int Trigger(int bit, int64_t travel) {
  return bit ? 255 : static_cast<int>(std::clamp<int64_t>(travel, 0, 255));
}

PadState Expected(const FrameInput& in) {
  auto bit = [](int64_t mask, int n) { return static_cast<int>((mask >> n) & 1); };
  PadState state;
  state.keys = {bit(in.mask2, 6), bit(in.mask2, 5), bit(in.mask2, 7), bit(in.mask2, 4),
                bit(in.mask2, 2), bit(in.mask2, 3), bit(in.mask2, 0) | (in.l2 > 30),
                bit(in.mask2, 1) | (in.r2 > 30), bit(in.mask1, 0) | in.touch_click,
                bit(in.mask1, 3), in.home, bit(in.mask1, 1), bit(in.mask1, 2)};
  state.axes = {Stick(in.sticks[0]), Stick(in.sticks[1]), Stick(in.sticks[2]),
                Stick(in.sticks[3]), Trigger(bit(in.mask2, 0), in.l2),
                Trigger(bit(in.mask2, 1), in.r2),
                bit(in.mask1, 5) - bit(in.mask1, 7), bit(in.mask1, 6) - bit(in.mask1, 4)};
  return state;
}

KorvaneBridgeVirtualControllerFrame* NewFrame(int64_t player, const FrameInput& in,
                                              double noise) {
  // Gyro, accelerometer, touch and time stamp vary too: none may matter.
  return korvane_bridge_virtual_controller_frame_new(
      player, in.mask1, in.mask2, in.home, in.touch_click, in.sticks[0], in.sticks[1],
      in.sticks[2], in.sticks[3], in.l2, in.r2, noise, -noise, noise * 2, noise, 1, -1,
      static_cast<int64_t>(noise * 1e6), noise > 0.5, 1, 2, 3, noise < 0.5, 4, 5, 6);
}

std::string Describe(const PadState& state) {
  std::string text = "keys";
  for (int key : state.keys) {
    text += " " + std::to_string(key);
  }
  text += " axes";
  for (int axis : state.axes) {
    text += " " + std::to_string(axis);
  }
  return text;
}

// Applies one report to the state the game has observed so far.
void Apply(const std::vector<input_event>& report, PadState* state) {
  for (const input_event& event : report) {
    const unsigned* codes = event.type == EV_KEY ? kKeyCodes : kAxisCodes;
    size_t count = event.type == EV_KEY ? 13 : event.type == EV_ABS ? 8 : 0;
    bool known = false;
    for (size_t i = 0; i < count; i++) {
      if (codes[i] == event.code) {
        (event.type == EV_KEY ? state->keys[i] : state->axes[i]) = event.value;
        known = true;
      }
    }
    EXPECT_TRUE(known || event.type == EV_SYN)
        << "unexpected event " << event.type << ":" << event.code;
  }
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
  PadState observed;  // the kernel starts every value at zero
  PadState previous;
  double write_ms = 0;
  int written = 0;
  int mismatches = 0;
  for (int i = 0; i < kFrames && mismatches < 5; i++) {
    FrameInput in{pick(0, 0xffff), pick(0, 0xffff), pick(0, 1) == 1, pick(0, 7) == 0,
                  {pick(-20, 275), pick(0, 255), pick(0, 255), pick(0, 255)},
                  pick(-10, 300), pick(0, 255)};
    PadState expected = Expected(in);
    if (expected == previous) {
      continue;  // the kernel reports nothing for an unchanged state
    }
    g_autoptr(KorvaneBridgeVirtualControllerFrame) frame =
        NewFrame(2, in, std::uniform_real_distribution<double>(0, 1)(random));
    double start = NowMs();
    ASSERT_TRUE(backend.SubmitFrame(frame));
    write_ms += NowMs() - start;
    written++;

    // The input core closes a packet early when more values change than it
    // expects per packet (16 here), so one frame may arrive as two reports.
    for (int reports = 0; reports < 2 && !(observed == expected); reports++) {
      std::vector<input_event> report = device->ReadReport();
      if (report.empty()) {
        break;
      }
      Apply(report, &observed);
    }
    if (!(observed == expected)) {
      ADD_FAILURE() << "frame " << i << " arrived altered: " << Describe(observed)
                    << " instead of " << Describe(expected);
      mismatches++;
    }
    previous = expected;
  }
  printf("figure: one frame write took %.1f us on average over %d frames\n",
         write_ms * 1e3 / written, written);
  EXPECT_TRUE(device->Idle()) << "more reports than frames";

  ASSERT_TRUE(backend.UnmountController(2));
  g_autoptr(KorvaneBridgeVirtualControllerFrame) late = NewFrame(2, FrameInput{}, 0);
  EXPECT_FALSE(backend.SubmitFrame(late));
}

// The node can go (a module unloaded, a udev rule rewritten) while pads are
// mounted: their open descriptors keep working, new mounts fail plainly, and
// a node made again is used again.
TEST(KernelGamepadTest, UinputNodeRemovedAfterMountLeavesThePadWorking) {
  struct stat node{};
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

  PadState observed;
  const auto frame_arrives = [&](const FrameInput& in) {
    g_autoptr(KorvaneBridgeVirtualControllerFrame) frame = NewFrame(3, in, 0.25);
    EXPECT_TRUE(backend.SubmitFrame(frame));
    Apply(device->ReadReport(), &observed);
    EXPECT_EQ(Describe(observed), Describe(Expected(in)));
  };
  frame_arrives({0, 1 << 6, false, false, {128, 128, 200, 128}, 0, 0});

  EXPECT_FALSE(backend.MountController(4, Persona(0), "node gone second pad"));
  EXPECT_EQ(backend.MountedCount(), 1u);
  frame_arrives({0, 0, true, false, {0, 255, 128, 128}, 255, 40});

  ASSERT_EQ(mknod("/dev/uinput", node.st_mode, node.st_rdev), 0);
  ASSERT_TRUE(backend.MountController(4, Persona(0), "node back pad"));
  EXPECT_TRUE(EvdevDevice::Open("node back pad", O_RDONLY).has_value());
  EXPECT_EQ(backend.MountedCount(), 2u);
  frame_arrives({0, 1 << 5, false, false, {128, 128, 128, 128}, 0, 0});
}

}  // namespace
