#include "input/sway/window_system.h"

#include <string>

#include "input/scroll/scroll_rules.h"
#include "input/sway/tree_windows.h"

namespace quorvane::input::sway {

SwayWindowSystem::SwayWindowSystem(std::unique_ptr<quorvane::wayland::Connection> connection,
                                   std::unique_ptr<SwayIpc> ipc)
    : WaylandWindowSystem(std::move(connection)), ipc_(std::move(ipc)) {}

std::optional<SwayTree> SwayWindowSystem::tree() {
  auto reply = ipc_->request(quorvane::wayland::kSwayGetTree);
  return reply ? quorvane::wayland::readSwayTree(*reply) : std::nullopt;
}

bool SwayWindowSystem::focus(std::uint64_t id) {
  auto reply = ipc_->request(quorvane::wayland::kSwayRunCommand, "[con_id=" + std::to_string(id) + "] focus");
  return reply && commandsSucceeded(*reply);
}

std::optional<WindowList> SwayWindowSystem::onScreenWindows() {
  auto t = tree();
  if (!t) return std::nullopt;
  return treeWindows(*t, true);
}

std::optional<WindowList> SwayWindowSystem::windowById(std::uint32_t number) {
  auto t = tree();
  if (!t) return std::nullopt;
  for (auto& d : treeWindows(*t, false)) {
    if (asU32(d, WindowKey::Number) == number) return WindowList{std::move(d)};
  }
  return WindowList{};
}

bool SwayWindowSystem::running(std::int32_t pid) {
  auto t = tree();
  return t && frontViewOf(*t, pid).has_value();
}

void SwayWindowSystem::activate(std::int32_t pid) {
  auto t = tree();
  if (auto view = t ? frontViewOf(*t, pid) : std::nullopt) focus(*view);
}

std::optional<std::int32_t> SwayWindowSystem::frontmostPid() {
  auto t = tree();
  return t ? focusedPid(*t) : std::nullopt;
}

std::optional<std::vector<AccessibilityWindow>> SwayWindowSystem::accessibilityWindows(std::int32_t pid) {
  auto t = tree();
  if (!t) return std::nullopt;
  return accessibilityWindowsIn(treeWindows(*t, false), pid);
}

bool SwayWindowSystem::raise(const AccessibilityWindow& window) { return focus(window.handle); }

std::optional<WindowDescription> SwayWindowSystem::viewAt(Point point) {
  auto list = onScreenWindows();
  if (!list) return std::nullopt;
  return windowAt(std::move(*list), point);
}

std::optional<std::int32_t> SwayWindowSystem::pidAt(Point point) {
  auto view = viewAt(point);
  return view ? asI32(*view, WindowKey::OwnerPid) : std::nullopt;
}

bool SwayWindowSystem::postAccess() {
  // Made early: clients bind a new pointer only after the seat says it has one.
  if (!pointer_ && connection()) pointer_ = wayland::WlrPointer::create(*connection());
  return pointer_ != nullptr;
}

std::optional<Point> SwayWindowSystem::pointerLocation() {
  return pointer_ ? pointer_->placed() : std::nullopt;
}

bool SwayWindowSystem::movePointer(Point to) { return pointer_ && pointer_->moveTo(to); }

WheelResult SwayWindowSystem::scrollWheel(int pixels, std::uint32_t target) {
  auto at = pointerLocation();
  if (!at) return WheelResult::CannotCreate;
  auto view = viewAt(*at);
  if (!view || asU32(*view, WindowKey::Number) != target) return WheelResult::TargetChanged;
  return pointer_->wheel(wheelClicks(pixels)) ? WheelResult::Posted : WheelResult::CannotCreate;
}

}  // namespace quorvane::input::sway
