#include "input/scroll/scroll.h"

#include <algorithm>
#include <cmath>

#include "common/numbers.h"
#include "input/answer.h"
#include "input/scroll/scroll_rules.h"
#include "input/window_queries.h"

namespace quorvane::input {

namespace {

constexpr const char* kBadArguments = "无效的自动滚动参数";
constexpr const char* kOutsideWindow = "自动滚动选区必须位于目标窗口内";
constexpr const char* kBadWindow = "目标窗口已关闭、最小化或无效";
constexpr const char* kNeedsPermission =
    "自动滚动需要系统设置 → 隐私与安全性 → 辅助功能授权 Quorvane/输入辅助程序，然后重启应用；不需要读取输入监控。";
constexpr const char* kNotInFront = "所选窗口未在前台或选区被遮挡，请先显示目标窗口后重试";
constexpr const char* kStopped = "已停止：鼠标被移动、目标窗口被遮挡/移动/关闭或滚动请求无效";
constexpr const char* kNoWheelEvent = "无法创建自动滚轮事件";

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
    return now && std::hypot(now->x - target.x, now->y - target.y) < kPointerTolerance;
  }

  // One "step": every check again, then one wheel event. An error text ends the run.
  const char* step(int stepsDone) {
    if (stepsDone >= kMaxSteps) return kStopped;
    if (!(s.clock.now() < deadline)) return kStopped;
    auto info = scrollWindowInfo(s.system, number);
    if (!info || !(info->bounds == startBounds) || info->ownerPid != owner) return kStopped;
    if (!frontmost(s.system, owner, number, target)) return kStopped;
    if (!pointerOnTarget()) return kStopped;
    switch (s.system.scrollWheel(target, stepAmount(selection.h(), startBounds.h()), number)) {
      case WheelResult::Posted:
        return nullptr;
      case WheelResult::TargetChanged:
        return kStopped;
      case WheelResult::CannotCreate:
        return kNoWheelEvent;
    }
    return kNoWheelEvent;
  }

  void loop(ParentWatch& parent) {
    deadline = s.clock.now() + kRunSeconds;
    for (int steps = 0;; ++steps) {
      auto line = commands.next(kCommandWaitMs);
      if (!line || parent.gone() || *line == "stop") return;
      const char* error = *line == "step" ? step(steps) : kStopped;
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
  // Read before anything can block, so that a parent who dies while the run
  // starts is still noticed at the first command.
  ParentWatch parent(s.process);
  auto refuse = [&](const char* text) { return channel.emit(errorMessage(text)) ? 0 : 1; };
  auto request = parseRequest(args);
  if (!request) return refuse(kBadArguments);
  if (!validScrollRect(request->selection)) return refuse(kOutsideWindow);
  auto info = scrollWindowInfo(system, request->number);
  if (!info || !(info->bounds.w() > 0) || !(info->bounds.h() > 0) || info->ownerPid == s.process.ownPid()) {
    return refuse(kBadWindow);
  }
  if (!system.postAccess()) {
    system.requestPostAccess();
    return refuse(kNeedsPermission);
  }

  const Rect& sel = request->selection;
  const Rect& b = info->bounds;
  Run run{s, commands, channel, request->number, sel, b, info->ownerPid,
          Point{b.minX() + (sel.minX() + sel.w() * 0.5) * b.w(), b.minY() + (sel.minY() + sel.h() * 0.5) * b.h()},
          system.pointerLocation()};
  if (system.running(info->ownerPid)) system.activate(info->ownerPid);
  s.clock.sleep(kActivationSettle);
  if (!frontmost(system, info->ownerPid, request->number, run.target)) return refuse(kNotInFront);
  if (!system.movePointer(run.target)) return refuse(kNotInFront);

  run.send(Json{{"type", "ready"}});
  if (!run.encodeFailed) run.loop(parent);
  run.restorePointer();
  return run.encodeFailed ? 1 : 0;
}

}  // namespace quorvane::input
