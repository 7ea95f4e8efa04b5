#ifndef GAME_PROBE_SDL_GAME_H_
#define GAME_PROBE_SDL_GAME_H_

// The pads as a game reads them: through SDL2's game-controller API, the
// library under most Linux games and Proton, which looks each pad's layout
// up by its identity and names every control by its position.

#include <SDL2/SDL.h>

#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace game_probe {

// Every button and axis of one controller, as SDL maps them.
struct ControllerState {
  std::array<bool, SDL_CONTROLLER_BUTTON_MAX> buttons{};
  std::array<int16_t, SDL_CONTROLLER_AXIS_MAX> axes{};
  bool operator==(const ControllerState& other) const {
    return buttons == other.buttons && axes == other.axes;
  }
  bool operator!=(const ControllerState& other) const {
    return !(*this == other);
  }
};

// The pressed buttons and the axes away from rest by SDL's names, as
// "a leftx=32767", or "at rest".
std::string Describe(const ControllerState& state);

class SdlGame {
 public:
  // Initialises SDL's game controllers; ok() tells whether that worked.
  SdlGame();
  ~SdlGame();
  SdlGame(const SdlGame&) = delete;
  SdlGame& operator=(const SdlGame&) = delete;

  bool ok() const { return ok_; }

  // Handles SDL's events, opening controllers as they appear and closing
  // those that go, until `done` holds or `timeout` has passed; whether
  // `done` held.
  bool PumpUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds timeout);

  // The open controllers, in the order they appeared.
  const std::vector<SDL_GameController*>& controllers() const {
    return controllers_;
  }

  static ControllerState Read(SDL_GameController* controller);
  // The mapping SDL applies, in its database's text form.
  static std::string Mapping(SDL_GameController* controller);

 private:
  bool ok_ = false;
  std::vector<SDL_GameController*> controllers_;
};

}  // namespace game_probe

#endif  // GAME_PROBE_SDL_GAME_H_
