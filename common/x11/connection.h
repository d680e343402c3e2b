// The X connection every backend shares: connecting, atoms, RandR monitors and
// the property readers, which treat other clients' data, and every count a
// reply declares, as untrusted.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <xcb/xcb.h>

#include "common/x11/replies.h"

namespace quorvane::x11 {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
// xcb replies are malloc'ed; this owns one.
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

class Connection {
 public:
  // Connects to $DISPLAY (or the given name); nullptr when no X server
  // answers. Whether X is the session's window system is main's choice.
  static std::unique_ptr<Connection> open(const char* display = nullptr);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  xcb_connection_t* get() const { return conn_; }
  xcb_screen_t* screen() const { return screen_; }
  xcb_window_t root() const { return screen_->root; }
  bool broken() const { return xcb_connection_has_error(conn_) != 0; }

  // Interns the names not yet known with one round trip; XCB_NONE for any the
  // server refused. Atoms live as long as the server, so each name is asked
  // for once per connection.
  std::vector<xcb_atom_t> atoms(const std::vector<std::string_view>& names) const;
  xcb_atom_t atom(std::string_view name) const { return atoms({name})[0]; }

  // Whether the server offers an extension (answers are cached by xcb).
  bool hasExtension(xcb_extension_t* extension) const;

 private:
  Connection(xcb_connection_t* conn, xcb_screen_t* screen) : conn_(conn), screen_(screen) {}
  xcb_connection_t* conn_;
  xcb_screen_t* screen_;
  mutable std::mutex atomsLock_;  // backends with threads share the connection
  mutable std::map<std::string, xcb_atom_t, std::less<>> atoms_;
};

struct Monitor {
  std::uint32_t id = 0;  // the monitor's name atom: the display id the application uses
  std::string name;
  bool primary = false;
  std::int32_t x = 0, y = 0;
  std::uint32_t width = 0, height = 0;  // pixels
};

// RandR monitors in the server's order; an empty list when RandR is missing.
std::vector<Monitor> monitors(const Connection& c);
// The same in two steps, so that other requests are answered meanwhile: the
// question now, the monitors when its answer is taken (always, once). Without
// `named` their names are not asked for, a round trip less.
struct MonitorsAsked {
  std::optional<unsigned int> sequence;  // none: RandR is missing
};
MonitorsAsked askMonitors(const Connection& c);
std::vector<Monitor> takeMonitors(const Connection& c, MonitorsAsked asked, bool named = true);
// The main display: the primary monitor, else the one containing (0, 0), else the first.
std::optional<Monitor> mainMonitor(const std::vector<Monitor>& all);

// Property readers. Values are bounded (at most maxItems items are read) and
// checked for type and format; a missing or mistyped property gives nothing.
std::optional<std::vector<std::uint32_t>> cardinals(const Connection& c, xcb_window_t w, xcb_atom_t property,
                                                    xcb_atom_t type, std::uint32_t maxItems = 4096);
std::optional<std::uint32_t> cardinal(const Connection& c, xcb_window_t w, xcb_atom_t property, xcb_atom_t type);

}  // namespace quorvane::x11
