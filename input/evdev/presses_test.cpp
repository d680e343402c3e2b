#include "input/evdev/presses.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <string>
#include <vector>

#include "input/evdev/told.h"
#include "input/key_names.h"

namespace quorvane::input::evdev {
namespace {

using testing::Calls;
using testing::Told;

Capabilities device(std::initializer_list<std::uint16_t> codes, bool direct = false) {
  Capabilities c;
  for (auto code : codes) c.keys.set(code);
  c.direct = direct;
  return c;
}

const Capabilities kKeyboard = device({KEY_A, KEY_C, KEY_V, KEY_9, KEY_KP1, KEY_LEFTCTRL, KEY_RIGHTCTRL});
const Capabilities kMouse = device({BTN_0, BTN_LEFT, BTN_RIGHT, BTN_MIDDLE, BTN_SIDE, BTN_EXTRA, BTN_TASK});
const Capabilities kTouchpad = device({BTN_LEFT, BTN_TOUCH, BTN_TOOL_FINGER, BTN_TOOL_DOUBLETAP});
const Capabilities kTouchscreen = device({BTN_TOUCH}, true);
const Capabilities kPen = device({BTN_TOUCH, BTN_TOOL_PEN, BTN_TOOL_RUBBER, BTN_STYLUS, BTN_STYLUS2});

KeyEvent down(std::uint64_t dev, std::uint16_t code) { return {dev, code, 1}; }
KeyEvent up(std::uint64_t dev, std::uint16_t code) { return {dev, code, 0}; }
KeyEvent repeat(std::uint64_t dev, std::uint16_t code) { return {dev, code, 2}; }

Calls told(const std::vector<KeyEvent>& events, const Capabilities& caps = kKeyboard) {
  Presses presses;
  Told sink;
  for (const auto& e : events) EXPECT_EQ(presses.handle(e, caps, sink), std::nullopt);
  return sink.calls;
}

// ANSI codes: A 0, C 8, V 9, the key 9 is 25.
TEST(PressesTest, KeysPressedWithTheModifiersHeldOnEveryKeyboard) {
  EXPECT_EQ(told({down(1, KEY_LEFTCTRL), down(1, KEY_C)}), Calls{"8:Ctrl"});
  EXPECT_EQ(told({down(1, KEY_LEFTCTRL), down(2, KEY_C)}), Calls{"8:Ctrl"});  // held on another keyboard
  EXPECT_EQ(told({down(1, KEY_LEFTCTRL), down(2, KEY_RIGHTCTRL), up(1, KEY_LEFTCTRL), down(2, KEY_C),
                  up(2, KEY_RIGHTCTRL), down(1, KEY_C)}),
            (Calls{"8:Ctrl", "8:"}));
  EXPECT_EQ(told({down(1, KEY_LEFTSHIFT), down(1, KEY_RIGHTSHIFT), up(1, KEY_LEFTSHIFT), down(1, KEY_A),
                  up(1, KEY_RIGHTSHIFT), down(1, KEY_A)}),
            (Calls{"0:Shift", "0:"}));
  EXPECT_EQ(told({down(1, KEY_LEFTMETA), down(1, KEY_LEFTCTRL), down(1, KEY_LEFTALT), down(1, KEY_LEFTSHIFT),
                  down(1, KEY_9)}),
            Calls{"25:Cmd+Ctrl+Alt+Shift"});
  // A key goes down, repeats while held, and its release says nothing; keys
  // without a position (keypad 1) and modifiers alone say nothing either.
  EXPECT_EQ(told({down(1, KEY_LEFTALT), down(1, KEY_LEFTCTRL), down(1, KEY_KP1), down(1, KEY_V), repeat(1, KEY_V),
                  repeat(1, KEY_V), up(1, KEY_V)}),
            (Calls{"9:Ctrl+Alt", "9:Ctrl+Alt", "9:Ctrl+Alt"}));
}

TEST(PressesTest, EachModifierKeyGivesItsFlag) {
  // Right Alt is AltGr on most layouts and Caps Lock is no modifier of shortcuts.
  Calls got;
  for (std::uint16_t key : {KEY_LEFTMETA, KEY_RIGHTMETA, KEY_LEFTCTRL, KEY_RIGHTCTRL, KEY_LEFTALT, KEY_RIGHTALT,
                            KEY_LEFTSHIFT, KEY_RIGHTSHIFT, KEY_CAPSLOCK}) {
    Calls one = told({down(1, key), down(1, KEY_A)});
    got.push_back(one.size() == 1 ? one[0] : "calls: " + std::to_string(one.size()));
  }
  EXPECT_EQ(got, (Calls{"0:Cmd", "0:Cmd", "0:Ctrl", "0:Ctrl", "0:Alt", "0:", "0:Shift", "0:Shift", "0:"}));
}

TEST(PressesTest, RestoredStateAndGoneDevicesChangeOnlyTheModifiers) {
  Presses presses;
  Told sink;
  presses.restore(1, KEY_LEFTCTRL, true);
  presses.restore(1, KEY_C, true);  // a key found held is not a press
  presses.restore(2, KEY_LEFTSHIFT, true);
  presses.restore(2, KEY_LEFTALT, true);
  presses.restore(2, KEY_LEFTALT, false);
  EXPECT_EQ(presses.flags(), kFlagControl | kFlagShift);
  presses.forget(1);
  EXPECT_EQ(presses.handle(down(2, KEY_C), kKeyboard, sink), std::nullopt);
  EXPECT_EQ(sink.calls, Calls{"8:Shift"});
}

TEST(PressesTest, ButtonsGoingDownAreClicksWhereTheyPointAtTheScreen) {
  // BTN_LEFT to BTN_TASK are a mouse's buttons; BTN_0 (below) and 0x118 (above) are not.
  EXPECT_EQ(told({down(3, BTN_LEFT), up(3, BTN_LEFT), down(3, BTN_RIGHT), down(3, BTN_MIDDLE), down(3, BTN_SIDE),
                  down(3, BTN_TASK), repeat(3, BTN_LEFT), down(3, BTN_0), down(3, BTN_TASK + 1)},
                 kMouse),
            (Calls{"click", "click", "click", "click", "click"}));
  EXPECT_EQ(told({down(3, BTN_TOUCH), down(3, BTN_TOOL_FINGER), down(3, BTN_LEFT)}, kTouchpad), Calls{"click"});
  EXPECT_EQ(told({down(3, BTN_TOUCH), up(3, BTN_TOUCH)}, kTouchscreen), Calls{"click"});
  EXPECT_EQ(told({down(3, BTN_TOOL_PEN), down(3, BTN_TOUCH), down(3, BTN_STYLUS)}, kPen), (Calls{"click", "click"}));
}

TEST(PressesTest, DevicesWorthListeningTo) {
  struct Case {
    const char* name;
    Capabilities caps;
    bool worth;
  };
  const std::vector<Case> cases = {
      {"keyboard", kKeyboard, true},
      {"modifiers alone", device({KEY_LEFTMETA}), true},
      {"mouse", kMouse, true},
      {"touchpad", kTouchpad, true},
      {"touchpad without a button", device({BTN_TOUCH, BTN_TOOL_FINGER}), false},
      {"touchscreen", kTouchscreen, true},
      {"pen", kPen, true},
      {"tablet pad", device({BTN_0, BTN_1, BTN_2}), false},
      {"gamepad", device({BTN_SOUTH, BTN_EAST, BTN_START}), false},
      {"power button", device({KEY_POWER}), false},
      {"volume keys", device({KEY_VOLUMEUP, KEY_VOLUMEDOWN, KEY_MUTE}), false},
      {"the ISO key alone", device({KEY_102ND}), true},
      {"nothing", device({}), false},
  };
  std::vector<std::string> expected, got;
  for (const auto& c : cases) {
    expected.push_back(std::string(c.name) + (c.worth ? ": yes" : ": no"));
    got.push_back(std::string(c.name) + (worthListening(c.caps) ? ": yes" : ": no"));
  }
  EXPECT_EQ(got, expected);
}

}  // namespace
}  // namespace quorvane::input::evdev
