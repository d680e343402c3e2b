// For tests: a press sink that writes down what it is told, as short text
// ("8:Ctrl" for ANSI key 8 with Control held, "click"), so that a failure
// shows the whole sequence.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "input/evdev/presses.h"
#include "input/key_names.h"

namespace quorvane::input::evdev::testing {

using Calls = std::vector<std::string>;

struct Told final : PressSink {
  Calls calls;
  Outcome keyDown(std::int64_t ansiKeyCode, std::uint64_t flags) override {
    std::string held;
    for (auto [flag, name] : {std::pair{kFlagCommand, "Cmd"}, {kFlagControl, "Ctrl"}, {kFlagOption, "Alt"},
                              {kFlagShift, "Shift"}}) {
      if (flags & flag) held += held.empty() ? name : std::string("+") + name;
    }
    calls.push_back(std::to_string(ansiKeyCode) + ":" + held);
    return std::nullopt;
  }
  Outcome buttonDown() override {
    calls.push_back("click");
    return std::nullopt;
  }
};

}  // namespace quorvane::input::evdev::testing
