#ifndef TESTS_INPUT_INPUT_TEST_SUPPORT_H_
#define TESTS_INPUT_INPUT_TEST_SUPPORT_H_

#include <glib-object.h>
#include <stdint.h>

#include <memory>

#include "input/frame_translation.h"
#include "pigeon/korvane_bridge_records.h"

namespace input_testing {

using FramePtr = std::unique_ptr<KorvaneBridgeVirtualControllerFrame,
                                 decltype(&g_object_unref)>;

// Sticks centred, nothing pressed.
inline korvane_bridge::FrameControls RestingControls(int64_t player_number) {
  korvane_bridge::FrameControls controls{};
  controls.player_number = player_number;
  controls.left_stick_x = controls.left_stick_y = 128;
  controls.right_stick_x = controls.right_stick_y = 128;
  return controls;
}

// Motion, touch and time stamp zero: the gamepad has no use for them.
inline FramePtr NewFrame(const korvane_bridge::FrameControls& c) {
  return FramePtr(
      korvane_bridge_virtual_controller_frame_new(
          c.player_number, c.button_mask1, c.button_mask2, c.home_button,
          c.touch_click_button, c.left_stick_x, c.left_stick_y, c.right_stick_x,
          c.right_stick_y, c.l2_analog, c.r2_analog, 0, 0, 0, 0, 0, 0, 0, false,
          0, 0, 0, false, 0, 0, 0),
      g_object_unref);
}

}  // namespace input_testing

#endif  // TESTS_INPUT_INPUT_TEST_SUPPORT_H_
