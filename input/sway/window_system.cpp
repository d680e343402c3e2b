#include "input/sway/window_system.h"

#include <string>

#include "input/scroll/scroll_rules.h"
#include "input/sway/tree_windows.h"

namespace quorvane::input::sway {

SwayWindowSystem::SwayWindowSystem(std::unique_ptr<quorvane::wayland::Connection> connection,
                                   std::unique_ptr<SwayIpc> ipc)
    : ListedWindowSystem(std::move(connection)), ipc_(std::move(ipc)) {}

std::optional<SwayTree> SwayWindowSystem::tree() {
  auto reply = ipc_->request(quorvane::wayland::kSwayGetTree);
  return reply ? quorvane::wayland::readSwayTree(*reply) : std::nullopt;
}

bool SwayWindowSystem::focus(std::uint32_t id) {
  auto reply = ipc_->request(quorvane::wayland::kSwayRunCommand, "[con_id=" + std::to_string(id) + "] focus");
  return reply && commandsSucceeded(*reply);
}

std::optional<WindowList> SwayWindowSystem::windows(bool onScreenOnly) {
  auto t = tree();
  if (!t) return std::nullopt;
  return treeWindows(*t, onScreenOnly);
}

std::optional<std::uint32_t> SwayWindowSystem::frontWindowOf(std::int32_t pid) {
  auto t = tree();
  return t ? frontViewOf(*t, pid) : std::nullopt;
}

std::optional<std::int32_t> SwayWindowSystem::frontmostPid() {
  auto t = tree();
  return t ? focusedPid(*t) : std::nullopt;
}

bool SwayWindowSystem::postAccess() {
  // Made early: clients bind a new pointer only after the seat says it has one.
  if (!pointer_ && connection()) pointer_ = wayland::WlrPointer::create(*connection());
  return pointer_ != nullptr;
}

std::optional<Point> SwayWindowSystem::placed() { return pointer_ ? pointer_->placed() : std::nullopt; }

bool SwayWindowSystem::movePointer(Point to) { return pointer_ && pointer_->moveTo(to); }

bool SwayWindowSystem::turnWheel(int pixels) { return pointer_ && pointer_->wheel(wheelClicks(pixels)); }

}  // namespace quorvane::input::sway
