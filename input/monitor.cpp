#include "input/monitor.h"

#include "common/ticks.h"
#include "input/answer.h"
#include "input/texts.h"

namespace quorvane::input {

namespace {

// The two labels the application treats as its zoom shortcut.
bool isZoom(const std::string& label) { return label == "Cmd+Shift+9" || label == "Ctrl+Shift+9"; }

}  // namespace

int Monitor::run() {
  Outcome started = start();
  return reportExit(channel_, started ? *started : listen());
}

Exit Monitor::listen() {
  TickSchedule samples(s_.clock.now(), kSampleInterval);
  for (;;) {
    if (Outcome end = drain()) return *end;
    if (samples.due(s_.clock.now())) {
      samples.fired(s_.clock.now());
      if (Outcome end = onTick()) return *end;
      continue;  // the sample's own requests may have brought presses in
    }
    wait_.wait(s_.system.pressDescriptors(), samples.millisUntilDue(s_.clock.now()));
  }
}

Outcome Monitor::drain() {
  if (Outcome end = s_.system.drainPresses(*this)) return end;
  return s_.system.listening() ? std::nullopt : listeningStopped();
}

Outcome Monitor::emit(const Json& message) {
  // The channel has already written the encoding note; status 1 as for any unencodable Message.
  if (channel_.emit(message)) return std::nullopt;
  return failure({});
}

Outcome Monitor::start() {
  if (!s_.system.listenAccess()) {
    const bool group = s_.system.listenGrant() == ListenGrant::inputGroup;
    return failure(group ? texts::kMonitorNeedsInputGroup : texts::kMonitorNoPermission, kStatusCannotStart);
  }
  if (!bounds()) return failure(texts::kMonitorCannotStart, kStatusCannotStart);
  if (!s_.system.startListening()) return failure(texts::kMonitorCannotStart, kStatusCannotStart);
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

Outcome Monitor::listeningStopped() { return failure(texts::kMonitorListeningStopped, kStatusListeningStopped); }

Outcome Monitor::onTick() {
  if (parent_.gone()) return quietExit();
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
    if (!s_.system.listening()) return listeningStopped();
    return failure(texts::kMonitorFrameLost, kStatusFrameLost);
  }
  return emit(Json{{"type", type},
                   {"x", jsonNumber(location.x)},
                   {"y", jsonNumber(location.y)},
                   {"bounds", boundsJson(*frame)}});
}

}  // namespace quorvane::input
