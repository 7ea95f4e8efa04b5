#include "input/macro_keyboard.h"

#include <fcntl.h>

#include <chrono>
#include <thread>

#include "input/uinput_device.h"

namespace korvane_bridge {

namespace {

constexpr DeviceIdentity kKeyboardIdentity = {0x1209, 0x4B56, 0x0001};
constexpr char kKeyboardName[] = "Korvane Virtual Macro Keyboard";
constexpr uint16_t kEventTypes[] = {EV_KEY, EV_REL, EV_SYN};
constexpr uint16_t kMouseButtons[] = {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE};
constexpr uint16_t kRelativeAxes[] = {REL_X, REL_Y};

// The desktop needs a moment to pick up a new input device; events written
// earlier are lost.
constexpr std::chrono::milliseconds kNewDeviceSettleTime(40);
// Applications that poll the keyboard state miss a press and release that
// arrive together.
constexpr std::chrono::milliseconds kChordHoldTime(18);

int CreateKeyboardDevice(KernelCalls& kernel) {
  const int fd = kernel.Open(kUinputPath, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return -1;
  }
  EnableCodes(kernel, fd, UI_SET_EVBIT, kEventTypes);
  // Every key a shortcut may name, up to the microphone mute key.
  for (uint16_t key = KEY_ESC; key <= KEY_MICMUTE; ++key) {
    kernel.IoctlValue(fd, UI_SET_KEYBIT, key);
  }
  EnableCodes(kernel, fd, UI_SET_KEYBIT, kMouseButtons);
  EnableCodes(kernel, fd, UI_SET_RELBIT, kRelativeAxes);
  if (!CreateDevice(kernel, fd, kKeyboardIdentity, kKeyboardName, 0)) {
    return -1;
  }
  return fd;
}

void AppendKey(std::vector<input_event>& batch, uint16_t code, int32_t value) {
  if (code != 0) {
    batch.push_back(MakeEvent(EV_KEY, code, value));
  }
}

std::vector<input_event> ChordPressBatch(const std::vector<uint16_t>& modifiers,
                                         uint16_t key) {
  std::vector<input_event> batch;
  batch.reserve(modifiers.size() + 2);
  for (uint16_t modifier : modifiers) {
    AppendKey(batch, modifier, 1);
  }
  AppendKey(batch, key, 1);
  batch.push_back(SynReport());
  return batch;
}

std::vector<input_event> ChordReleaseBatch(
    const std::vector<uint16_t>& modifiers,
    uint16_t key) {
  std::vector<input_event> batch;
  batch.reserve(modifiers.size() + 2);
  AppendKey(batch, key, 0);
  for (auto modifier = modifiers.rbegin(); modifier != modifiers.rend();
       ++modifier) {
    AppendKey(batch, *modifier, 0);
  }
  batch.push_back(SynReport());
  return batch;
}

}  // namespace

MacroKeyboard::MacroKeyboard(KernelCalls& kernel) : kernel_(kernel) {}

MacroKeyboard::~MacroKeyboard() {
  std::lock_guard<std::mutex> lock(mutex_);
  DestroyDevice(kernel_, fd_);
}

bool MacroKeyboard::EnsureDeviceLocked() {
  if (fd_ >= 0) {
    return true;
  }
  const int fd = CreateKeyboardDevice(kernel_);
  if (fd < 0) {
    return false;
  }
  std::this_thread::sleep_for(kNewDeviceSettleTime);
  fd_ = fd;
  return true;
}

bool MacroKeyboard::SendKeyChord(const std::vector<uint16_t>& modifiers,
                                 uint16_t key) {
  if (key == 0) {
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (!EnsureDeviceLocked()) {
    return false;
  }
  const std::vector<input_event> press = ChordPressBatch(modifiers, key);
  if (!WriteBatch(kernel_, fd_, press.data(), press.size())) {
    return false;
  }
  std::this_thread::sleep_for(kChordHoldTime);
  const std::vector<input_event> release = ChordReleaseBatch(modifiers, key);
  return WriteBatch(kernel_, fd_, release.data(), release.size());
}

bool MacroKeyboard::SendMouseButton(uint16_t button, bool pressed) {
  if (button == 0) {
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (!EnsureDeviceLocked()) {
    return false;
  }
  const input_event batch[] = {MakeEvent(EV_KEY, button, pressed ? 1 : 0),
                               SynReport()};
  return WriteBatch(kernel_, fd_, batch, 2);
}

}  // namespace korvane_bridge
