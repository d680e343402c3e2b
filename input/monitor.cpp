#include "input/monitor.h"

#include <cmath>

#include "input/answer.h"
#include "input/window_queries.h"

namespace quorvane::input {

namespace {

// The two labels the application treats as its zoom shortcut.
bool isZoom(const std::string& label) { return label == "Cmd+Shift+9" || label == "Ctrl+Shift+9"; }

}  // namespace

Outcome Monitor::emit(const Json& message) {
  // The channel has already written the encoding note; status 1 as for any unencodable Message.
  if (channel_.emit(message)) return std::nullopt;
  return failure({});
}

Outcome Monitor::start() {
  // Read before anything can block, so that a parent who dies during start is still noticed.
  parent_.emplace(s_.process);
  if (!s_.system.listenAccess()) {
    s_.system.requestListenAccess();
    return failure(kNoPermissionText, kStatusCannotStart);
  }
  if (!bounds()) return failure(kCannotStartText, kStatusCannotStart);
  if (!s_.system.startListening()) return failure(kCannotStartText, kStatusCannotStart);
  return emit(Json{{"type", "ready"}});
}

Outcome Monitor::onKeyDown(std::int64_t keyCode, std::uint64_t flags) {
  auto label = shortcut(names_, keyCode, flags);
  if (!label) return std::nullopt;
  Outcome end = emit(Json{{"type", "shortcut"}, {"label", *label}});
  if (end || !isZoom(*label)) return end;
  return emit(Json{{"type", "zoom"}});
}

Outcome Monitor::onButtonDown(Point location) { return pointer("click", location); }

Outcome Monitor::onListeningStopped() { return failure(kListeningStoppedText, kStatusListeningStopped); }

Outcome Monitor::onTick() {
  if (parent_ && parent_->gone()) return quietExit();
  auto location = s_.system.pointerLocation();
  if (!location) return std::nullopt;
  return pointer("pointer", *location);
}

std::optional<Rect> Monitor::bounds() {
  if (source_.kind == "screen") return s_.system.displayBounds(source_.id);
  auto list = s_.system.windowById(source_.id);
  if (!list || list->empty()) return std::nullopt;
  return asRect(list->front(), WindowKey::Bounds);
}

Outcome Monitor::pointer(const char* type, Point location) {
  auto frame = bounds();
  if (!frame || !(frame->w() > 0) || !(frame->h() > 0)) {
    // A frame lost because the listening itself went away is the system
    // switching the monitor off, not the recorded window closing.
    if (!s_.system.listening()) return onListeningStopped();
    return failure(kFrameLostText, kStatusFrameLost);
  }
  return emit(Json{{"type", type},
                   {"x", jsonNumber(location.x)},
                   {"y", jsonNumber(location.y)},
                   {"bounds", boundsJson(*frame)}});
}

}  // namespace quorvane::input
