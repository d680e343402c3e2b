#include "recording-screen/x11/capture.h"

#include <algorithm>
#include <climits>
#include <poll.h>
#include <utility>

#include <xcb/xfixes.h>

#include "common/x11/windows.h"

namespace quorvane::recording::x11 {

namespace {

using quorvane::x11::Reply;

constexpr char kConnectionLost[] = "the connection to the X server was lost";

bool sameArea(const Area& a, const quorvane::x11::Monitor& m) {
  return a.x == m.x && a.y == m.y && a.width == m.width && a.height == m.height;
}

bool intersects(const xcb_rectangle_t& r, const Area& m) {
  return r.x < m.x + static_cast<std::int64_t>(m.width) && m.x < r.x + static_cast<std::int64_t>(r.width) &&
         r.y < m.y + static_cast<std::int64_t>(m.height) && m.y < r.y + static_cast<std::int64_t>(r.height);
}

}  // namespace

bool X11Capture::permitted() {
  // Connected only now, after the command line was found good.
  if (!connection_) connection_ = Connection::open();
  if (!connection_ || connection_->broken()) return false;
  // X has no capture permission: the screen can be read when the root answers.
  Reply<xcb_get_geometry_reply_t> root(
      xcb_get_geometry_reply(connection_->get(), xcb_get_geometry(connection_->get(), connection_->root()), nullptr));
  return root != nullptr;
}

ContentResult X11Capture::shareableContent() {
  if (!connection_ || connection_->broken()) return {std::nullopt, kConnectionLost};
  ShareableContent content;
  for (const auto& m : quorvane::x11::monitors(*connection_)) {
    content.displays.push_back(Display{m.id, m.width, m.height});
  }
  content.applicationPids = ownerPids(windowsWithOwners(*connection_));
  if (connection_->broken()) return {std::nullopt, kConnectionLost};
  return {content, {}};
}

std::optional<std::string> X11Capture::start(const ContentFilter& filter, const StreamConfiguration& configuration) {
  xcb_connection_t* x = connection_->get();
  filter_ = filter;
  configuration_ = configuration;
  for (const auto& m : quorvane::x11::monitors(*connection_)) {
    if (m.id == filter.display.id) monitor_ = Area{m.x, m.y, configuration.width, configuration.height};
  }
  if (monitor_.width == 0 || monitor_.height == 0) return std::string("the monitor has no pixels");

  std::string error;
  compositor_ = Compositor::create(*connection_, monitor_, error);
  if (!compositor_) return error;

  if (!connection_->hasExtension(&xcb_damage_id)) return std::string("the X server lacks the DAMAGE extension");
  Reply<xcb_damage_query_version_reply_t> version(
      xcb_damage_query_version_reply(x, xcb_damage_query_version(x, 1, 1), nullptr));
  if (!version) return std::string("the X server did not answer the DAMAGE version query");
  const auto* damage = xcb_get_extension_data(x, &xcb_damage_id);
  const auto* xfixes = xcb_get_extension_data(x, &xcb_xfixes_id);
  if (!damage || !xfixes) return std::string(kConnectionLost);
  damageEvent_ = damage->first_event;
  xfixesEvent_ = xfixes->first_event;
  damage_ = xcb_generate_id(x);
  xcb_damage_create(x, damage_, connection_->root(), XCB_DAMAGE_REPORT_LEVEL_BOUNDING_BOX);
  if (configuration.showsCursor) {
    xcb_xfixes_select_cursor_input(x, connection_->root(), XCB_XFIXES_CURSOR_NOTIFY_MASK_DISPLAY_CURSOR);
  }
  xcb_flush(x);
  if (connection_->broken()) return std::string(kConnectionLost);
  if (!wakeUp_.valid()) return std::string("no event descriptor for the capture thread");
  return std::nullopt;
}

Waited X11Capture::wait(int timeoutMs) {
  pollfd wake = wakeUp_.pollFor();
  if (poll(&wake, 1, timeoutMs) > 0) wakeUp_.clear();
  if (connection_->broken()) return {false, StreamEnd{false, kConnectionLost}};
  return {};
}

std::optional<bool> X11Capture::takeChange() {
  bool changed = takeDamage();
  if (configuration_.showsCursor && pointerMoved()) changed = true;
  if (std::exchange(firstFrame_, false)) changed = true;
  // Reading the connection here may have taken in answers to a picture's
  // reads that a thread is sleeping for.
  if (compositor_) compositor_->nudge();
  return changed;
}

Picture X11Capture::readPicture() {
  // A monitor unplugged, resized or moved since the start would be recorded
  // as the wrong area, or not fit the picture. Asked first, answered while
  // the windows are listed, without the names: two round trips fewer before
  // the reads.
  const auto asked = quorvane::x11::askMonitors(*connection_);
  auto view = compositor_->compose(filter_.excludedPids, configuration_.showsCursor, takeDamagedRows());
  auto all = quorvane::x11::takeMonitors(*connection_, asked, false);
  bool same = std::any_of(all.begin(), all.end(),
                          [&](const auto& m) { return m.id == filter_.display.id && sameArea(monitor_, m); });
  if (!same && !connection_->broken()) return {std::nullopt, StreamEnd{true, {}}};
  // A picture lost with the connection is the stream failing, not the encoder.
  if (!view && connection_->broken()) return {std::nullopt, StreamEnd{false, kConnectionLost}};
  if (view) view->arriving = this;
  return {view, std::nullopt};
}

std::optional<StreamEnd> X11Capture::end() {
  if (connection_->broken()) return StreamEnd{false, kConnectionLost};
  return std::nullopt;
}

// Whether anything was drawn on the monitor since the last tick.
bool X11Capture::takeDamage() {
  drainEvents();
  std::lock_guard<std::mutex> guard(eventsLock_);
  return std::exchange(damagedSinceTick_, false);
}

std::vector<RowSpan> X11Capture::takeDamagedRows() {
  drainEvents();
  std::lock_guard<std::mutex> guard(eventsLock_);
  return std::exchange(damagedRows_, {});
}

void X11Capture::drainEvents() {
  std::lock_guard<std::mutex> guard(eventsLock_);
  bool any = false;
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection_->get())) {
    std::uint8_t type = event->response_type & 0x7F;
    if (type == damageEvent_ + XCB_DAMAGE_NOTIFY) {
      any = true;
      const auto& area = reinterpret_cast<xcb_damage_notify_event_t*>(event)->area;
      if (intersects(area, monitor_)) {
        damagedSinceTick_ = true;
        const std::int64_t top = std::max<std::int64_t>(std::int64_t{area.y} - monitor_.y, 0);
        const std::int64_t bottom = std::min<std::int64_t>(std::int64_t{area.y} + area.height - monitor_.y, monitor_.height);
        keepChanged(damagedRows_, {static_cast<std::uint32_t>(top), static_cast<std::uint32_t>(bottom)});
      }
    } else if (type == xfixesEvent_ + XCB_XFIXES_CURSOR_NOTIFY) {
      damagedSinceTick_ = true;  // the cursor changed shape; its rows are read again anyway
    }
    // Errors of requests nobody checks (a window gone mid-frame) land here too; they are normal.
    std::free(event);
  }
  if (any) {
    xcb_damage_subtract(connection_->get(), damage_, XCB_NONE, XCB_NONE);
    xcb_flush(connection_->get());
  }
}

bool X11Capture::pointerMoved() {
  auto at = quorvane::x11::pointer(*connection_);
  if (!at) return false;
  const auto px = static_cast<std::int32_t>(at->x), py = static_cast<std::int32_t>(at->y);
  auto inside = [this](std::int32_t x, std::int32_t y) {
    return x >= monitor_.x && x < monitor_.x + static_cast<std::int64_t>(monitor_.width) && y >= monitor_.y &&
           y < monitor_.y + static_cast<std::int64_t>(monitor_.height);
  };
  bool moved = px != pointerX_ || py != pointerY_;
  // Moves elsewhere do not change this monitor's picture.
  bool seen = moved && (inside(px, py) || inside(pointerX_, pointerY_));
  pointerX_ = px;
  pointerY_ = py;
  return seen;
}

}  // namespace quorvane::recording::x11
