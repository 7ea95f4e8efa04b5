// game-probe: what a game reads from the pads. It waits for the pads,
// then prints for each the identity and mapping SDL gives it and the state
// of every control, and can rumble each one as a game would.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "sdl_game.h"

namespace {

constexpr char kUsage[] =
    R"(Usage: game-probe [--pads=N] [--wait=SECONDS] [--await-input] [--rumble]

Reads the game controllers through SDL2, as most Linux games do. Waits up
to SECONDS (default 10) until N pads (default 1) are there and prints for
each pad its name, identity and the mapping SDL applies. Then prints what
each pad reads: at once, or with --await-input once every pad reads
something other than rest and they have been still for 200 ms (SDL reports
a trigger that was already pulled when the game opened the pad only once it
moves). --rumble then waits for
Enter (a line on standard input), asks every pad for a rumble (strong motor
full, weak motor half, for 300 ms), as a game does, and waits until SDL has
stopped it.
Exit status: 0 when the pads were there, 1 when they were not, 2 on wrong
usage.
)";

constexpr Uint16 kStrongRumble = 0xFFFF;
constexpr Uint16 kWeakRumble = 0x8000;
constexpr Uint32 kRumbleMs = 300;
constexpr std::chrono::milliseconds kSettleTime(200);

bool NumberOption(const char* argument, const char* name, long* value) {
  const size_t length = strlen(name);
  if (strncmp(argument, name, length) != 0 || argument[length] != '=') {
    return false;
  }
  char* end = nullptr;
  *value = strtol(argument + length + 1, &end, 10);
  return *end == '\0' && *value > 0;
}

void PrintPad(size_t index, SDL_GameController* controller) {
  printf("pad %zu: %s (%04x:%04x version %04x)\n", index + 1,
         SDL_GameControllerName(controller),
         SDL_GameControllerGetVendor(controller),
         SDL_GameControllerGetProduct(controller),
         SDL_GameControllerGetProductVersion(controller));
  printf("  mapping: %s\n", game_probe::SdlGame::Mapping(controller).c_str());
}

std::vector<game_probe::ControllerState> States(
    const game_probe::SdlGame& game) {
  std::vector<game_probe::ControllerState> states;
  for (SDL_GameController* controller : game.controllers()) {
    states.push_back(game_probe::SdlGame::Read(controller));
  }
  return states;
}

bool AllPadsMoved(const game_probe::SdlGame& game) {
  for (SDL_GameController* controller : game.controllers()) {
    if (game_probe::SdlGame::Read(controller) ==
        game_probe::ControllerState{}) {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  long pads = 1;
  long wait_seconds = 10;
  bool rumble = false;
  bool await_input = false;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--rumble") == 0) {
      rumble = true;
    } else if (strcmp(argv[i], "--await-input") == 0) {
      await_input = true;
    } else if (strcmp(argv[i], "--help") == 0) {
      fputs(kUsage, stdout);
      return 0;
    } else if (!NumberOption(argv[i], "--pads", &pads) &&
               !NumberOption(argv[i], "--wait", &wait_seconds)) {
      fputs(kUsage, stderr);
      return 2;
    }
  }
  game_probe::SdlGame game;
  if (!game.ok()) {
    fprintf(stderr, "game-probe: SDL did not start: %s\n", SDL_GetError());
    return 1;
  }
  const auto enough = [&] {
    return game.controllers().size() >= static_cast<size_t>(pads);
  };
  if (!game.PumpUntil(enough, std::chrono::seconds(wait_seconds))) {
    fprintf(stderr, "game-probe: %zu of %ld pads appeared in %ld s\n",
            game.controllers().size(), pads, wait_seconds);
    return 1;
  }
  for (size_t i = 0; i < game.controllers().size(); ++i) {
    PrintPad(i, game.controllers()[i]);
  }
  if (await_input) {
    printf("waiting for input on every pad\n");
    fflush(stdout);
    game.PumpUntil([&game] { return AllPadsMoved(game); },
                   std::chrono::seconds(wait_seconds));
    // Until the pads have been still for a moment: one pad's input may
    // still be arriving when another's is there.
    for (std::vector<game_probe::ControllerState> before = States(game);;) {
      const bool changed =
          game.PumpUntil([&] { return States(game) != before; }, kSettleTime);
      if (!changed) {
        break;
      }
      before = States(game);
    }
  }
  for (size_t i = 0; i < game.controllers().size(); ++i) {
    printf(
        "pad %zu reads: %s\n", i + 1,
        game_probe::Describe(game_probe::SdlGame::Read(game.controllers()[i]))
            .c_str());
  }
  if (rumble) {
    printf("press Enter to rumble every pad\n");
    fflush(stdout);
    for (int c = getchar(); c != '\n' && c != EOF; c = getchar()) {
    }
    for (size_t i = 0; i < game.controllers().size(); ++i) {
      const bool asked =
          SDL_GameControllerRumble(game.controllers()[i], kStrongRumble,
                                   kWeakRumble, kRumbleMs) == 0;
      printf("pad %zu: rumble, strong motor %u, weak motor %u, for %u ms: %s\n",
             i + 1, kStrongRumble, kWeakRumble, kRumbleMs,
             asked ? "asked" : SDL_GetError());
    }
    // SDL stops the rumble itself once its time is up, while the game
    // keeps handling events.
    const Uint32 until = SDL_GetTicks() + kRumbleMs + 200;
    game.PumpUntil([until] { return SDL_TICKS_PASSED(SDL_GetTicks(), until); },
                   std::chrono::seconds(2));
  }
  return 0;
}
