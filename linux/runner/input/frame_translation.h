#ifndef LINUX_RUNNER_INPUT_FRAME_TRANSLATION_H_
#define LINUX_RUNNER_INPUT_FRAME_TRANSLATION_H_

// Turns one controller frame from the handheld into the full state report of
// a virtual gamepad, in its persona's layout. Stateless: every report repeats
// every key and axis of the layout, so a dropped report is repaired by the
// next one.

#include <linux/input.h>
#include <stdint.h>

#include <array>

#include "input/gamepad_layout.h"
#include "pigeon/korvane_bridge_records.h"

namespace korvane_bridge {

// The parts of a frame that reach the gamepad. Motion, touch points and the
// time stamp have nowhere to go on the virtual device.
struct FrameControls {
  int64_t player_number;
  int64_t button_mask1;
  int64_t button_mask2;
  bool home_button;
  bool touch_click_button;
  int64_t left_stick_x;
  int64_t left_stick_y;
  int64_t right_stick_x;
  int64_t right_stick_y;
  int64_t l2_analog;
  int64_t r2_analog;
};

// The layout's keys, then its axes, then the closing synchronisation report.
struct GamepadReport {
  std::array<input_event, kMaxLayoutKeys + kMaxLayoutAxes + 1> events;
  size_t count;
};

FrameControls ReadFrameControls(KorvaneBridgeVirtualControllerFrame* frame);

GamepadReport TranslateControls(const FrameControls& controls,
                                const GamepadLayout& layout);

// Maps the frame's 0..255 stick scale (centre 128) onto an axis range that
// holds 0, so that both ends reach the axis limits exactly.
int32_t ScaleStick(int64_t value, int32_t minimum, int32_t maximum);

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_INPUT_FRAME_TRANSLATION_H_
