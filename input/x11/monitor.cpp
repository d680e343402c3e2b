// Listening on X11: XInput 2.2 raw key and button presses on the root for
// every master device, with the modifiers tracked from XKB state events.
#include <xcb/xcb.h>
#include <xcb/xinput.h>
// HACK: xcb/xkb.h names a member "explicit", a keyword in C++.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include "input/x11/keycodes.h"
#include "input/x11/monitor_events.h"
#include "input/x11/window_system.h"

namespace quorvane::input::x11 {

Rect XWindowSystem::displayBounds(std::uint32_t displayId) {
  Connection* c = connection();
  if (!c) return {};
  for (const auto& m : quorvane::x11::monitors(*c)) {
    if (m.id == displayId) return Rect{double(m.x), double(m.y), double(m.width), double(m.height)};
  }
  return {};
}

bool XWindowSystem::startListening() {
  // The version is announced first: the server sends raw events only to clients that asked for 2.2.
  if (!listenAccess()) return false;
  Connection* c = connection();
  return c && selectRawPresses(*c) && trackModifiers(*c);
}

// Raw events reach the root whatever window has the focus or a grab, and are
// delivered once per master device, so a key pressed is seen exactly once.
bool XWindowSystem::selectRawPresses(Connection& c) {
  const xcb_query_extension_reply_t* xi = xcb_get_extension_data(c.get(), &xcb_input_id);
  if (!xi || !xi->present) return false;
  xinputOpcode_ = xi->major_opcode;
  struct {
    xcb_input_event_mask_t head;
    std::uint32_t bits;
  } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
         XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS};
  Reply<xcb_generic_error_t> error(
      xcb_request_check(c.get(), xcb_input_xi_select_events_checked(c.get(), c.root(), 1, &mask.head)));
  return !error;
}

// Raw events carry no modifier state, and asking for it at each key press
// would race with the user's fingers: the state events come in order with the
// key presses, so the state they leave is the state of the next key press.
bool XWindowSystem::trackModifiers(Connection& c) {
  xcb_connection_t* x = c.get();
  Reply<xcb_xkb_use_extension_reply_t> use(
      xcb_xkb_use_extension_reply(x, xcb_xkb_use_extension(x, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr));
  if (!use || !use->supported) return false;
  const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(x, &xcb_xkb_id);
  if (!xkb || !xkb->present) return false;
  xkbFirstEvent_ = xkb->first_event;

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

Outcome XWindowSystem::handle(PressHandler& handler, const xcb_generic_event_t* event) {
  const std::uint8_t type = event->response_type & 0x7f;
  if (xkbFirstEvent_ != 0 && type == xkbFirstEvent_) {
    const auto* e = reinterpret_cast<const xcb_xkb_state_notify_event_t*>(event);
    if (e->xkbType == XCB_XKB_STATE_NOTIFY) flags_ = flagsFromModifiers(e->mods);
    return std::nullopt;
  }
  if (type != XCB_GE_GENERIC) return std::nullopt;
  const auto* ge = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
  if (ge->extension != xinputOpcode_) return std::nullopt;
  if (ge->event_type == XCB_INPUT_RAW_KEY_PRESS) {
    const auto* e = reinterpret_cast<const xcb_input_raw_key_press_event_t*>(event);
    auto code = ansiKeyCode(e->detail);
    return code ? handler.onKeyDown(*code, flags_) : std::nullopt;
  }
  if (ge->event_type == XCB_INPUT_RAW_BUTTON_PRESS) {
    const auto* e = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event);
    if (!isClickButton(e->detail)) return std::nullopt;
    // Raw events carry no position: the click is where the pointer is as the press is read.
    auto location = pointerLocation();
    return location ? handler.onButtonDown(*location) : std::nullopt;
  }
  return std::nullopt;
}

std::vector<int> XWindowSystem::pressDescriptors() {
  Connection* c = connection();
  if (!c) return {};
  return {xcb_get_file_descriptor(c->get())};
}

// Events already read with a reply wait in xcb's queue, not on the socket: all
// of them are taken here, before the monitor waits on the socket again.
Outcome XWindowSystem::drainPresses(PressHandler& handler) {
  Connection* c = connection();
  if (!c) return std::nullopt;
  while (xcb_generic_event_t* event = xcb_poll_for_event(c->get())) {
    Reply<xcb_generic_event_t> owned(event);
    if (Outcome end = handle(handler, event)) return end;
  }
  return std::nullopt;
}

}  // namespace quorvane::input::x11
