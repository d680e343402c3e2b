// The in-process stand-in for the monitor's platform: displays, a pointer and
// a listening switch that tests set, with counters of what the core asked.
#pragma once

#include <map>

#include "input/monitor_platform.h"

namespace quorvane::input {

class FakeMonitorPlatform : public MonitorPlatform {
 public:
  Rect displayBounds(std::uint32_t displayId) override {
    ++displayCalls;
    auto it = displays.find(displayId);
    return it == displays.end() ? Rect{} : it->second;
  }
  std::optional<Point> pointerLocation() override { return pointer; }
  bool startListening() override {
    ++startCalls;
    return canListen;
  }
  bool listening() override { return alive; }

  std::map<std::uint32_t, Rect> displays;
  std::optional<Point> pointer = Point{10, 20};
  bool canListen = true;
  bool alive = true;
  int displayCalls = 0;
  int startCalls = 0;
};

}  // namespace quorvane::input
