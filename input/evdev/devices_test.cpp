// The evdev devices read through libevdev, on devices umockdev emulates for
// this process (the program runs itself again under its preload library).
#include "input/evdev/devices.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "input/evdev/emulated_input.h"
#include "input/evdev/told.h"

namespace quorvane::input::evdev {
namespace {

using testing::Calls;
using testing::EmulatedDevice;
using testing::EmulatedInput;
using testing::Told;

class EvdevDevicesTest : public ::testing::Test {
 protected:
  // Waits on the descriptor and drains until the condition holds; false
  // after five seconds without it.
  bool until(const std::function<bool()>& done) {
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + seconds(5);
    while (!done()) {
      const auto left = duration_cast<milliseconds>(deadline - steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{devices_.descriptor(), POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) > 0) {
        EXPECT_EQ(devices_.drain(told_), std::nullopt);
      }
    }
    return true;
  }
  bool told(std::size_t count) {
    return until([&] { return told_.calls.size() >= count; });
  }
  bool open(std::size_t count) {
    return until([&] { return devices_.openDevices() == count; });
  }
  // Drains until nothing is left to read.
  void settle() {
    pollfd p{devices_.descriptor(), POLLIN, 0};
    if (poll(&p, 1, 5000) <= 0) return;
    do {
      EXPECT_EQ(devices_.drain(told_), std::nullopt);
    } while (poll(&p, 1, 0) > 0);
  }

  EmulatedInput input_;
  InputDevices devices_;
  Told told_;
};

// ANSI codes: A 0, C 8, V 9, the key 9 is 25.
TEST_F(EvdevDevicesTest, ReadsKeysAndClicksOfEveryKeyboardAndPointer) {
  const int keyboard = input_.add(EmulatedDevice::keyboard());
  const int mouse = input_.add(EmulatedDevice::mouse());
  input_.add(EmulatedDevice::powerButton());
  ASSERT_TRUE(devices_.start());
  EXPECT_EQ(devices_.openDevices(), 2u);  // the power button presses nothing the monitor reports

  input_.key(keyboard, KEY_LEFTCTRL, 1);
  input_.key(keyboard, KEY_LEFTSHIFT, 1);
  input_.key(keyboard, KEY_9, 1);
  input_.key(keyboard, KEY_9, 2);
  input_.key(keyboard, KEY_9, 0);
  ASSERT_TRUE(told(2));
  input_.key(mouse, BTN_LEFT, 1);
  input_.key(mouse, BTN_LEFT, 0);
  input_.send(mouse, {testing::stamped(EV_REL, REL_WHEEL, -1), testing::stamped(EV_SYN, SYN_REPORT, 0)});
  input_.key(mouse, BTN_RIGHT, 1);
  ASSERT_TRUE(told(4));
  input_.key(keyboard, KEY_LEFTCTRL, 0);
  input_.key(keyboard, KEY_LEFTSHIFT, 0);
  input_.key(keyboard, KEY_A, 1);
  ASSERT_TRUE(told(5));
  EXPECT_EQ(told_.calls, (Calls{"25:Ctrl+Shift", "25:Ctrl+Shift", "click", "click", "0:"}));
}

TEST_F(EvdevDevicesTest, FollowsDevicesAddedAndRemovedWhileListening) {
  const int keyboard = input_.add(EmulatedDevice::keyboard());
  ASSERT_TRUE(devices_.start());
  ASSERT_EQ(devices_.openDevices(), 1u);

  const int mouse = input_.add(EmulatedDevice::mouse());
  ASSERT_TRUE(open(2));
  input_.key(mouse, BTN_MIDDLE, 1);
  ASSERT_TRUE(told(1));
  input_.remove(mouse);
  ASSERT_TRUE(open(1));

  // Touching a touchscreen clicks; touching a touchpad only moves the pointer.
  const int screen = input_.add(EmulatedDevice::touchscreen());
  const int pad = input_.add(EmulatedDevice::touchpad());
  ASSERT_TRUE(open(3));
  input_.key(pad, BTN_TOUCH, 1);
  input_.key(pad, BTN_LEFT, 1);
  input_.key(screen, BTN_TOUCH, 1);
  ASSERT_TRUE(told(3));

  // A mouse that can be read only once udev has set up its file.
  const int late = input_.addUnreadable(EmulatedDevice::mouse());
  input_.key(keyboard, KEY_B, 1);
  ASSERT_TRUE(told(4));  // read with the notice of the new file, or after it
  EXPECT_EQ(devices_.openDevices(), 3u);
  input_.makeReadable(late);
  ASSERT_TRUE(open(4));
  input_.key(late, BTN_LEFT, 1);
  ASSERT_TRUE(told(5));

  // A keyboard plugged in with Control held: held from the start.
  EmulatedDevice holding = EmulatedDevice::keyboard();
  holding.held = {KEY_LEFTCTRL};
  input_.add(holding);
  ASSERT_TRUE(open(5));
  input_.key(keyboard, KEY_A, 1);
  ASSERT_TRUE(told(6));
  EXPECT_EQ(told_.calls, (Calls{"click", "click", "click", "11:", "click", "0:Ctrl"}));
}

TEST_F(EvdevDevicesTest, ADeviceThatVanishesMidReadIsDroppedWithTheKeysItHeld) {
  const int first = input_.add(EmulatedDevice::keyboard());
  const int second = input_.add(EmulatedDevice::keyboard());
  ASSERT_TRUE(devices_.start());
  input_.key(first, KEY_LEFTCTRL, 1);
  input_.key(second, KEY_A, 1);
  ASSERT_TRUE(told(1));

  input_.hangUp(first);
  ASSERT_TRUE(open(1));
  input_.send(second, {testing::stamped(EV_KEY, KEY_C, 1)});  // the last bytes sent: read once told
  ASSERT_TRUE(told(2));
  EXPECT_EQ(told_.calls, (Calls{"0:Ctrl", "8:"}));
  pollfd p{devices_.descriptor(), POLLIN, 0};
  EXPECT_EQ(poll(&p, 1, 0), 0);  // nothing left that wakes the loop again and again
}

TEST_F(EvdevDevicesTest, KeysReadBackAfterLostEventsSetTheModifiersAndPressNothing) {
  // The device's own state, when it is opened and after the lost events: Control and C down.
  EmulatedDevice holding = EmulatedDevice::keyboard();
  holding.held = {KEY_LEFTCTRL, KEY_C};
  const int keyboard = input_.add(holding);
  ASSERT_TRUE(devices_.start());
  input_.key(keyboard, KEY_LEFTCTRL, 0);
  input_.key(keyboard, KEY_C, 0);
  input_.key(keyboard, KEY_A, 1);
  ASSERT_TRUE(told(1));
  // Control and C went down again among the events the kernel dropped.
  input_.dropped(keyboard);
  settle();
  input_.key(keyboard, KEY_V, 1);
  ASSERT_TRUE(told(2));
  EXPECT_EQ(told_.calls, (Calls{"0:", "9:Ctrl"}));
}

TEST_F(EvdevDevicesTest, EventsOfSeveralDevicesAreToldInTheOrderTheyHappened) {
  const int letters = input_.add(EmulatedDevice::keyboard());
  const int modifiers = input_.add(EmulatedDevice::keyboard());
  ASSERT_TRUE(devices_.start());
  // One keyboard as two devices, read after both had events: Control first.
  const auto control = testing::stamped(EV_KEY, KEY_LEFTCTRL, 1);
  auto c = testing::stamped(EV_KEY, KEY_C, 1);
  c.input_event_sec += 1;  // two stamps in a row may fall in the same microsecond
  input_.send(letters, {c, testing::stamped(EV_SYN, SYN_REPORT, 0)});
  input_.send(modifiers, {control, testing::stamped(EV_SYN, SYN_REPORT, 0)});
  // Both devices readable, nothing drained yet (epoll answers as soon as one is).
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  epoll_event ready[4];
  while (epoll_wait(devices_.descriptor(), ready, 4, 10) != 2 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  ASSERT_TRUE(told(1));
  EXPECT_EQ(told_.calls, Calls{"8:Ctrl"});
}

TEST_F(EvdevDevicesTest, ABurstIsReadInBoundedStepsWithoutLosingAPress) {
  const int keyboard = input_.add(EmulatedDevice::keyboard());
  ASSERT_TRUE(devices_.start());
  constexpr std::size_t kPresses = 40;  // 163 events, more than one drain reads from a device
  std::vector<input_event> burst{testing::stamped(EV_KEY, KEY_LEFTMETA, 1), testing::stamped(EV_SYN, SYN_REPORT, 0)};
  for (std::size_t i = 0; i < kPresses; ++i) {
    for (int value : {1, 0}) {
      burst.push_back(testing::stamped(EV_KEY, KEY_Q, value));
      burst.push_back(testing::stamped(EV_SYN, SYN_REPORT, 0));
    }
  }
  burst.push_back(testing::stamped(EV_KEY, KEY_W, 1));  // the last bytes sent: all is read once it is told
  input_.send(keyboard, burst);
  int drains = 0;
  for (pollfd p{devices_.descriptor(), POLLIN, 0}; told_.calls.size() <= kPresses && poll(&p, 1, 5000) > 0; ++drains) {
    ASSERT_EQ(devices_.drain(told_), std::nullopt);
  }
  Calls expected(kPresses, "12:Cmd");
  expected.push_back("13:Cmd");
  EXPECT_EQ(told_.calls, expected);
  EXPECT_GE(drains, 3);
  // Once everything is read, nothing wakes the loop again and again.
  pollfd p{devices_.descriptor(), POLLIN, 0};
  for (int more = 0; more < 10 && poll(&p, 1, 0) > 0; ++more) {
    ASSERT_EQ(devices_.drain(told_), std::nullopt);
  }
  EXPECT_EQ(poll(&p, 1, 0), 0);
}

TEST_F(EvdevDevicesTest, ListeningNeedsAKeyboardOrPointerThatCanBeRead) {
  std::vector<bool> can{canListen()};  // no device at all
  input_.add(EmulatedDevice::powerButton());
  can.push_back(canListen());
  input_.add(EmulatedDevice::touchpad());
  can.push_back(canListen());
  EXPECT_EQ(can, (std::vector<bool>{false, false, true}));
  EXPECT_EQ(canListen("/nonexistent"), false);
  InputDevices elsewhere("/nonexistent");
  EXPECT_EQ(std::pair(elsewhere.start(), elsewhere.listening()), std::pair(false, false));
}

}  // namespace
}  // namespace quorvane::input::evdev

int main(int argc, char** argv) {
  quorvane::input::evdev::testing::runUnderUmockdev(argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
