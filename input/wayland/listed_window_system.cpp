#include "input/wayland/listed_window_system.h"

#include <limits>

namespace quorvane::input::wayland {

std::optional<WindowList> ListedWindowSystem::windowById(std::uint32_t number) {
  auto all = windows(false);
  if (!all) return std::nullopt;
  WindowList found;
  for (auto& d : *all) {
    if (asU32(d, WindowKey::Number) == number) found.push_back(std::move(d));
  }
  if (found.size() > 1) found.clear();
  return found;
}

void ListedWindowSystem::activate(std::int32_t pid) {
  if (auto number = frontWindowOf(pid)) focus(*number);
}

std::optional<std::vector<AccessibilityWindow>> ListedWindowSystem::accessibilityWindows(std::int32_t pid) {
  auto all = windows(false);
  if (!all) return std::nullopt;
  return accessibilityWindowsIn(*all, pid);
}

bool ListedWindowSystem::raise(const AccessibilityWindow& window) {
  if (window.handle > std::numeric_limits<std::uint32_t>::max()) return false;
  return focus(static_cast<std::uint32_t>(window.handle));
}

std::optional<WindowDescription> ListedWindowSystem::frontAt(Point point) {
  auto list = onScreenWindows();
  if (!list) return std::nullopt;
  return windowAt(std::move(*list), point);
}

std::optional<std::int32_t> ListedWindowSystem::pidAt(Point point) {
  auto window = frontAt(point);
  return window ? asI32(*window, WindowKey::OwnerPid) : std::nullopt;
}

WheelResult ListedWindowSystem::scrollWheel(int pixels, std::uint32_t target) {
  auto at = placed();
  if (!at) return WheelResult::CannotCreate;
  auto window = frontAt(*at);
  if (!window || asU32(*window, WindowKey::Number) != target) return WheelResult::TargetChanged;
  return turnWheel(pixels) ? WheelResult::Posted : WheelResult::CannotCreate;
}

std::vector<AccessibilityWindow> ListedWindowSystem::accessibilityWindowsIn(const WindowList& list,
                                                                           std::int32_t pid) {
  std::vector<AccessibilityWindow> windows;
  for (const auto& d : list) {
    auto number = asU32(d, WindowKey::Number);
    if (asI32(d, WindowKey::OwnerPid) != pid || !number) continue;
    AccessibilityWindow w{.handle = *number, .position = std::nullopt, .size = std::nullopt};
    if (auto r = asRect(d, WindowKey::Bounds)) {
      w.position = Point{r->minX(), r->minY()};
      w.size = Point{r->w(), r->h()};
    }
    windows.push_back(w);
  }
  return windows;
}

WindowDescription ListedWindowSystem::windowAt(WindowList onScreen, Point point) {
  for (auto& d : onScreen) {
    if (auto r = asRect(d, WindowKey::Bounds); r && r->contains(point)) return std::move(d);
  }
  return {};
}

}  // namespace quorvane::input::wayland
