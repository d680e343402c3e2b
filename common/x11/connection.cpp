#include "common/x11/connection.h"

#include <algorithm>
#include <cstdlib>

#include <xcb/randr.h>

namespace quorvane::x11 {

std::unique_ptr<Connection> Connection::open(const char* display) {
  int screenNumber = 0;
  xcb_connection_t* conn = xcb_connect(display, &screenNumber);
  if (xcb_connection_has_error(conn)) {
    xcb_disconnect(conn);
    return nullptr;
  }
  auto it = xcb_setup_roots_iterator(xcb_get_setup(conn));
  for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
  if (!it.rem) {
    xcb_disconnect(conn);
    return nullptr;
  }
  return std::unique_ptr<Connection>(new Connection(conn, it.data));
}

Connection::~Connection() { xcb_disconnect(conn_); }

std::vector<xcb_atom_t> Connection::atoms(const std::vector<std::string_view>& names) const {
  std::lock_guard lock(atomsLock_);
  std::vector<std::string_view> missing;
  std::vector<xcb_intern_atom_cookie_t> cookies;
  for (auto n : names) {
    if (atoms_.find(n) != atoms_.end() || std::find(missing.begin(), missing.end(), n) != missing.end()) continue;
    missing.push_back(n);
    cookies.push_back(xcb_intern_atom(conn_, 0, static_cast<uint16_t>(n.size()), n.data()));
  }
  for (std::size_t i = 0; i < missing.size(); ++i) {
    Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(conn_, cookies[i], nullptr));
    // A refusal is not remembered: the connection is most likely broken.
    if (r) atoms_.emplace(std::string(missing[i]), r->atom);
  }
  std::vector<xcb_atom_t> result;
  result.reserve(names.size());
  for (auto n : names) {
    auto it = atoms_.find(n);
    result.push_back(it == atoms_.end() ? XCB_NONE : it->second);
  }
  return result;
}

bool Connection::hasExtension(xcb_extension_t* extension) const {
  const xcb_query_extension_reply_t* r = xcb_get_extension_data(conn_, extension);
  return r && r->present;
}

std::vector<Monitor> monitors(const Connection& c) { return takeMonitors(c, askMonitors(c)); }

MonitorsAsked askMonitors(const Connection& c) {
  if (!c.hasExtension(&xcb_randr_id)) return {};
  return {xcb_randr_get_monitors(c.get(), c.root(), 1).sequence};
}

std::vector<Monitor> takeMonitors(const Connection& c, MonitorsAsked asked, bool named) {
  std::vector<Monitor> result;
  if (!asked.sequence) return result;
  Reply<xcb_randr_get_monitors_reply_t> r(
      xcb_randr_get_monitors_reply(c.get(), xcb_randr_get_monitors_cookie_t{*asked.sequence}, nullptr));
  if (!r) return result;
  std::vector<xcb_get_atom_name_cookie_t> names;
  for (auto it = xcb_randr_get_monitors_monitors_iterator(r.get()); it.rem; xcb_randr_monitor_info_next(&it)) {
    const xcb_randr_monitor_info_t* m = it.data;
    if (!holds(r.get(), m, sizeof *m) || !holds(r.get(), m, xcb_randr_monitor_info_sizeof(m))) break;
    Monitor mon;
    mon.id = m->name;
    mon.primary = m->primary != 0;
    mon.x = m->x;
    mon.y = m->y;
    mon.width = m->width;
    mon.height = m->height;
    result.push_back(mon);
    if (named) names.push_back(xcb_get_atom_name(c.get(), m->name));
  }
  for (size_t i = 0; i < names.size(); ++i) {
    Reply<xcb_get_atom_name_reply_t> n(xcb_get_atom_name_reply(c.get(), names[i], nullptr));
    if (!n) continue;
    const char* name = xcb_get_atom_name_name(n.get());
    result[i].name.assign(name, itemsWithin(n.get(), name, static_cast<std::size_t>(n->name_len), 1));
  }
  return result;
}

std::optional<Monitor> mainMonitor(const std::vector<Monitor>& all) {
  for (const auto& m : all) {
    if (m.primary) return m;
  }
  for (const auto& m : all) {
    if (m.x <= 0 && m.y <= 0 && m.x + static_cast<std::int64_t>(m.width) > 0 &&
        m.y + static_cast<std::int64_t>(m.height) > 0) {
      return m;
    }
  }
  if (!all.empty()) return all.front();
  return std::nullopt;
}

std::optional<std::vector<std::uint32_t>> cardinals(const Connection& c, xcb_window_t w, xcb_atom_t property,
                                                    xcb_atom_t type, std::uint32_t maxItems) {
  Reply<xcb_get_property_reply_t> r(
      xcb_get_property_reply(c.get(), xcb_get_property(c.get(), 0, w, property, type, 0, maxItems), nullptr));
  if (!r || r->type != type || r->format != 32) return std::nullopt;
  // A value that claims more than the reply holds counts as missing, as an empty one counts as empty.
  if (r->value_len != 0 && propertyBytes(r.get()).empty()) return std::nullopt;
  return values32(r.get(), type);
}

std::optional<std::uint32_t> cardinal(const Connection& c, xcb_window_t w, xcb_atom_t property, xcb_atom_t type) {
  auto v = cardinals(c, w, property, type, 1);
  if (!v || v->empty()) return std::nullopt;
  return v->front();
}

}  // namespace quorvane::x11
