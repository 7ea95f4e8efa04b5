#ifndef LINUX_RUNNER_INPUT_FRAME_TRANSLATION_H_
#define LINUX_RUNNER_INPUT_FRAME_TRANSLATION_H_

// Turns one controller frame from the handheld into the full state report of
// a virtual gamepad. Stateless: every report repeats all 13 buttons and 8
// axes, so a dropped report is repaired by the next one.

#include <linux/input.h>
#include <stdint.h>

#include <array>

#include "korvane_bridge_records.h"

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

// 13 buttons, 8 axes and the closing synchronisation report.
inline constexpr size_t kGamepadReportEvents = 22;
using GamepadReport = std::array<input_event, kGamepadReportEvents>;

FrameControls ReadFrameControls(KorvaneBridgeVirtualControllerFrame* frame);

GamepadReport TranslateControls(const FrameControls& controls);

// Maps the frame's 0..255 stick scale (centre 128) onto -32768..32767 so that
// both ends reach the axis limits exactly.
int32_t ScaleStick(int64_t value);

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_INPUT_FRAME_TRANSLATION_H_
