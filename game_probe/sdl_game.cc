#include "sdl_game.h"

#include <algorithm>

namespace game_probe {

std::string Describe(const ControllerState& state) {
  std::string text;
  const auto add = [&text](const std::string& part) {
    text += (text.empty() ? "" : " ") + part;
  };
  for (int button = 0; button < SDL_CONTROLLER_BUTTON_MAX; ++button) {
    if (state.buttons[button]) {
      add(SDL_GameControllerGetStringForButton(
          static_cast<SDL_GameControllerButton>(button)));
    }
  }
  for (int axis = 0; axis < SDL_CONTROLLER_AXIS_MAX; ++axis) {
    if (state.axes[axis] != 0) {
      add(std::string(SDL_GameControllerGetStringForAxis(
              static_cast<SDL_GameControllerAxis>(axis))) +
          "=" + std::to_string(state.axes[axis]));
    }
  }
  return text.empty() ? "at rest" : text;
}

SdlGame::SdlGame() {
  // Without a udev daemon (a container, a bare guest) SDL finds pads by
  // watching /dev/input itself.
  SDL_SetHint("SDL_JOYSTICK_DISABLE_UDEV", "1");
  // Controls by position, whatever the labels on the controller say.
  SDL_SetHint(SDL_HINT_GAMECONTROLLER_USE_BUTTON_LABELS, "0");
  ok_ = SDL_Init(SDL_INIT_GAMECONTROLLER) == 0;
}

SdlGame::~SdlGame() {
  for (SDL_GameController* controller : controllers_) {
    SDL_GameControllerClose(controller);
  }
  if (ok_) {
    SDL_Quit();
  }
}

bool SdlGame::PumpUntil(const std::function<bool()>& done,
                        std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
      if (event.type == SDL_CONTROLLERDEVICEADDED) {
        SDL_GameController* opened =
            SDL_GameControllerOpen(event.cdevice.which);
        if (opened != nullptr) {
          controllers_.push_back(opened);
        }
      } else if (event.type == SDL_CONTROLLERDEVICEREMOVED) {
        const auto gone = std::find_if(
            controllers_.begin(), controllers_.end(),
            [&event](SDL_GameController* controller) {
              return SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(
                         controller)) == event.cdevice.which;
            });
        if (gone != controllers_.end()) {
          SDL_GameControllerClose(*gone);
          controllers_.erase(gone);
        }
      }
    }
    if (done()) {
      return true;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    SDL_Delay(2);
  }
}

ControllerState SdlGame::Read(SDL_GameController* controller) {
  ControllerState state;
  for (int button = 0; button < SDL_CONTROLLER_BUTTON_MAX; ++button) {
    state.buttons[button] =
        SDL_GameControllerGetButton(
            controller, static_cast<SDL_GameControllerButton>(button)) != 0;
  }
  for (int axis = 0; axis < SDL_CONTROLLER_AXIS_MAX; ++axis) {
    state.axes[axis] = SDL_GameControllerGetAxis(
        controller, static_cast<SDL_GameControllerAxis>(axis));
  }
  return state;
}

std::string SdlGame::Mapping(SDL_GameController* controller) {
  char* mapping = SDL_GameControllerMapping(controller);
  std::string text = mapping != nullptr ? mapping : "";
  SDL_free(mapping);
  return text;
}

}  // namespace game_probe
