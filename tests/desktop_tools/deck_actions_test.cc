// Deck presses through the host bridge on the fake kernel. Media and volume
// buttons against the real tools are real_tools_test's; their fallback keys
// and a chord read from the virtual keyboard's node are
// ProgramInGuestTest's.
#include "host/desktop_tools/deck_actions.h"

#include <gtest/gtest.h>
#include <linux/input.h>

#include <memory>
#include <vector>

#include "host_bridge_harness.h"
#include "input_test_support.h"

namespace {

using flutter_testing::InProcessDart;
using host_testing::DeckPress;
using host_testing::Method;

using Keys = std::vector<std::pair<uint16_t, int32_t>>;

// The keys written to the `index`th device opened, in order.
Keys KeysOf(const input_testing::FakeKernel& kernel, size_t index = 0) {
  const auto calls = kernel.Calls();
  Keys keys;
  for (const auto& batch : input_testing::Batches(
           calls, input_testing::OpenedDescriptors(calls).at(index))) {
    for (const input_event& event : batch) {
      if (event.type == EV_KEY) {
        keys.emplace_back(event.code, event.value);
      }
    }
  }
  return keys;
}

class DeckActionsTest : public ::testing::Test,
                        protected host_testing::HostBridgeHarness {
 protected:
  bool Press(int action, const gchar* key = nullptr, bool modifiers = false) {
    return CallBool(Method("triggerDeckAction"),
                    DeckPress(action, key, modifiers));
  }
};

TEST_F(DeckActionsTest, ChordsPressTheirModifiersAndKey) {
  // Unmapped keys (DeckKeyNamesTest's) and unknown actions type nothing.
  EXPECT_FALSE(
      Press(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CUSTOM_CHORD, "F13", true));
  EXPECT_FALSE(Press(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CUSTOM_CHORD));
  for (int action : {16, -1, 1000}) {
    EXPECT_FALSE(Press(action)) << action;
  }
  EXPECT_TRUE(kernel_.Calls().empty());

  ASSERT_TRUE(
      Press(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CUSTOM_CHORD, "a", true));
  // The last fixed chord: a table out of step with the action values shows
  // there (the first is ProgramInGuestTest's).
  EXPECT_TRUE(Press(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CHORD_F9));
  // Released in reverse, in reports of their own: KernelMacroKeyboardTest's.
  const Keys keys = KeysOf(kernel_);
  ASSERT_EQ(keys.size(), 12u);
  EXPECT_EQ(Keys(keys.begin(), keys.begin() + 5), (Keys{{KEY_LEFTCTRL, 1},
                                                        {KEY_LEFTALT, 1},
                                                        {KEY_LEFTSHIFT, 1},
                                                        {KEY_LEFTMETA, 1},
                                                        {KEY_A, 1}}));
  EXPECT_EQ(keys[10], Keys::value_type(KEY_F9, 1));
}

TEST(DeckKeyNamesTest, NamesInAnyCase) {
  const struct {
    const char* name;
    uint16_t code;
  } cases[] = {
      {"esc", KEY_ESC},     {"Escape", KEY_ESC},  {"Return", KEY_ENTER},
      {"enter", KEY_ENTER}, {"q", KEY_Q},         {"Q", KEY_Q},
      {"z", KEY_Z},         {"1", KEY_1},         {"0", KEY_0},
      {"F1", KEY_F1},       {"f5", KEY_F5},       {"F6", KEY_F6},
      {"f11", KEY_F11},     {"space", KEY_SPACE}, {"BackSpace", KEY_BACKSPACE},
      {"right", KEY_RIGHT},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(korvane_bridge::MapCustomKeyStringToLinuxKey(c.name), c.code)
        << c.name;
  }
  for (const char* unmapped :
       {"", " a", "a ", "-", "HOME", "PAGEUP", "F13", "F0"}) {
    EXPECT_EQ(korvane_bridge::MapCustomKeyStringToLinuxKey(unmapped), 0)
        << "'" << unmapped << "'";
  }
}

// Controller frames keep flowing while a chord holds the keyboard: neither
// the main thread nor the gamepads wait for it. Presses that come meanwhile
// wait, and run in the order they came.
TEST(DeckActionsThreadsTest, FramesNeverWaitForAChordAndPressesKeepTheirOrder) {
  // The keyboard holds the F12 press until the test lets it go.
  struct HeldChordKernel : input_testing::FakeKernel {
    ssize_t Write(int fd, const void* data, size_t size) override {
      const auto* event = static_cast<const input_event*>(data);
      if (event->type == EV_KEY && event->code == KEY_F12 && event->value) {
        chord.Pass();
      }
      return FakeKernel::Write(fd, data, size);
    }
    host_testing::Gate chord;
  } kernel;
  InProcessDart dart;
  korvane_bridge::KorvaneLinuxBridge bridge(dart.messenger(), kernel);
  // Also when an assertion ends the test early: the bridge waits for the
  // chord when it goes.
  struct OpenAtEnd {
    host_testing::Gate& gate;
    ~OpenAtEnd() { gate.Open(); }
  } open_at_end{kernel.chord};
  g_autoptr(FlValue) mounted = host_testing::Element(
      dart.Call(Method("mountVirtualController"), host_testing::MountPad(1))
          .value_or(host_testing::Bytes{}));
  ASSERT_TRUE(fl_value_get_type(mounted) == FL_VALUE_TYPE_BOOL &&
              fl_value_get_bool(mounted));
  const int pad = input_testing::OpenedDescriptors(kernel.Calls()).front();

  std::vector<std::shared_ptr<const InProcessDart::Reply>> presses = {
      dart.Send(Method("triggerDeckAction"),
                DeckPress(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CHORD_F12))};
  ASSERT_TRUE(
      InProcessDart::RunUntil([&] { return kernel.chord.Arrivals() > 0; }));
  Keys expected = {{KEY_F12, 1}, {KEY_F12, 0}};
  const std::pair<const char*, uint16_t> keys[] = {
      {"x", KEY_X}, {"b", KEY_B}, {"7", KEY_7}, {"a", KEY_A}};
  for (const auto& [name, code] : keys) {
    presses.push_back(dart.Send(
        Method("triggerDeckAction"),
        DeckPress(KORVANE_BRIDGE_NATIVE_DECK_ACTION_TYPE_CUSTOM_CHORD, name)));
    expected.insert(expected.end(), {{code, 1}, {code, 0}});
  }

  constexpr int kFrames = 50;
  const host_testing::Bytes frame = host_testing::RecordArgument(
      korvane_bridge_virtual_controller_frame_type_id,
      input_testing::NewFrame(input_testing::RestingControls(1)).release());
  for (int i = 0; i < kFrames; ++i) {
    ASSERT_TRUE(dart.Call(Method("pushControllerFrame"), frame));
  }
  EXPECT_EQ(input_testing::Batches(kernel.Calls(), pad).size(),
            static_cast<size_t>(kFrames));
  EXPECT_FALSE(presses[0]->answered);

  kernel.chord.Open();
  ASSERT_TRUE(
      InProcessDart::RunUntil([&] { return presses.back()->answered; }));
  EXPECT_EQ(KeysOf(kernel, 1), expected);
  for (const auto& press : presses) {
    g_autoptr(FlValue) done = host_testing::Element(press->bytes);
    EXPECT_TRUE(press->answered && fl_value_get_bool(done));
  }
}

}  // namespace
