// The pads as a real game reads them: SDL2's game controllers, which look
// each pad's layout up by its identity and name every control by its
// position, on the real kernel's evdev nodes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "input/uinput_pad_backend.h"
#include "input_test_support.h"
#include "sdl_game.h"

namespace {

using game_probe::ControllerState;
using game_probe::Describe;
using game_probe::SdlGame;
using input_testing::NewFrame;
using input_testing::RestingControls;
using korvane_bridge::FrameControls;
using korvane_bridge::UinputPadBackend;

constexpr std::chrono::seconds kPatience(3);

struct Persona {
  int value;
  SDL_GameControllerType type;
  uint16_t vendor, product, version;
};
// Every persona, twice or more, and a value that poses as the Xbox pad.
const Persona kSony = {0, SDL_CONTROLLER_TYPE_PS4, 0x054C, 0x09CC, 0x8111};
const Persona kXbox = {1, SDL_CONTROLLER_TYPE_XBOX360, 0x045E, 0x028E, 0x0114};
const Persona kNintendo = {2, SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_PRO, 0x057E,
                           0x2009, 0x0210};
const Persona kOtherValue = {7, SDL_CONTROLLER_TYPE_XBOX360, 0x045E, 0x028E,
                             0x0114};
const Persona kPads[8] = {kSony,     kXbox, kNintendo,   kSony,
                          kNintendo, kXbox, kOtherValue, kNintendo};

// One control of the handheld, and the one control a game reads for it.
struct Control {
  const char* what;
  void (*press)(FrameControls&);
  int button;  // an SDL button, or -1
  int axis;    // an SDL axis, or -1
  int16_t value;
};
// clang-format off
const Control kControls[] = {
  {"south", [](FrameControls& c) { c.button_mask2 = 1 << 6; }, SDL_CONTROLLER_BUTTON_A, -1, 0},
  {"east", [](FrameControls& c) { c.button_mask2 = 1 << 5; }, SDL_CONTROLLER_BUTTON_B, -1, 0},
  {"west", [](FrameControls& c) { c.button_mask2 = 1 << 7; }, SDL_CONTROLLER_BUTTON_X, -1, 0},
  {"north", [](FrameControls& c) { c.button_mask2 = 1 << 4; }, SDL_CONTROLLER_BUTTON_Y, -1, 0},
  {"L1", [](FrameControls& c) { c.button_mask2 = 1 << 2; }, SDL_CONTROLLER_BUTTON_LEFTSHOULDER, -1, 0},
  {"R1", [](FrameControls& c) { c.button_mask2 = 1 << 3; }, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, -1, 0},
  {"L2 bit", [](FrameControls& c) { c.button_mask2 = 1 << 0; }, -1, SDL_CONTROLLER_AXIS_TRIGGERLEFT, 32767},
  {"R2 bit", [](FrameControls& c) { c.button_mask2 = 1 << 1; }, -1, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767},
  {"L2 pulled", [](FrameControls& c) { c.l2_analog = 255; }, -1, SDL_CONTROLLER_AXIS_TRIGGERLEFT, 32767},
  {"R2 pulled", [](FrameControls& c) { c.r2_analog = 255; }, -1, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767},
  {"select", [](FrameControls& c) { c.button_mask1 = 1 << 0; }, SDL_CONTROLLER_BUTTON_BACK, -1, 0},
  {"touchpad click", [](FrameControls& c) { c.touch_click_button = true; }, SDL_CONTROLLER_BUTTON_BACK, -1, 0},
  {"L3", [](FrameControls& c) { c.button_mask1 = 1 << 1; }, SDL_CONTROLLER_BUTTON_LEFTSTICK, -1, 0},
  {"R3", [](FrameControls& c) { c.button_mask1 = 1 << 2; }, SDL_CONTROLLER_BUTTON_RIGHTSTICK, -1, 0},
  {"start", [](FrameControls& c) { c.button_mask1 = 1 << 3; }, SDL_CONTROLLER_BUTTON_START, -1, 0},
  {"up", [](FrameControls& c) { c.button_mask1 = 1 << 4; }, SDL_CONTROLLER_BUTTON_DPAD_UP, -1, 0},
  {"right", [](FrameControls& c) { c.button_mask1 = 1 << 5; }, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, -1, 0},
  {"down", [](FrameControls& c) { c.button_mask1 = 1 << 6; }, SDL_CONTROLLER_BUTTON_DPAD_DOWN, -1, 0},
  {"left", [](FrameControls& c) { c.button_mask1 = 1 << 7; }, SDL_CONTROLLER_BUTTON_DPAD_LEFT, -1, 0},
  {"home", [](FrameControls& c) { c.home_button = true; }, SDL_CONTROLLER_BUTTON_GUIDE, -1, 0},
  {"left stick right", [](FrameControls& c) { c.left_stick_x = 255; }, -1, SDL_CONTROLLER_AXIS_LEFTX, 32767},
  {"left stick left", [](FrameControls& c) { c.left_stick_x = 0; }, -1, SDL_CONTROLLER_AXIS_LEFTX, -32768},
  {"left stick down", [](FrameControls& c) { c.left_stick_y = 255; }, -1, SDL_CONTROLLER_AXIS_LEFTY, 32767},
  {"left stick up", [](FrameControls& c) { c.left_stick_y = 0; }, -1, SDL_CONTROLLER_AXIS_LEFTY, -32768},
  {"right stick right", [](FrameControls& c) { c.right_stick_x = 255; }, -1, SDL_CONTROLLER_AXIS_RIGHTX, 32767},
  {"right stick left", [](FrameControls& c) { c.right_stick_x = 0; }, -1, SDL_CONTROLLER_AXIS_RIGHTX, -32768},
  {"right stick down", [](FrameControls& c) { c.right_stick_y = 255; }, -1, SDL_CONTROLLER_AXIS_RIGHTY, 32767},
  {"right stick up", [](FrameControls& c) { c.right_stick_y = 0; }, -1, SDL_CONTROLLER_AXIS_RIGHTY, -32768},
};
// clang-format on

ControllerState Expected(const Control& control) {
  ControllerState state;
  if (control.button >= 0) {
    state.buttons[control.button] = true;
  } else {
    state.axes[control.axis] = control.value;
  }
  return state;
}

// Eight pads of every persona, mounted one after another, each opened by
// the game as it appears.
class GameLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(game_.ok()) << SDL_GetError();
    for (size_t i = 0; i < std::size(kPads); ++i) {
      const int64_t player = static_cast<int64_t>(i) + 1;
      ASSERT_TRUE(backend_.MountController(
          player,
          static_cast<KorvaneBridgeNativeGamepadPersona>(kPads[i].value),
          "Player " + std::to_string(player)));
      ASSERT_TRUE(game_.PumpUntil(
          [&] { return game_.controllers().size() == i + 1; }, kPatience))
          << "player " << player << " never reached the game";
    }
  }

  SDL_GameController* Pad(size_t index) { return game_.controllers()[index]; }

  bool Submit(const FrameControls& controls) {
    return backend_.SubmitFrame(NewFrame(controls).get());
  }

  // Whether every pad reads as `expected` gives it, before long.
  bool AllRead(const std::vector<ControllerState>& expected) {
    return game_.PumpUntil(
        [&] {
          for (size_t i = 0; i < expected.size(); ++i) {
            if (!(SdlGame::Read(Pad(i)) == expected[i])) {
              return false;
            }
          }
          return true;
        },
        kPatience);
  }

  UinputPadBackend backend_{nullptr};
  SdlGame game_;
};

// Each pad is the controller its persona poses as, and each control of a
// frame reaches the game as the control in the same position on it, and
// nothing else moves on any pad.
TEST_F(GameLibraryTest, EveryControlReadsAsTheSamePositionOnEveryPersona) {
  const std::vector<ControllerState> resting(std::size(kPads));
  ASSERT_TRUE(AllRead(resting))
      << "at mount: " << Describe(SdlGame::Read(Pad(0)));
  for (size_t pad = 0; pad < std::size(kPads); ++pad) {
    const int64_t player = static_cast<int64_t>(pad) + 1;
    SCOPED_TRACE("player " + std::to_string(player));
    EXPECT_EQ(SDL_GameControllerGetType(Pad(pad)), kPads[pad].type);
    EXPECT_EQ(SDL_GameControllerGetVendor(Pad(pad)), kPads[pad].vendor);
    EXPECT_EQ(SDL_GameControllerGetProduct(Pad(pad)), kPads[pad].product);
    EXPECT_EQ(SDL_GameControllerGetProductVersion(Pad(pad)),
              kPads[pad].version);
    if (pad < 3) {
      printf("mapping: persona %d: %s\n", kPads[pad].value,
             SdlGame::Mapping(Pad(pad)).c_str());
    }
    for (const Control& control : kControls) {
      FrameControls controls = RestingControls(player);
      control.press(controls);
      ASSERT_TRUE(Submit(controls));
      std::vector<ControllerState> expected = resting;
      expected[pad] = Expected(control);
      EXPECT_TRUE(AllRead(expected))
          << "player " << player << " (persona " << kPads[pad].value << "), "
          << control.what << ": the game reads "
          << Describe(SdlGame::Read(Pad(pad))) << " instead of "
          << Describe(expected[pad]);
      ASSERT_TRUE(Submit(RestingControls(player)));
      ASSERT_TRUE(AllRead(resting))
          << "player " << player << " after " << control.what;
    }
  }
}

TEST_F(GameLibraryTest, UnmountedPadsLeaveTheGame) {
  ASSERT_TRUE(backend_.UnmountController(3));
  EXPECT_TRUE(game_.PumpUntil([&] { return game_.controllers().size() == 7; },
                              kPatience));
  backend_.UnmountAll();
  EXPECT_TRUE(
      game_.PumpUntil([&] { return game_.controllers().empty(); }, kPatience));
  EXPECT_EQ(SDL_NumJoysticks(), 0);
}

}  // namespace
