#include "input/scroll/scroll.h"

#include <algorithm>

#include "common/numbers.h"
#include "input/answer.h"
#include "input/scroll/scroll_rules.h"
#include "input/texts.h"
#include "input/window_queries.h"

namespace quorvane::input {

namespace {

constexpr double kActivationSettle = 0.4;
constexpr double kStepFactor = 0.45;
constexpr double kSmallestStep = 1;
constexpr double kLargestStep = 500;

struct Request {
  std::uint32_t number = 0;
  Rect selection;
};

std::optional<Request> parseRequest(const std::vector<std::string>& args) {
  if (args.size() != 7) return std::nullopt;
  auto number = parseU32(args[2]);
  if (!number) return std::nullopt;
  double v[4];
  for (int i = 0; i < 4; ++i) {
    auto d = parseDouble(args[3 + i]);
    if (!d) return std::nullopt;
    v[i] = *d;
  }
  return Request{*number, Rect{v[0], v[1], v[2], v[3]}};
}

// The state of one run from `ready` on.
struct Run {
  Services& s;
  CommandInput& commands;
  Channel& channel;
  std::uint32_t number;
  Rect selection;
  Rect startBounds;
  std::int32_t owner;
  Point target;
  std::optional<Point> savedPointer;
  bool encodeFailed = false;

  void send(const Json& m) {
    if (!channel.emit(m)) encodeFailed = true;
  }

  bool pointerOnTarget() {
    auto now = s.system.pointerLocation();
    if (!now) return false;
    const double dx = now->x - target.x, dy = now->y - target.y;
    return dx * dx + dy * dy < kPointerTolerance * kPointerTolerance;  // hypot would need libm
  }

  // One "step": every check again, then one wheel event. An error text ends the run.
  const char* step(int stepsDone) {
    if (stepsDone >= kMaxSteps) return texts::kScrollStopped;
    if (!(s.clock.now() < deadline)) return texts::kScrollStopped;
    auto info = scrollWindowInfo(s.system, number);
    if (!info || !(info->bounds == startBounds) || info->ownerPid != owner) return texts::kScrollStopped;
    if (!frontmost(s.system, owner, number, target)) return texts::kScrollStopped;
    if (!pointerOnTarget()) return texts::kScrollStopped;
    switch (s.system.scrollWheel(stepAmount(selection.h(), startBounds.h()), number)) {
      case WheelResult::Posted:
        return nullptr;
      case WheelResult::TargetChanged:
        return texts::kScrollStopped;
      case WheelResult::CannotCreate:
        return texts::kScrollNoWheelEvent;
    }
    return texts::kScrollNoWheelEvent;
  }

  void loop(ParentWatch& parent) {
    deadline = s.clock.now() + kRunSeconds;
    for (int steps = 0;; ++steps) {
      auto line = commands.next(kCommandWaitMs);
      if (!line || parent.gone() || *line == "stop") return;
      const char* error = *line == "step" ? step(steps) : texts::kScrollStopped;
      if (error) return send(errorMessage(error));
      send(Json{{"type", "step"}});
    }
  }

  // The pointer goes back where the user had it, unless they have moved it since.
  void restorePointer() {
    if (savedPointer && pointerOnTarget()) s.system.movePointer(*savedPointer);
  }

  double deadline = 0;
};

}  // namespace

int stepAmount(double selectionHeight, double windowHeight) {
  double a = selectionHeight * windowHeight * kStepFactor;
  double bounded = a < kLargestStep ? std::max(a, kSmallestStep) : kLargestStep;
  return static_cast<int>(bounded);
}

bool frontmost(WindowSystem& system, std::int32_t ownerPid, std::uint32_t number, Point point) {
  auto hit = system.pidAt(point);
  if (!hit || *hit != ownerPid) return false;
  auto list = system.onScreenWindows();
  if (!list) return false;
  return topScrollWindow(hit, *list, point) == number;
}

int runScroll(Services& s, CommandInput& commands, const std::vector<std::string>& args, Channel& channel) {
  WindowSystem& system = s.system;
  ParentWatch parent(s.process);
  auto refuse = [&](const char* text) { return channel.emit(errorMessage(text)) ? 0 : 1; };
  auto request = parseRequest(args);
  if (!request) return refuse(texts::kScrollBadArguments);
  if (!validScrollRect(request->selection)) return refuse(texts::kScrollOutsideWindow);
  auto info = scrollWindowInfo(system, request->number);
  if (!info || !(info->bounds.w() > 0) || !(info->bounds.h() > 0) || info->ownerPid == s.process.ownPid()) {
    return refuse(texts::kScrollBadWindow);
  }
  if (!system.postAccess()) return refuse(texts::kScrollNeedsPermission);

  const Rect& sel = request->selection;
  const Rect& b = info->bounds;
  Run run{s, commands, channel, request->number, sel, b, info->ownerPid,
          Point{b.minX() + (sel.minX() + sel.w() * 0.5) * b.w(), b.minY() + (sel.minY() + sel.h() * 0.5) * b.h()},
          system.pointerLocation()};
  if (system.running(info->ownerPid)) system.activate(info->ownerPid);
  s.clock.sleep(kActivationSettle);
  if (!frontmost(system, info->ownerPid, request->number, run.target)) return refuse(texts::kScrollNotInFront);
  if (!system.movePointer(run.target)) return refuse(texts::kScrollNotInFront);

  run.send(Json{{"type", "ready"}});
  if (!run.encodeFailed) run.loop(parent);
  run.restorePointer();
  return run.encodeFailed ? 1 : 0;
}

}  // namespace quorvane::input
