#include "input/monitor.h"

#include <cmath>

#include "input/answer.h"
#include "input/window_queries.h"

namespace quorvane::input {

namespace {

// The two labels the application treats as its zoom shortcut.
bool isZoom(const std::string& label) { return label == "Cmd+Shift+9" || label == "Ctrl+Shift+9"; }

}  // namespace

int conclude(Channel& channel, const Step& step) {
  if (step.message && !channel.emit(*step.message)) return 1;
  return step.status;
}

void TickSchedule::fired(double now) {
  next_ += interval_;
  if (next_ <= now) next_ += std::floor((now - next_) / interval_ + 1.0) * interval_;
}

int TickSchedule::millisUntilDue(double now) const {
  if (due(now)) return 0;
  return static_cast<int>(std::ceil((next_ - now) * 1000.0));
}

Step Monitor::emit(const Json& message) {
  // The channel has already written the encoding note; status 1 as for any unencodable Message.
  return s_.channel.emit(message) ? Step::next() : Step::end(1);
}

Step Monitor::start() {
  // Read before anything can block, so that a parent who dies during start is still noticed.
  parentAtStart_ = s_.process.parentPid();
  if (!s_.permissions.listenAccess()) {
    s_.permissions.requestListenAccess();
    return Step::end(kStatusCannotStart, errorMessage(kNoPermissionText));
  }
  if (!bounds()) return Step::end(kStatusCannotStart, errorMessage(kCannotStartText));
  if (!s_.platform.startListening()) return Step::end(kStatusCannotStart, errorMessage(kCannotStartText));
  return emit(Json{{"type", "ready"}});
}

Step Monitor::onKeyDown(std::int64_t keyCode, std::uint64_t flags) {
  auto label = shortcut(names_, keyCode, flags);
  if (!label) return Step::next();
  Step step = emit(Json{{"type", "shortcut"}, {"label", *label}});
  if (!step.carryOn || !isZoom(*label)) return step;
  return emit(Json{{"type", "zoom"}});
}

Step Monitor::onButtonDown(Point location) { return pointer("click", location); }

Step Monitor::onListeningStopped() {
  return Step::end(kStatusListeningStopped, errorMessage(kListeningStoppedText));
}

Step Monitor::onTick() {
  // An orphan may be adopted by a subreaper rather than by pid 1: any change
  // of parent means the application has ended.
  if (s_.process.parentPid() != parentAtStart_) return Step::end(0);
  auto location = s_.platform.pointerLocation();
  if (!location) return Step::next();
  return pointer("pointer", *location);
}

std::optional<Rect> Monitor::bounds() {
  if (source_.kind == "screen") return s_.platform.displayBounds(source_.id);
  auto list = s_.windows.windowById(source_.id);
  if (!list || list->empty()) return std::nullopt;
  return asRect(list->front(), WindowKey::Bounds);
}

Step Monitor::pointer(const char* type, Point location) {
  auto frame = bounds();
  if (!frame || !(frame->w() > 0) || !(frame->h() > 0)) {
    // A frame lost because the listening itself went away is the system
    // switching the monitor off, not the recorded window closing.
    if (!s_.platform.listening()) return onListeningStopped();
    return Step::end(kStatusFrameLost, errorMessage(kFrameLostText));
  }
  return emit(Json{{"type", type},
                   {"x", jsonNumber(location.x)},
                   {"y", jsonNumber(location.y)},
                   {"bounds", boundsJson(*frame)}});
}

}  // namespace quorvane::input
