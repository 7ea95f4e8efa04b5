#include "host/desktop_tools/deck_actions.h"

#include <linux/input-event-codes.h>

#include <cctype>
#include <cstdio>
#include <vector>

#include "host/desktop_tools/shell_command.h"

namespace korvane_bridge {

namespace {

constexpr int kVolumeStepPercent = 5;
constexpr size_t kCommandBufferSize = 128;

struct MediaCommand {
  const char* command_line;
  uint16_t fallback_key;
};
// In the order of the media actions.
constexpr MediaCommand kMediaCommands[] = {
    {"playerctl play-pause >/dev/null 2>&1", KEY_PLAYPAUSE},
    {"playerctl next >/dev/null 2>&1", KEY_NEXTSONG},
    {"playerctl previous >/dev/null 2>&1", KEY_PREVIOUSSONG},
};

struct FixedChord {
  std::vector<uint16_t> modifiers;
  uint16_t key;
};
// In the order of the fixed chord actions.
const FixedChord kFixedChords[] = {
    {{KEY_LEFTCTRL, KEY_LEFTSHIFT}, KEY_M},
    {{}, KEY_F12},
    {{KEY_LEFTALT}, KEY_F10},
    {{KEY_LEFTALT}, KEY_F9},
    {{KEY_LEFTSHIFT}, KEY_TAB},
    {{KEY_LEFTALT}, KEY_TAB},
    {{KEY_LEFTMETA}, KEY_D},
    {{}, KEY_F5},
    {{}, KEY_F9},
};

struct NamedKey {
  const char* name;
  uint16_t code;
};
constexpr NamedKey kNamedKeys[] = {
    {"F6", KEY_F6},         {"F7", KEY_F7},
    {"F8", KEY_F8},         {"F9", KEY_F9},
    {"F10", KEY_F10},       {"F11", KEY_F11},
    {"F12", KEY_F12},       {"SPACE", KEY_SPACE},
    {"TAB", KEY_TAB},       {"ENTER", KEY_ENTER},
    {"RETURN", KEY_ENTER},  {"ESC", KEY_ESC},
    {"ESCAPE", KEY_ESC},    {"BACKSPACE", KEY_BACKSPACE},
    {"UP", KEY_UP},         {"DOWN", KEY_DOWN},
    {"LEFT", KEY_LEFT},     {"RIGHT", KEY_RIGHT},
};

// The key codes follow the keyboard's layout, not the alphabet.
constexpr uint16_t kDigitKeys[] = {KEY_0, KEY_1, KEY_2, KEY_3, KEY_4,
                                   KEY_5, KEY_6, KEY_7, KEY_8, KEY_9};
constexpr uint16_t kLetterKeys[] = {
    KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I,
    KEY_J, KEY_K, KEY_L, KEY_M, KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R,
    KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z};

constexpr uint32_t kLastMediaAction =
    KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_MEDIA_PREVIOUS;
constexpr uint32_t kLastAudioAction =
    KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_MUTE_TOGGLE;
constexpr uint32_t kFirstFixedChord =
    KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CHORD_CTRL_SHIFT_M;
constexpr uint32_t kLastFixedChord =
    KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CHORD_F9;

// PipeWire first; PulseAudio in the same shell line when it is not there.
// Raising stops at 100 % on PipeWire.
bool StepLinuxMasterVolume(int delta) {
  char command_line[kCommandBufferSize];
  if (delta >= 0) {
    snprintf(command_line, sizeof command_line,
             "wpctl set-volume -l 1.0 @DEFAULT_AUDIO_SINK@ %d%%+ >/dev/null "
             "2>&1 || pactl set-sink-volume @DEFAULT_SINK@ +%d%% >/dev/null "
             "2>&1",
             delta, delta);
  } else {
    snprintf(command_line, sizeof command_line,
             "wpctl set-volume @DEFAULT_AUDIO_SINK@ %d%%- >/dev/null 2>&1 || "
             "pactl set-sink-volume @DEFAULT_SINK@ -%d%% >/dev/null 2>&1",
             -delta, -delta);
  }
  return RunShellCommandSucceeds(command_line);
}

bool ToggleLinuxMasterMute() {
  return RunShellCommandSucceeds(
      "wpctl set-mute @DEFAULT_AUDIO_SINK@ toggle >/dev/null 2>&1 || pactl "
      "set-sink-mute @DEFAULT_SINK@ toggle >/dev/null 2>&1");
}

bool RunAudioAction(KorvaneBridgeNativeDeckActionType action) {
  switch (action) {
    case KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_UP:
      return StepLinuxMasterVolume(kVolumeStepPercent);
    case KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_DOWN:
      return StepLinuxMasterVolume(-kVolumeStepPercent);
    default:
      return ToggleLinuxMasterMute();
  }
}

uint16_t AudioFallbackKey(KorvaneBridgeNativeDeckActionType action) {
  switch (action) {
    case KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_UP:
      return KEY_VOLUMEUP;
    case KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_VOLUME_DOWN:
      return KEY_VOLUMEDOWN;
    default:
      return KEY_MUTE;
  }
}

bool TypeCustomChord(KorvaneBridgeNativeDeckActionRequest* request,
                     UinputPadBackend& backend) {
  std::vector<uint16_t> modifiers;
  if (korvane_bridge_native_deck_action_request_get_ctrl_modifier(request)) {
    modifiers.push_back(KEY_LEFTCTRL);
  }
  if (korvane_bridge_native_deck_action_request_get_alt_modifier(request)) {
    modifiers.push_back(KEY_LEFTALT);
  }
  if (korvane_bridge_native_deck_action_request_get_shift_modifier(request)) {
    modifiers.push_back(KEY_LEFTSHIFT);
  }
  if (korvane_bridge_native_deck_action_request_get_meta_modifier(request)) {
    modifiers.push_back(KEY_LEFTMETA);
  }
  const gchar* key =
      korvane_bridge_native_deck_action_request_get_custom_key_code(request);
  // An unmapped key is code 0, which types nothing and fails the chord.
  return backend.SendKeyChord(
      modifiers, MapCustomKeyStringToLinuxKey(key != nullptr ? key : ""));
}

}  // namespace

bool ExecuteLinuxDeckAction(KorvaneBridgeNativeDeckActionRequest* request,
                            UinputPadBackend& backend,
                            SystemTelemetry& telemetry) {
  if (request == nullptr) {
    return false;
  }
  const auto action =
      korvane_bridge_native_deck_action_request_get_action_type(request);
  // Unsigned, so that negative values are out of range too.
  const auto index = static_cast<uint32_t>(action);
  if (index <= kLastMediaAction) {
    const MediaCommand& media = kMediaCommands[index];
    if (!RunShellCommandSucceeds(media.command_line)) {
      return backend.SendKeyChord({}, media.fallback_key);
    }
    telemetry.ReadLinuxMprisMedia();
    return true;
  }
  if (index <= kLastAudioAction) {
    const bool done = RunAudioAction(action) ||
                      backend.SendKeyChord({}, AudioFallbackKey(action));
    telemetry.RefreshAudioAndCpuSnapshotNow();
    return done;
  }
  if (index <= kLastFixedChord) {
    const FixedChord& chord = kFixedChords[index - kFirstFixedChord];
    return backend.SendKeyChord(chord.modifiers, chord.key);
  }
  if (index == KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CUSTOM_CHORD) {
    return TypeCustomChord(request, backend);
  }
  return false;
}

uint16_t MapCustomKeyStringToLinuxKey(const std::string& key) {
  std::string upper = key;
  for (char& c : upper) {
    c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  }
  if (upper.size() == 1) {
    const char c = upper[0];
    if (c >= '0' && c <= '9') {
      return kDigitKeys[c - '0'];
    }
    if (c >= 'A' && c <= 'Z') {
      return kLetterKeys[c - 'A'];
    }
    return 0;
  }
  if (upper.size() == 2 && upper[0] == 'F' && upper[1] >= '1' &&
      upper[1] <= '5') {
    return static_cast<uint16_t>(KEY_F1 + (upper[1] - '1'));
  }
  for (const NamedKey& named : kNamedKeys) {
    if (upper == named.name) {
      return named.code;
    }
  }
  return 0;
}

}  // namespace korvane_bridge
