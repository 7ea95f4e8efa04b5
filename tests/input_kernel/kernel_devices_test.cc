// The devices, rumble and the repair of /dev/uinput on the real kernel.
#include <errno.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "evdev_device.h"
#include "input/uinput_pad_backend.h"

namespace {

using input_kernel_testing::EvdevDevice;
using input_kernel_testing::NowMs;
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

std::vector<int> Identity(int fd) {
  input_id id{};
  EXPECT_GE(ioctl(fd, EVIOCGID, &id), 0);
  return {id.bustype, id.vendor, id.product, id.version};
}

// Each persona presents what the posed controller's own driver does (xpad,
// hid-nintendo), down to the ranges and filtering of its axes.
TEST(KernelGamepadTest, EachPersonaPresentsItsDriversKeysAndAxes) {
  struct Range {
    int minimum, maximum, fuzz, flat;
  };
  const Range stick{-32768, 32767, 16, 128}, trigger{0, 255, 0, 0};
  const Range pro_stick{-32767, 32767, 250, 500}, hat{-1, 1, 0, 0};
  using Axes = std::vector<std::pair<unsigned, Range>>;
  const Axes sticks_and_triggers = {
      {ABS_X, stick},  {ABS_Y, stick},    {ABS_Z, trigger}, {ABS_RX, stick},
      {ABS_RY, stick}, {ABS_RZ, trigger}, {ABS_HAT0X, hat}, {ABS_HAT0Y, hat}};
  const std::vector<unsigned> xbox_keys = {
      BTN_A,      BTN_B,     BTN_X,    BTN_Y,      BTN_TL,    BTN_TR,
      BTN_SELECT, BTN_START, BTN_MODE, BTN_THUMBL, BTN_THUMBR};
  const std::vector<int> xbox = {BUS_USB, 0x045E, 0x028E, 0x0114};
  // Keys and axes in the order of their codes.
  const struct Case {
    int persona;
    const char* name;
    std::vector<int> identity;
    std::vector<unsigned> keys;
    Axes axes;
  } cases[] = {
      {0,
       "Sony Interactive Entertainment Wireless Controller",
       {BUS_USB, 0x054C, 0x09CC, 0x8111},
       {BTN_SOUTH, BTN_EAST, BTN_NORTH, BTN_WEST, BTN_TL, BTN_TR, BTN_TL2,
        BTN_TR2, BTN_SELECT, BTN_START, BTN_MODE, BTN_THUMBL, BTN_THUMBR},
       sticks_and_triggers},
      {2,
       "Nintendo Co., Ltd. Pro Controller",
       {BUS_USB, 0x057E, 0x2009, 0x0210},
       {BTN_SOUTH, BTN_EAST, BTN_NORTH, BTN_WEST, BTN_Z, BTN_TL, BTN_TR,
        BTN_TL2, BTN_TR2, BTN_SELECT, BTN_START, BTN_MODE, BTN_THUMBL,
        BTN_THUMBR},
       {{ABS_X, pro_stick},
        {ABS_Y, pro_stick},
        {ABS_RX, pro_stick},
        {ABS_RY, pro_stick},
        {ABS_HAT0X, hat},
        {ABS_HAT0Y, hat}}},
      {1, "Microsoft X-Box 360 pad", xbox, xbox_keys, sticks_and_triggers},
      {7, "Microsoft X-Box 360 pad", xbox, xbox_keys, sticks_and_triggers},
  };

  UinputPadBackend backend(nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.persona);
    const double start = NowMs();
    ASSERT_TRUE(backend.MountController(
        1, static_cast<KorvaneBridgeNativeGamepadPersona>(c.persona), ""));
    printf("figure: mount of persona %d took %.2f ms\n", c.persona,
           NowMs() - start);
    auto device = EvdevDevice::Open(c.name, O_RDONLY);
    ASSERT_TRUE(device.has_value());
    const int fd = device->fd();
    EXPECT_EQ(Identity(fd), c.identity);
    EXPECT_EQ(SetBits(fd, EVIOCGBIT(0, kBitmapBytes), EV_MAX),
              (std::vector<unsigned>{EV_SYN, EV_KEY, EV_ABS, EV_FF}));
    EXPECT_EQ(SetBits(fd, EVIOCGBIT(EV_KEY, kBitmapBytes), KEY_MAX), c.keys);
    std::vector<unsigned> axis_codes;
    for (const auto& [code, range] : c.axes) {
      SCOPED_TRACE(code);
      axis_codes.push_back(code);
      input_absinfo info{};
      ASSERT_GE(ioctl(fd, EVIOCGABS(code), &info), 0);
      EXPECT_EQ(std::vector<int>({info.value, info.minimum, info.maximum,
                                  info.fuzz, info.flat, info.resolution}),
                std::vector<int>({0, range.minimum, range.maximum, range.fuzz,
                                  range.flat, 0}));
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

// A report's keys, its closing SYN_REPORT left out.
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

double StampMs(const input_event& event) {
  return event.input_event_sec * 1e3 + event.input_event_usec / 1e3;
}

TEST(KernelMacroKeyboardTest, ChordsAndButtonsArriveInOrder) {
  UinputPadBackend backend(nullptr);
  // The device appears on first use; releasing a button not down reports
  // nothing.
  ASSERT_TRUE(backend.SendMouseButton(BTN_LEFT, false));
  auto keyboard = EvdevDevice::Open("Korvane Virtual Macro Keyboard", O_RDONLY);
  ASSERT_TRUE(keyboard.has_value());
  ASSERT_TRUE(backend.SendMouseButton(BTN_LEFT, false));
  EXPECT_TRUE(keyboard->Idle());
  EXPECT_EQ(Identity(keyboard->fd()),
            (std::vector<int>{BUS_USB, 0x1209, 0x4B56, 0x0001}));

  // Held long enough for applications that poll the keyboard state.
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
}

// (player, strong motor, weak motor)
using Rumble = std::tuple<int64_t, int64_t, int64_t>;

// Uploads (or, with an id, updates) a rumble effect as a game does; its id,
// or -1.
int Upload(int fd,
           uint16_t strong,
           uint16_t weak,
           int id = -1,
           uint16_t delay_ms = 0,
           uint16_t length_ms = 0) {
  ff_effect effect{};
  effect.type = FF_RUMBLE;
  effect.id = id;
  effect.u.rumble = {strong, weak};
  effect.replay = {length_ms, delay_ms};
  return ioctl(fd, EVIOCSFF, &effect) < 0 ? -1 : effect.id;
}

// 1 plays, 0 stops; ENODEV once the pad is gone.
bool Send(int fd, uint16_t code, int32_t value) {
  const input_event event{{}, EV_FF, code, value};
  return write(fd, &event, sizeof(event)) == sizeof(event);
}

// A mounted gamepad, its rumble callbacks in order, and a game holding its
// event node.
class KernelForceFeedbackTest : public ::testing::Test {
 protected:
  static constexpr int64_t kPlayer = 3;

  void SetUp() override {
    ASSERT_TRUE(backend_.MountController(
        kPlayer, KORVANE_BRIDGE_NATIVE_GAMEPAD_PERSONA_SONY_WIRELESS_CONTROLLER,
        "rumble pad"));
    auto game = EvdevDevice::Open("rumble pad", O_RDWR);
    ASSERT_TRUE(game.has_value());
    fd_ = game->fd();
    game_.emplace(std::move(*game));
  }

  // The next rumble callback and when it was made.
  std::optional<std::pair<Rumble, double>> NextCall(int timeout_ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [this] { return !calls_.empty(); })) {
      return std::nullopt;
    }
    const auto call = calls_.front();
    calls_.pop_front();
    return call;
  }

  double Next(int64_t strong, int64_t weak, int timeout_ms = 2000) {
    const auto call = NextCall(timeout_ms);
    EXPECT_EQ(call ? call->first : Rumble(), Rumble(kPlayer, strong, weak));
    return call ? call->second : 0;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::pair<Rumble, double>> calls_;
  UinputPadBackend backend_{
      [this](int64_t player, int64_t strong, int64_t weak) {
        std::scoped_lock lock(mutex_);
        calls_.push_back({Rumble{player, strong, weak}, NowMs()});
        changed_.notify_all();
      }};
  std::optional<EvdevDevice> game_;
  int fd_ = -1;
};

TEST_F(KernelForceFeedbackTest, PlayStopAndEraseReachTheCallback) {
  int id = Upload(fd_, 0xFFFF, 0x8000);
  ASSERT_GE(id, 0);
  EXPECT_FALSE(NextCall(0)) << "an upload alone makes no callback";
  ASSERT_TRUE(Send(fd_, id, 1));
  Next(255, 127);
  ASSERT_TRUE(Send(fd_, id, 0));
  Next(0, 0);
  ASSERT_TRUE(Send(fd_, id, 1));
  Next(255, 127);
  // Gain requests have no effect.
  ASSERT_TRUE(Send(fd_, FF_GAIN, 0x4000));
  ASSERT_EQ(Upload(fd_, 0x0101, 0x0202, id), id);  // overwrites the strengths
  ASSERT_TRUE(Send(fd_, id, 1));
  Next(1, 2);
  // The kernel stops an effect before erasing it.
  ASSERT_EQ(ioctl(fd_, EVIOCRMFF, id), 0);
  Next(0, 0);
  ASSERT_EQ(Upload(fd_, 0x0303, 0x0404), id);
  ASSERT_TRUE(Send(fd_, id, 1));
  Next(3, 4);
  // So it does for a game that quits.
  game_.reset();
  Next(0, 0);
  EXPECT_TRUE(backend_.UnmountController(kPlayer));
  EXPECT_FALSE(NextCall(200).has_value()) << "a silent pad goes without a word";
}

// Lower bounds only, as an emulated guest may lag.
TEST_F(KernelForceFeedbackTest, TimedEffectsStartAfterTheirDelayAndRunOut) {
  const int timed = Upload(fd_, 0xFFFF, 0x8000, -1, 200, 200);
  ASSERT_GE(timed, 0);
  const double sent = NowMs();
  ASSERT_TRUE(Send(fd_, timed, 1));
  EXPECT_GE(Next(255, 127, 5000) - sent, 200.0);
  EXPECT_GE(Next(0, 0, 5000) - sent, 400.0) << "an effect that ran out";

  // Stopped within its delay, it never starts.
  ASSERT_TRUE(Send(fd_, timed, 1));
  ASSERT_TRUE(Send(fd_, timed, 0));
  Next(0, 0);
  EXPECT_FALSE(NextCall(600).has_value());

  // A later play supersedes a short one, whose end then silences nothing.
  const int brief = Upload(fd_, 0xFFFF, 0xFFFF, -1, 0, 300);
  const int endless = Upload(fd_, 0x0101, 0x0202);
  ASSERT_GE(brief, 0);
  ASSERT_GE(endless, 0);
  ASSERT_TRUE(Send(fd_, brief, 1));
  ASSERT_TRUE(Send(fd_, endless, 1));
  Next(255, 255);
  Next(1, 2);
  EXPECT_FALSE(NextCall(800).has_value());
  ASSERT_TRUE(Send(fd_, endless, 0));
  Next(0, 0);
}

TEST_F(KernelForceFeedbackTest, UnmountWhileAGameRumblesIsQuickAndSilences) {
  const int id = Upload(fd_, 0xFFFF, 0xFFFF);
  ASSERT_GE(id, 0);
  ASSERT_TRUE(Send(fd_, id, 1));
  Next(255, 255);

  const double start = NowMs();
  EXPECT_TRUE(backend_.UnmountController(kPlayer));
  const double took = NowMs() - start;
  printf("figure: unmount during rumble took %.1f ms\n", took);
  // One 100 ms poll period, with room for a loaded emulator.
  EXPECT_LT(took, 500.0);
  // Made before the worker was joined, so already there.
  Next(0, 0, 0);
  EXPECT_FALSE(Send(fd_, id, 1));
  EXPECT_EQ(errno, ENODEV);
  EXPECT_FALSE(NextCall(200).has_value()) << "no callback after the unmount";
}

constexpr uid_t kUser = 1000;
constexpr uid_t kOtherUser = 1001;
constexpr char kNode[] = "/dev/uinput";
// Where the stand-in pkexec records its arguments.
constexpr char kCommandLog[] = "/tmp/pkexec-arguments";

// The exit status of `body` run as `user`.
int AsUser(const std::function<int()>& body, uid_t user = kUser) {
  pid_t child = fork();
  if (child == 0) {
    if (setgid(user) != 0 || setuid(user) != 0) {
      _exit(100);
    }
    _exit(body());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

int Readiness() {
  return UinputPadBackend(nullptr).CheckReadiness();
}

int Repair() {
  return UinputPadBackend(nullptr).SetupOrRepairDriverInteractive() ? 0 : 1;
}

// 0, or the errno of opening the node for reading and writing.
int OpenNode() {
  const int fd = open(kNode, O_RDWR);
  return fd < 0 ? errno : close(fd);
}

void WriteScript(const std::string& path, const std::string& body) {
  std::ofstream(path) << "#!/bin/sh\n" << body;
  chmod(path.c_str(), 0755);
}

class KernelReadinessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(stat(kNode, &node_), 0);
    // Stand-ins for the administrator prompt and udev, first on PATH.
    mkdir("/tmp/bin", 0755);
    WriteScript("/tmp/bin/udevadm", "exit 0\n");
    setenv("PATH", "/tmp/bin:/bin", 1);
  }

  void TearDown() override {
    setenv("PATH", path_.c_str(), 1);
    // A new node also drops any access list that a repair gave the old one.
    unlink(kNode);
    EXPECT_EQ(mknod(kNode, S_IFCHR | (node_.st_mode & 07777), node_.st_rdev),
              0);
    EXPECT_EQ(chown(kNode, node_.st_uid, node_.st_gid), 0);
    EXPECT_EQ(chmod(kNode, node_.st_mode & 07777), 0);
    for (const char* made : {"/tmp/bin/pkexec", kCommandLog,
                             "/etc/modules-load.d/korvane-uinput.conf",
                             "/etc/udev/rules.d/99-korvane-uinput.rules"}) {
      unlink(made);
    }
  }

  struct stat node_ {};
  const std::string path_ = getenv("PATH") != nullptr ? getenv("PATH") : "";
};

TEST_F(KernelReadinessTest, TheThreeStates) {
  EXPECT_EQ(Readiness(), KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY);

  ASSERT_EQ(chmod(kNode, 0600), 0);
  EXPECT_EQ(AsUser(Readiness),
            KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_PERMISSION_REQUIRED);
  ASSERT_EQ(chmod(kNode, 0666), 0);
  EXPECT_EQ(AsUser(Readiness), KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY);

  ASSERT_EQ(unlink(kNode), 0);
  EXPECT_EQ(Readiness(),
            KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_MODULE_NOT_LOADED);
}

TEST_F(KernelReadinessTest, RepairRunsTheScriptOnlyWhenNeededAndMustWork) {
  // A declined prompt, or a script that failed partway and still exited 0.
  ASSERT_EQ(chmod(kNode, 0600), 0);
  for (const char* prompt : {"exit 126\n", "exit 0\n"}) {
    WriteScript("/tmp/bin/pkexec", prompt);
    EXPECT_EQ(AsUser(Repair), 1) << prompt;
    EXPECT_EQ(AsUser(Readiness),
              KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_PERMISSION_REQUIRED)
        << prompt;
  }
  unlink("/tmp/bin/pkexec");

  // A prompt that grants at once, setuid root as the real one.
  const char* const stand_in = "/bin/pkexec_stand_in";
  ASSERT_EQ(access(stand_in, X_OK), 0)
      << "run-guest needs --with pkexec_stand_in";
  ASSERT_TRUE(std::filesystem::copy_file(stand_in, "/tmp/bin/pkexec"));
  ASSERT_EQ(chown("/tmp/bin/pkexec", 0, 0), 0);
  ASSERT_EQ(chmod("/tmp/bin/pkexec", 04755), 0);
  for (const char* directory : {"/etc", "/etc/udev", "/etc/udev/rules.d"}) {
    mkdir(directory, 0755);
  }

  // Usable already: no prompt at all.
  ASSERT_EQ(chmod(kNode, 0666), 0);
  EXPECT_EQ(AsUser(Repair), 0);
  EXPECT_EQ(access(kCommandLog, F_OK), -1)
      << "pkexec ran although the node was usable";

  // Not usable: the script opens the node to the user who asked alone.
  ASSERT_EQ(chown(kNode, 0, 0), 0);
  ASSERT_EQ(chmod(kNode, 0600), 0);
  EXPECT_EQ(AsUser(Repair), 0);
  std::stringstream log;
  log << std::ifstream(kCommandLog).rdbuf();
  EXPECT_EQ(log.str(),
            "sh -c modprobe uinput || true; mkdir -p /etc/modules-load.d && "
            "echo uinput > /etc/modules-load.d/korvane-uinput.conf; printf "
            "\"KERNEL==\\\"uinput\\\", SUBSYSTEM==\\\"misc\\\", "
            "MODE=\\\"0660\\\", TAG+=\\\"uaccess\\\", "
            "OPTIONS+=\\\"static_node=uinput\\\"\\n\" > "
            "/etc/udev/rules.d/99-korvane-uinput.rules && udevadm control "
            "--reload-rules && udevadm trigger --sysname-match=uinput && "
            "setfacl -m \"u:$PKEXEC_UID:rw\" /dev/uinput\n");
  EXPECT_EQ(AsUser(OpenNode), 0);
  EXPECT_EQ(AsUser(OpenNode, kOtherUser), EACCES);
}

}  // namespace
