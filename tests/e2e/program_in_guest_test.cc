// The whole road on a real kernel: korvane_desktop in a guest on an X server
// of its own, korvane-peer as the handheld, SDL2 as the game, and a reader
// of the virtual keyboard's event node as the desktop.
#include <gtest/gtest.h>
#include <linux/input.h>

#include <string>
#include <utility>
#include <vector>

#include "evdev_device.h"
#include "program_under_test.h"
#include "sdl_game.h"
// Last: Xlib's macros break the headers above.
#include "x_server_testing.h"

namespace {

using game_probe::Describe;
using game_probe::SdlGame;
using input_kernel_testing::EvdevDevice;
using program_testing::Program;

constexpr std::chrono::seconds kPatience(10);

// Empty at the end of the stream.
std::string ReadLine(GDataInputStream* stream) {
  g_autofree gchar* line =
      g_data_input_stream_read_line(stream, nullptr, nullptr, nullptr);
  return line != nullptr ? line : "";
}

// At rest, or with south, the left stick right and the right trigger pulled.
std::string Frame(int player, bool pressed) {
  return "pushControllerFrame player_number=" + std::to_string(player) +
         " left_stick_y=128 right_stick_x=128 right_stick_y=128" +
         (pressed ? " button_mask2=64 left_stick_x=255 r2_analog=255"
                  : " left_stick_x=128");
}

std::string Rumble(int player, int strong, int weak) {
  return "onControllerRumble NativeRumbleEvent(player_number: " +
         std::to_string(player) +
         ", left_motor_intensity: " + std::to_string(strong) +
         ", right_motor_intensity: " + std::to_string(weak) + ")";
}

TEST(ProgramInGuestTest,
     PadsReachTheGameItsRumbleTheHandheldAndDeckKeysTheKeyboard) {
  x_server_testing::PrivateXServer x_server("1280x800x24");
  ASSERT_FALSE(x_server.name().empty()) << "no X server";
  peer_testing::ScopedEnv display("DISPLAY", x_server.name());
  peer_testing::TempDir dir;
  Program program(dir, "guest");
  ASSERT_TRUE(program.Serving()) << program.Stderr();
  // korvane-peer on one connection, fed one call at a time.
  g_autoptr(GSubprocess) peer = program.StartPeer({"script", "-"});
  g_autoptr(GDataInputStream) replies =
      g_data_input_stream_new(g_subprocess_get_stdout_pipe(peer));
  const auto call = [&](const std::string& line) {
    const std::string command = line + "\n";
    g_output_stream_write_all(g_subprocess_get_stdin_pipe(peer), command.data(),
                              command.size(), nullptr, nullptr, nullptr);
    return ReadLine(replies);
  };
  EXPECT_EQ(call("getDriverHealth") + "\n", program_testing::ExpectedHealth());
  SdlGame game;
  ASSERT_TRUE(game.ok()) << SDL_GetError();
  const SDL_GameControllerType types[] = {
      SDL_CONTROLLER_TYPE_PS4, SDL_CONTROLLER_TYPE_XBOX360,
      SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_PRO};
  for (int persona = 0; persona < 3; ++persona) {
    const std::string player = std::to_string(persona + 1);
    ASSERT_EQ(call("mountVirtualController player_number=" + player +
                   " persona=" + std::to_string(persona) +
                   " display_name=Player" + player + " enable_rumble=true"),
              "true");
    ASSERT_TRUE(game.PumpUntil(
        [&] { return game.controllers().size() == size_t(persona) + 1; },
        kPatience));
    EXPECT_EQ(SDL_GameControllerGetType(game.controllers()[persona]),
              types[persona]);
  }

  // One pad at a time pressed; the others stay at rest.
  const auto reads = [&] {
    std::vector<std::string> all;
    for (SDL_GameController* pad : game.controllers()) {
      all.push_back(Describe(SdlGame::Read(pad)));
    }
    return all;
  };
  for (int pad = 0; pad < 3; ++pad) {
    ASSERT_EQ(call(Frame(pad + 1, true)), "null");
    std::vector<std::string> expected(3, "at rest");
    expected[pad] = "a leftx=32767 righttrigger=32767";
    EXPECT_TRUE(game.PumpUntil([&] { return reads() == expected; }, kPatience))
        << ::testing::PrintToString(reads());
    ASSERT_EQ(call(Frame(pad + 1, false)), "null");
  }

  // The events go to the peer that connected last.
  g_autoptr(GSubprocess) listener =
      program.StartPeer({"--timeout=20", "listen", "6"});
  g_autoptr(GDataInputStream) listening =
      g_data_input_stream_new(g_subprocess_get_stderr_pipe(listener));
  ASSERT_EQ(ReadLine(listening), "korvane-peer: listening");
  for (SDL_GameController* pad : game.controllers()) {
    ASSERT_EQ(SDL_GameControllerRumble(pad, 0xFFFF, 0x8000, 100), 0);
  }
  // SDL stops each rumble from its event handling once its time is up; the
  // listener ends after the six events.
  game.PumpUntil([&] { return !g_subprocess_get_identifier(listener); },
                 kPatience);
  const program_testing::PeerRun events = Program::Finish(listener);
  EXPECT_EQ(events.status, 0) << events.err;
  for (int player = 1; player <= 3; ++player) {
    const size_t start = events.out.find(Rumble(player, 255, 127));
    EXPECT_NE(start, std::string::npos) << events.out;
    EXPECT_NE(events.out.find(Rumble(player, 0, 0), start), std::string::npos)
        << events.out;
  }

  EXPECT_EQ(call("unmountAllControllers"), "null");
  EXPECT_TRUE(
      game.PumpUntil([&] { return game.controllers().empty(); }, kPatience));

  // No sound server or media player runs here, so media and volume buttons
  // type their multimedia keys. The keyboard comes with the first press.
  ASSERT_EQ(call("triggerDeckAction action_id=first action_type=7"), "true");
  auto keyboard = EvdevDevice::Open("Korvane Virtual Macro Keyboard", O_RDONLY);
  ASSERT_TRUE(keyboard.has_value());

  const std::pair<int, int> media[] = {{0, KEY_PLAYPAUSE},    {1, KEY_NEXTSONG},
                                       {2, KEY_PREVIOUSSONG}, {3, KEY_VOLUMEUP},
                                       {4, KEY_VOLUMEDOWN},   {5, KEY_MUTE}};
  std::vector<std::pair<int, int>> expected;
  for (const auto& [action, key] : media) {
    EXPECT_EQ(call("triggerDeckAction action_id=media action_type=" +
                   std::to_string(action)),
              "true")
        << action;
    expected.insert(expected.end(), {{key, 1}, {key, 0}});
  }
  // Ctrl+Shift+M: the modifiers first, released last.
  EXPECT_EQ(call("triggerDeckAction action_id=chord action_type=6"), "true");
  expected.insert(expected.end(), {{KEY_LEFTCTRL, 1},
                                   {KEY_LEFTSHIFT, 1},
                                   {KEY_M, 1},
                                   {KEY_M, 0},
                                   {KEY_LEFTSHIFT, 0},
                                   {KEY_LEFTCTRL, 0}});
  // As (code, pressed), in the order a reader of the node sees them.
  std::vector<std::pair<int, int>> keys;
  std::vector<input_event> report;
  while (keys.size() < expected.size() &&
         !(report = keyboard->ReadReport()).empty()) {
    for (const input_event& event : report) {
      if (event.type == EV_KEY) {
        keys.emplace_back(event.code, event.value);
      }
    }
  }
  EXPECT_EQ(keys, expected);
  EXPECT_TRUE(keyboard->Idle());
}

}  // namespace
