#include "input/wayland/window_system.h"

namespace quorvane::input::wayland {

namespace {

class ToHandler final : public evdev::PressSink {
 public:
  ToHandler(PressHandler& handler, WindowSystem& system) : handler_(handler), system_(system) {}
  Outcome keyDown(std::int64_t code, std::uint64_t flags) override { return handler_.onKeyDown(code, flags); }
  Outcome buttonDown() override {
    auto at = system_.pointerLocation();
    return at ? handler_.onButtonDown(*at) : std::nullopt;
  }

 private:
  PressHandler& handler_;
  WindowSystem& system_;
};

}  // namespace

WaylandWindowSystem::WaylandWindowSystem(std::unique_ptr<Connection> connection)
    : connection_(std::move(connection)) {}

bool WaylandWindowSystem::listenAccess() { return evdev::canListen(); }

Rect WaylandWindowSystem::displayBounds(std::uint32_t displayId) {
  Connection* c = connection();
  if (!c || !c->dispatchPending()) return {};  // outputs changed since are read first
  const auto* o = c->output(displayId);
  if (!o || !o->done) return {};
  return Rect{double(o->x), double(o->y), double(o->logicalWidth), double(o->logicalHeight)};
}

bool WaylandWindowSystem::onOutput(Point point) {
  Connection* c = connection();
  if (!c || !c->dispatchPending()) return false;
  for (const auto& o : c->outputs()) {
    const Rect frame{double(o->x), double(o->y), double(o->logicalWidth), double(o->logicalHeight)};
    if (o->done && frame.contains(point)) return true;
  }
  return false;
}

Outcome WaylandWindowSystem::drainPresses(PressHandler& handler) {
  ToHandler sink(handler, *this);
  return devices_.drain(sink);
}

}  // namespace quorvane::input::wayland
