#include "input/x11/x11_monitor.h"

#include <poll.h>

#include <xcb/xcb.h>
#include <xcb/xinput.h>
// HACK: xcb/xkb.h names a member "explicit", a keyword in C++.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include "input/x11/keycodes.h"
#include "input/x11/x11_monitor_events.h"

namespace quorvane::input {

using x11::Reply;

Rect X11Monitor::displayBounds(std::uint32_t displayId) {
  x11::Connection* c = x_.connection();
  if (!c) return {};
  for (const auto& m : x11::monitors(*c)) {
    if (m.id == displayId) return Rect{double(m.x), double(m.y), double(m.width), double(m.height)};
  }
  return {};
}

std::optional<Point> X11Monitor::pointerLocation() {
  x11::Connection* c = x_.connection();
  if (!c) return std::nullopt;
  Reply<xcb_query_pointer_reply_t> p(xcb_query_pointer_reply(c->get(), xcb_query_pointer(c->get(), c->root()), nullptr));
  if (!p) return std::nullopt;
  return Point{double(p->root_x), double(p->root_y)};
}

bool X11Monitor::startListening() {
  // The version is announced first: the server sends raw events only to clients that asked for 2.2.
  if (!x_.listenAccess()) return false;
  return selectRawPresses() && trackModifiers();
}

// Raw events reach the root whatever window has the focus or a grab, and are
// delivered once per master device, so a key pressed is seen exactly once.
bool X11Monitor::selectRawPresses() {
  x11::Connection* c = x_.connection();
  if (!c) return false;
  const xcb_query_extension_reply_t* xi = xcb_get_extension_data(c->get(), &xcb_input_id);
  if (!xi || !xi->present) return false;
  xinputOpcode_ = xi->major_opcode;
  struct {
    xcb_input_event_mask_t head;
    std::uint32_t bits;
  } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
         XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS};
  Reply<xcb_generic_error_t> error(
      xcb_request_check(c->get(), xcb_input_xi_select_events_checked(c->get(), c->root(), 1, &mask.head)));
  return !error;
}

// Raw events carry no modifier state, and asking for it at each key press
// would race with the user's fingers: the state events come in order with the
// key presses, so the state they leave is the state of the next key press.
bool X11Monitor::trackModifiers() {
  x11::Connection* c = x_.connection();
  if (!c) return false;
  xcb_connection_t* x = c->get();
  Reply<xcb_xkb_use_extension_reply_t> use(
      xcb_xkb_use_extension_reply(x, xcb_xkb_use_extension(x, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr));
  if (!use || !use->supported) return false;
  xkbFirstEvent_ = xcb_get_extension_data(x, &xcb_xkb_id)->first_event;

  xcb_xkb_select_events_details_t details{};
  details.affectState = XCB_XKB_STATE_PART_MODIFIER_STATE;
  details.stateDetails = XCB_XKB_STATE_PART_MODIFIER_STATE;
  Reply<xcb_generic_error_t> error(xcb_request_check(
      x, xcb_xkb_select_events_aux_checked(x, XCB_XKB_ID_USE_CORE_KBD, XCB_XKB_EVENT_TYPE_STATE_NOTIFY, 0, 0, 0, 0,
                                           &details)));
  if (error) return false;
  // Selected first, read second: a change in between arrives as an event and
  // carries the whole state, so applying it later is still right.
  Reply<xcb_xkb_get_state_reply_t> state(
      xcb_xkb_get_state_reply(x, xcb_xkb_get_state(x, XCB_XKB_ID_USE_CORE_KBD), nullptr));
  if (!state) return false;
  flags_ = flagsFromModifiers(state->mods);
  return true;
}

Step X11Monitor::handle(Monitor& core, const xcb_generic_event_t* event) {
  const std::uint8_t type = event->response_type & 0x7f;
  if (xkbFirstEvent_ != 0 && type == xkbFirstEvent_) {
    const auto* e = reinterpret_cast<const xcb_xkb_state_notify_event_t*>(event);
    if (e->xkbType == XCB_XKB_STATE_NOTIFY) flags_ = flagsFromModifiers(e->mods);
    return Step::next();
  }
  if (type != XCB_GE_GENERIC) return Step::next();
  const auto* ge = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
  if (ge->extension != xinputOpcode_) return Step::next();
  if (ge->event_type == XCB_INPUT_RAW_KEY_PRESS) {
    const auto* e = reinterpret_cast<const xcb_input_raw_key_press_event_t*>(event);
    auto code = ansiKeyCode(e->detail);
    return code ? core.onKeyDown(*code, flags_) : Step::next();
  }
  if (ge->event_type == XCB_INPUT_RAW_BUTTON_PRESS) {
    const auto* e = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event);
    if (!isClickButton(e->detail)) return Step::next();
    // Raw events carry no position: the click is where the pointer is as the press is read.
    auto location = pointerLocation();
    return location ? core.onButtonDown(*location) : Step::next();
  }
  return Step::next();
}

Step X11Monitor::drainEvents(Monitor& core) {
  x11::Connection* c = x_.connection();
  if (!c) return core.onListeningStopped();
  while (xcb_generic_event_t* event = xcb_poll_for_event(c->get())) {
    Reply<xcb_generic_event_t> owned(event);
    Step step = handle(core, event);
    if (!step.carryOn) return step;
  }
  return listening() ? Step::next() : core.onListeningStopped();
}

int X11Monitor::run(Monitor& core, Clock& clock, Channel& channel) {
  Step step = core.start();
  if (!step.carryOn) return conclude(channel, step);
  // The timer's first firing is now: a sample follows `ready` at once.
  TickSchedule ticks(clock.now(), kSampleInterval);
  for (;;) {
    step = drainEvents(core);
    if (!step.carryOn) return conclude(channel, step);
    if (ticks.due(clock.now())) {
      ticks.fired(clock.now());
      step = core.onTick();
      if (!step.carryOn) return conclude(channel, step);
      continue;  // the sample's requests may have queued events
    }
    x11::Connection* c = x_.connection();
    if (!c) continue;  // drainEvents reports the loss
    pollfd p{xcb_get_file_descriptor(c->get()), POLLIN, 0};
    poll(&p, 1, ticks.millisUntilDue(clock.now()));
  }
}

int runX11Monitor(X11Platform& x, const InputSource& source, const KeyNames& names, Channel& channel) {
  X11Monitor platform(x);
  Monitor core(names, source, {x, platform, x, x, channel});
  SystemClock clock;
  return platform.run(core, clock, channel);
}

}  // namespace quorvane::input
