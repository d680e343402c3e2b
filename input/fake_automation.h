// In-process stand-ins for applications, accessibility, synthetic events and
// command input, for the focusing and auto-scroll unit tests. Each records
// what the core asked and answers what the test set, and may run a hook to
// change the fake world in between (a window raised by activation, a user
// moving the pointer, a window closing between two steps).
#pragma once

#include <deque>
#include <functional>
#include <set>

#include "input/automation_platform.h"

namespace quorvane::input {

class FakeApplications : public Applications {
 public:
  bool running(std::int32_t pid) override { return runningPids.count(pid) > 0; }
  void activate(std::int32_t pid) override {
    activated.push_back(pid);
    if (onActivate) onActivate(pid);
  }
  std::optional<std::int32_t> frontmostPid() override { return frontmost; }

  std::set<std::int32_t> runningPids;
  std::optional<std::int32_t> frontmost;
  std::vector<std::int32_t> activated;
  std::function<void(std::int32_t)> onActivate;
};

class FakeAccessibility : public Accessibility {
 public:
  bool trusted() override {
    ++calls;
    return isTrusted;
  }
  std::optional<std::vector<AccessibilityWindow>> windows(std::int32_t) override {
    ++calls;
    return appWindows;
  }
  bool raise(const AccessibilityWindow& w) override {
    ++calls;
    raised.push_back(w.handle);
    if (onRaise) onRaise(w);
    return raiseWorks;
  }
  std::optional<std::int32_t> pidAt(Point p) override {
    hitTests.push_back(p);
    return hitPid;
  }

  bool isTrusted = true;
  std::optional<std::vector<AccessibilityWindow>> appWindows = std::vector<AccessibilityWindow>{};
  bool raiseWorks = true;
  std::optional<std::int32_t> hitPid;
  std::vector<std::uint64_t> raised;
  std::vector<Point> hitTests;
  std::function<void(const AccessibilityWindow&)> onRaise;
  int calls = 0;  // trust, window list and raise: the accessibility path
};

class FakeEvents : public SyntheticEvents {
 public:
  bool postAccess() override { return canPost; }
  void requestPostAccess() override { ++postRequests; }
  std::optional<Point> pointerLocation() override { return pointer; }
  bool movePointer(Point to) override {
    if (!canMove) return false;
    moves.push_back(to);
    pointer = to;
    return true;
  }
  WheelResult scrollWheel(Point at, int pixels, std::uint32_t target) override {
    if (wheelResult == WheelResult::Posted) wheels.push_back({at, pixels, target});
    return wheelResult;
  }

  struct Wheel {
    Point at;
    int pixels;
    std::uint32_t target;
  };
  bool canPost = true;
  bool canMove = true;
  int postRequests = 0;
  std::optional<Point> pointer = Point{5, 5};
  std::vector<Point> moves;
  std::vector<Wheel> wheels;
  WheelResult wheelResult = WheelResult::Posted;
};

// Lines queued by the test; the end of the queue is end of input unless
// `silentAtEnd`, which makes the wait time out instead.
class FakeCommands : public CommandInput {
 public:
  InputWait wait(int timeoutMs) override {
    waits.push_back(timeoutMs);
    if (beforeWait) beforeWait(static_cast<int>(waits.size()));
    if (waitError) return {-1, false};
    if (lines.empty() && silentAtEnd) return {0, false};
    return {1, true};
  }
  std::optional<std::string> readLine() override {
    if (beforeRead) beforeRead(static_cast<int>(reads++));
    if (lines.empty()) return std::nullopt;
    std::string line = lines.front();
    lines.pop_front();
    return line;
  }

  std::deque<std::string> lines;
  bool silentAtEnd = false;
  bool waitError = false;
  std::vector<int> waits;
  size_t reads = 0;
  std::function<void(int)> beforeWait;  // called with the wait's ordinal (1 = the first)
  std::function<void(int)> beforeRead;  // called with the read's index (0 = the first)
};

}  // namespace quorvane::input
