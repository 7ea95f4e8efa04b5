// The pads as SDL2's game controllers read them, by position.
#include <gtest/gtest.h>

#include <chrono>
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

// Every persona, twice or more, and a value that poses as the Xbox pad.
constexpr int kPads[8] = {0, 1, 2, 0, 2, 1, 7, 2};

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

// Each control moves the same-position SDL control of its own pad alone.
TEST(GameLibraryTest, EveryControlReadsAsTheSamePositionOnEveryPersona) {
  UinputPadBackend backend(nullptr);
  SdlGame game;
  ASSERT_TRUE(game.ok()) << SDL_GetError();
  for (size_t i = 0; i < std::size(kPads); ++i) {
    ASSERT_TRUE(backend.MountController(
        static_cast<int64_t>(i) + 1,
        static_cast<KorvaneBridgeNativeGamepadPersona>(kPads[i]),
        "Player " + std::to_string(i + 1)));
    ASSERT_TRUE(game.PumpUntil(
        [&] { return game.controllers().size() == i + 1; }, kPatience))
        << "player " << i + 1 << " never reached the game";
  }
  std::vector<ControllerState> read;
  // Whether every pad reads as `expected` gives it, before long.
  const auto all_read = [&](const std::vector<ControllerState>& expected) {
    return game.PumpUntil(
        [&] {
          read.clear();
          for (SDL_GameController* pad : game.controllers()) {
            read.push_back(SdlGame::Read(pad));
          }
          return read == expected;
        },
        kPatience);
  };

  const std::vector<ControllerState> resting(std::size(kPads));
  ASSERT_TRUE(all_read(resting)) << "at mount: " << Describe(read.at(0));
  for (size_t i = 0; i < std::size(kPads); ++i) {
    const int64_t player = static_cast<int64_t>(i) + 1;
    SCOPED_TRACE("player " + std::to_string(player));
    for (const Control& control : kControls) {
      FrameControls controls = RestingControls(player);
      control.press(controls);
      ASSERT_TRUE(backend.SubmitFrame(NewFrame(controls).get()));
      std::vector<ControllerState> expected = resting;
      if (control.button >= 0) {
        expected[i].buttons[control.button] = true;
      } else {
        expected[i].axes[control.axis] = control.value;
      }
      EXPECT_TRUE(all_read(expected))
          << "persona " << kPads[i] << ", " << control.what
          << ": the game reads " << Describe(read.at(i)) << " instead of "
          << Describe(expected[i]);
      ASSERT_TRUE(backend.SubmitFrame(NewFrame(RestingControls(player)).get()));
      ASSERT_TRUE(all_read(resting)) << "after " << control.what;
    }
  }
  backend.UnmountAll();
  EXPECT_TRUE(
      game.PumpUntil([&] { return game.controllers().empty(); }, kPatience));
}

}  // namespace
