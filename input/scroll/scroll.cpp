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
  ScrollPlatform& p;
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
    auto now = p.events.pointerLocation();
    return now && std::hypot(now->x - target.x, now->y - target.y) < kPointerTolerance;
  }

  // One "step": every check again, then one wheel event. An error text ends the run.
  const char* step(int stepsDone) {
    if (stepsDone >= kMaxSteps) return kStopped;
    if (!(p.clock.now() < deadline)) return kStopped;
    auto info = scrollWindowInfo(p.windows, number);
    if (!info || !(info->bounds == startBounds) || info->ownerPid != owner) return kStopped;
    if (!frontmost(p, owner, number, target)) return kStopped;
    if (!pointerOnTarget()) return kStopped;
    switch (p.events.scrollWheel(target, stepAmount(selection.h(), startBounds.h()), number)) {
      case WheelResult::Posted:
        return nullptr;
      case WheelResult::TargetChanged:
        return kStopped;
      case WheelResult::CannotCreate:
        return kNoWheelEvent;
    }
    return kNoWheelEvent;
  }

  void loop() {
    std::int32_t parent = p.process.parentPid();
    deadline = p.clock.now() + kRunSeconds;
    InputWait wait = p.commands.wait(kCommandWaitMs);
    if (wait.ready < 1) return;
    for (int steps = 0;;) {
      if (p.process.parentPid() != parent || !wait.readable) return;
      auto line = p.commands.readLine();
      if (!line || *line == "stop") return;
      const char* error = *line == "step" ? step(steps) : kStopped;
      if (error) return send(errorMessage(error));
      ++steps;
      send(Json{{"type", "step"}});
      wait = p.commands.wait(kCommandWaitMs);
      if (wait.ready <= 0) return;
    }
  }

  // The pointer goes back where the user had it, unless they have moved it since.
  void restorePointer() {
    if (savedPointer && pointerOnTarget()) p.events.movePointer(*savedPointer);
  }

  double deadline = 0;
};

}  // namespace

int stepAmount(double selectionHeight, double windowHeight) {
  double a = selectionHeight * windowHeight * kStepFactor;
  double bounded = a < kLargestStep ? std::max(a, kSmallestStep) : kLargestStep;
  return static_cast<int>(bounded);
}

bool frontmost(ScrollPlatform& p, std::int32_t ownerPid, std::uint32_t number, Point point) {
  auto hit = p.accessibility.pidAt(point);
  if (!hit || *hit != ownerPid) return false;
  auto list = p.windows.onScreenWindows();
  if (!list) return false;
  return topScrollWindow(hit, *list, point) == number;
}

int runScroll(ScrollPlatform& p, const std::vector<std::string>& args, Channel& channel) {
  auto refuse = [&](const char* text) { return channel.emit(errorMessage(text)) ? 0 : 1; };
  auto request = parseRequest(args);
  if (!request) return refuse(kBadArguments);
  if (!validScrollRect(request->selection)) return refuse(kOutsideWindow);
  auto info = scrollWindowInfo(p.windows, request->number);
  if (!info || !(info->bounds.w() > 0) || !(info->bounds.h() > 0) || info->ownerPid == p.process.ownPid()) {
    return refuse(kBadWindow);
  }
  if (!p.events.postAccess()) {
    p.events.requestPostAccess();
    return refuse(kNeedsPermission);
  }

  const Rect& s = request->selection;
  const Rect& b = info->bounds;
  Run run{p, channel, request->number, s, b, info->ownerPid,
          Point{b.minX() + (s.minX() + s.w() * 0.5) * b.w(), b.minY() + (s.minY() + s.h() * 0.5) * b.h()},
          p.events.pointerLocation()};
  if (p.applications.running(info->ownerPid)) p.applications.activate(info->ownerPid);
  p.clock.sleep(kActivationSettle);
  if (!frontmost(p, info->ownerPid, request->number, run.target)) return refuse(kNotInFront);
  if (!p.events.movePointer(run.target)) return refuse(kNotInFront);

  run.send(Json{{"type", "ready"}});
  if (!run.encodeFailed) run.loop();
  run.restorePointer();
  return run.encodeFailed ? 1 : 0;
}

}  // namespace quorvane::input
