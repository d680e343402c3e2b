// The D-Bus session bus through sd-bus: no threads of its own, one socket a
// caller can poll, and every wait bounded by a deadline.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include <systemd/sd-bus.h>

namespace quorvane::kde {

using Deadline = std::chrono::steady_clock::time_point;

struct BusClose {
  void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
  void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using Bus = std::unique_ptr<sd_bus, BusClose>;
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

// The session bus of DBUS_SESSION_BUS_ADDRESS (else $XDG_RUNTIME_DIR/bus);
// nullptr when there is none.
Bus openSessionBus();
// The bus at a D-Bus address ("unix:path=..."); nullptr when none answers there.
Bus openBus(const std::string& address);

// Microseconds from now to the deadline, at least 1 (0 would mean sd-bus's
// own default of 25 s).
std::uint64_t usecUntil(Deadline deadline);

// A method call's outcome: the reply, or the D-Bus error's name and text.
struct Reply {
  Message message;
  std::string error, text;
  bool ok() const { return message != nullptr; }
};

// Sends the call and waits for its answer until the deadline (a call not
// answered in time ends as org.freedesktop.DBus.Error.Timeout or NoReply).
Reply call(sd_bus* bus, sd_bus_message* request, Deadline deadline);

// Handles one message that has arrived or, with nothing to handle, waits on
// the bus (and on `fd`, when given, for `fdEvents`) until something happens
// or the deadline; false when the bus failed. Callers loop, checking their
// state between calls.
bool waitOnBus(sd_bus* bus, Deadline deadline, int fd = -1, short fdEvents = 0);

}  // namespace quorvane::kde
