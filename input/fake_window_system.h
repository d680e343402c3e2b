// The in-process window system for unit tests: any window list, malformed
// entries included, a pointer, applications and hooks that change the fake
// world in between (a window raised by activation, a user moving the
// pointer), with records of what the core asked.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>

#include "common/fake_process.h"
#include "input/answer.h"
#include "input/window_system.h"

namespace quorvane::input {

class FakeWindowSystem : public WindowSystem {
 public:
  std::optional<WindowList> onScreenWindows() override {
    if (beforeList) beforeList(++listCalls);
    return onScreen;
  }
  std::optional<WindowList> windowById(std::uint32_t number) override {
    ++lookupCalls;
    if (unreadable) return std::nullopt;
    auto it = byId.find(number);
    return it == byId.end() ? WindowList{} : WindowList{it->second};
  }

  bool running(std::int32_t pid) override { return runningPids.count(pid) > 0; }
  void activate(std::int32_t pid) override {
    activated.push_back(pid);
    if (onActivate) onActivate(pid);
  }
  std::optional<std::int32_t> frontmostPid() override { return frontmost; }

  bool accessibilityTrusted() override { return ++accessibilityCalls, trusted; }
  std::optional<std::vector<AccessibilityWindow>> accessibilityWindows(std::int32_t) override {
    return ++accessibilityCalls, appWindows;
  }
  bool raise(const AccessibilityWindow& w) override {
    raised.push_back(w.handle);
    if (onRaise) onRaise(w);
    return raiseWorks;
  }
  std::optional<std::int32_t> pidAt(Point) override { return hitPid; }

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

  bool listenAccess() override { return canListen; }
  void requestListenAccess() override { ++listenRequests; }
  Rect displayBounds(std::uint32_t id) override { return displays.count(id) ? displays[id] : Rect{}; }
  bool startListening() override { return ++startCalls, listenWorks; }
  bool listening() override { return stillListening; }

  struct Wheel {
    Point at;
    int pixels;
    std::uint32_t target;
  };

  // Windows
  std::optional<WindowList> onScreen = WindowList{};
  std::map<std::uint32_t, WindowDescription> byId;
  bool unreadable = false;  // the window system cannot be asked at all
  int listCalls = 0, lookupCalls = 0;
  std::function<void(int)> beforeList;  // with the list call's ordinal (1 = the first)
  // Applications and accessibility
  std::set<std::int32_t> runningPids;
  std::optional<std::int32_t> frontmost, hitPid;
  std::vector<std::int32_t> activated;
  std::function<void(std::int32_t)> onActivate;
  bool trusted = true, raiseWorks = true;
  std::optional<std::vector<AccessibilityWindow>> appWindows = std::vector<AccessibilityWindow>{};
  std::vector<std::uint64_t> raised;
  std::function<void(const AccessibilityWindow&)> onRaise;
  int accessibilityCalls = 0;
  // Pointer and wheel
  bool canPost = true, canMove = true;
  int postRequests = 0;
  std::optional<Point> pointer = Point{5, 5};
  std::vector<Point> moves;
  std::vector<Wheel> wheels;
  WheelResult wheelResult = WheelResult::Posted;
  // Listening
  bool canListen = true, listenWorks = true, stillListening = true;
  int listenRequests = 0, startCalls = 0;
  std::map<std::uint32_t, Rect> displays;
};

// Lines queued by the test; then end of input, or silence when `silentAtEnd`.
class FakeCommands : public CommandInput {
 public:
  std::optional<std::string> next(int timeoutMs) override {
    waits.push_back(timeoutMs);
    if (beforeNext) beforeNext(static_cast<int>(waits.size()));
    if (lines.empty()) return std::nullopt;
    std::string line = lines.front();
    lines.pop_front();
    return line;
  }
  std::deque<std::string> lines;
  std::vector<int> waits;
  std::function<void(int)> beforeNext;  // with the call's ordinal (1 = the first)
};

// A well-formed on-screen entry of a normal window.
inline WindowDescription normalWindow(std::int64_t number, std::int64_t pid, Rect bounds,
                                      std::string owner = "Editor") {
  WindowDescription d;
  d.set(WindowKey::Number, number)
      .set(WindowKey::OwnerPid, pid)
      .set(WindowKey::Layer, std::int64_t{0})
      .set(WindowKey::Alpha, 1.0)
      .set(WindowKey::Bounds, boundsDict(bounds))
      .set(WindowKey::OwnerName, std::move(owner))
      .set(WindowKey::IsOnscreen, true);
  return d;
}

// What a unit test of a mode starts from: the fakes and the channel the mode writes to.
struct FakeRig {
  FakeWindowSystem system;
  FakeProcess process;
  FakeClock clock;
  FakeCommands commands;
  RecordingOutput out, err;
  Channel channel = makeChannel(out, err);
  Services services{.system = system, .process = process, .clock = clock};
};

inline std::string errorLine(const std::string& text) { return R"({"error":")" + text + R"(","type":"error"})"; }

}  // namespace quorvane::input
