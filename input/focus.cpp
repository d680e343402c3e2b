#include "input/focus.h"

#include <cmath>

#include "common/numbers.h"
#include "input/answer.h"
#include "input/texts.h"
#include "input/window_queries.h"

namespace quorvane::input {

namespace {

// Time for the window manager to settle after activating, and after raising.
constexpr double kActivationSettle = 0.3;
constexpr double kRaiseSettle = 0.2;
constexpr double kFrameTolerance = 2.0;

int fail(Channel& channel, const char* text) { return answer(channel, Json{{"error", text}}, 1); }

// The target's application is in front, and the target is its front normal window.
bool isTargetFrontmost(WindowSystem& system, std::int32_t owner, std::uint32_t number) {
  if (system.frontmostPid() != owner) return false;
  auto list = system.onScreenWindows();
  if (!list) return false;
  for (const auto& d : *list) {
    if (asI32(d, WindowKey::OwnerPid) == owner && asInteger(d, WindowKey::Layer) == 0) {
      return asU32(d, WindowKey::Number) == number;
    }
  }
  return false;
}

}  // namespace

bool frameMatches(const AccessibilityWindow& w, const Rect& frame) {
  if (!w.position || !w.size) return false;
  return std::fabs(w.position->x - frame.minX()) < kFrameTolerance &&
         std::fabs(w.position->y - frame.minY()) < kFrameTolerance &&
         std::fabs(w.size->x - frame.w()) < kFrameTolerance && std::fabs(w.size->y - frame.h()) < kFrameTolerance;
}

int runFocusWindow(Services& s, const std::string& windowText, Channel& channel) {
  WindowSystem& system = s.system;
  auto number = parseU32(windowText);
  if (!number) return fail(channel, texts::kFocusInvalidWindow);
  auto info = scrollWindowInfo(system, *number);
  if (!info || info->ownerPid == s.process.parentPid()) return fail(channel, texts::kFocusInvalidWindow);
  if (!system.running(info->ownerPid)) return fail(channel, texts::kFocusInvalidWindow);

  system.activate(info->ownerPid);
  s.clock.sleep(kActivationSettle);
  if (!isTargetFrontmost(system, info->ownerPid, *number)) {
    if (!system.accessibilityTrusted()) return fail(channel, texts::kFocusNeedsAccessibility);
    auto windows = system.accessibilityWindows(info->ownerPid);
    if (!windows) return fail(channel, texts::kFocusCannotLocate);
    std::vector<AccessibilityWindow> matching;
    for (const auto& w : *windows) {
      if (frameMatches(w, info->bounds)) matching.push_back(w);
    }
    if (matching.size() != 1 || !system.raise(matching.front())) return fail(channel, texts::kFocusNotUnique);
    s.clock.sleep(kRaiseSettle);
  }
  if (!isTargetFrontmost(system, info->ownerPid, *number)) return fail(channel, texts::kFocusNotInFront);
  return answer(channel, Json{{"focused", true}}, 0);
}

}  // namespace quorvane::input
