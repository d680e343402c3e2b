// The in-process window system for unit tests: any window list, malformed
// entries included, presses waiting to be handed over, hooks that change the
// fake world in between (a window raised by activation, a user moving the
// pointer), records of what was asked.
#pragma once

#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <set>

#include "common/fake_process.h"
#include "input/answer.h"
#include "input/window_system.h"

namespace quorvane::input {

// A press waiting for the monitor's next drain.
using Press = std::function<Outcome(PressHandler&)>;
inline Press keyDown(std::int64_t code, std::uint64_t flags) {
  return [=](PressHandler& h) { return h.onKeyDown(code, flags); };
}
inline Press buttonDown(Point at) {
  return [=](PressHandler& h) { return h.onButtonDown(at); };
}

class FakeWindowSystem : public WindowSystem {
 public:
  std::optional<WindowList> onScreenWindows() override {
    if (beforeList) beforeList(++listCalls);
    return onScreen;
  }
  std::optional<WindowList> windowById(std::uint32_t number) override {
    if (unreadable) return std::nullopt;
    return byId.count(number) ? WindowList{byId[number]} : WindowList{};
  }
  bool running(std::int32_t pid) override { return runningPids.count(pid) > 0; }
  void activate(std::int32_t pid) override { activated.push_back(pid), onActivate ? onActivate(pid) : void(); }
  std::optional<std::int32_t> frontmostPid() override { return frontmost; }
  bool accessibilityTrusted() override { return trusted; }
  std::optional<std::vector<AccessibilityWindow>> accessibilityWindows(std::int32_t) override { return appWindows; }
  bool raise(const AccessibilityWindow& w) override {
    raised.push_back(w.handle);
    if (onRaise) onRaise(w);
    return raiseWorks;
  }
  std::optional<std::int32_t> pidAt(Point) override { return hitPid; }
  bool postAccess() override { return canPost; }
  std::optional<Point> pointerLocation() override { return pointer; }
  bool movePointer(Point to) override { return canMove && (moves.push_back(to), pointer = to, true); }
  WheelResult scrollWheel(int pixels, std::uint32_t target) override {
    if (wheelResult == WheelResult::Posted) wheels.push_back({pixels, target});
    return wheelResult;
  }
  bool listenAccess() override { return canListen; }
  ListenGrant listenGrant() override { return grant; }
  Rect displayBounds(std::uint32_t id) override { return displays.count(id) ? displays[id] : Rect{}; }
  bool startListening() override { return listenWorks; }
  bool listening() override { return stillListening; }
  std::vector<int> pressDescriptors() override { return descriptors; }
  Outcome drainPresses(PressHandler& handler) override {
    while (!presses.empty()) {
      Press press = std::move(presses.front());
      presses.pop_front();
      if (Outcome end = press(handler)) return end;
    }
    return std::nullopt;
  }

  struct Wheel { int pixels; std::uint32_t target; bool operator==(const Wheel&) const = default; };
  std::optional<WindowList> onScreen = WindowList{};
  std::map<std::uint32_t, WindowDescription> byId;
  std::map<std::uint32_t, Rect> displays;
  std::set<std::int32_t> runningPids;
  std::optional<std::int32_t> frontmost, hitPid;
  std::optional<std::vector<AccessibilityWindow>> appWindows = std::vector<AccessibilityWindow>{};
  std::optional<Point> pointer = Point{5, 5};
  WheelResult wheelResult = WheelResult::Posted;
  bool unreadable = false, trusted = true, raiseWorks = true, canPost = true, canMove = true;
  bool canListen = true, listenWorks = true, stillListening = true;
  ListenGrant grant = ListenGrant::systemSettings;
  std::vector<int> descriptors = {7};
  std::deque<Press> presses;
  std::function<void(int)> beforeList;  // with the list call's ordinal (1 = the first)
  std::function<void(std::int32_t)> onActivate;
  std::function<void(const AccessibilityWindow&)> onRaise;
  // What the core asked for.
  int listCalls = 0;
  std::vector<std::int32_t> activated;
  std::vector<std::uint64_t> raised;
  std::vector<Point> moves;
  std::vector<Wheel> wheels;
};

// Lines queued by the test, then end of input; `beforeNext` gets the call's ordinal (1 = the first).
struct FakeCommands : CommandInput {
  std::optional<std::string> next(int timeoutMs) override {
    waits.push_back(timeoutMs);
    if (beforeNext) beforeNext(static_cast<int>(waits.size()));
    if (lines.empty()) return std::nullopt;
    std::string line = lines.front();
    return lines.pop_front(), line;
  }
  std::deque<std::string> lines;
  std::vector<int> waits;
  std::function<void(int)> beforeNext;
};

// A well-formed on-screen entry of a normal window.
inline WindowDescription normalWindow(std::int64_t number, std::int64_t pid, Rect bounds,
                                      std::string owner = "Editor") {
  WindowDescription d;
  d.set(WindowKey::Number, number).set(WindowKey::OwnerPid, pid).set(WindowKey::Layer, std::int64_t{0});
  d.set(WindowKey::Alpha, 1.0).set(WindowKey::Bounds, boundsDict(bounds)).set(WindowKey::OwnerName, std::move(owner));
  return d.set(WindowKey::IsOnscreen, true);
}

// Each wait lasts its whole time-out on the fake clock; `onWait` then changes
// the fake world, with the wait's ordinal (1 = the first).
struct FakeWait : DescriptorWait {
  explicit FakeWait(FakeClock& clock) : clock(clock) {}
  void wait(const std::vector<int>& descriptors, int timeoutMs) override {
    waits.push_back({descriptors, timeoutMs});
    if (waits.size() > 100000) std::abort();  // a loop that never ends fails at once instead of hanging
    clock.sleep(timeoutMs / 1000.0);
    if (onWait) onWait(static_cast<int>(waits.size()));
  }
  struct Wait {
    std::vector<int> descriptors;
    int timeoutMs;
    bool operator==(const Wait&) const = default;
  };
  FakeClock& clock;
  std::vector<Wait> waits;
  std::function<void(int)> onWait;
};

// What a unit test of a mode starts from: the fakes and the channel the mode writes to.
struct FakeRig {
  FakeWindowSystem system;
  FakeProcess process;
  FakeClock clock;
  FakeCommands commands;
  FakeWait wait{clock};
  RecordingOutput out, err;
  Channel channel = makeChannel(out, err);
  Services services{.system = system, .process = process, .clock = clock};
};

inline std::string errorLine(const std::string& text) { return R"({"error":")" + text + R"(","type":"error"})"; }

}  // namespace quorvane::input
