// sd-bus, taken from libsystemd when first called. Linked, libsystemd and the
// six libraries it needs were loaded at every start of every helper, on X11
// too, where nothing calls them: 1.2 ms of each start, a third of the floor of
// a window list. These are the sd-bus functions this project calls, under
// their own names, so that callers stay plain sd-bus code; each forwards to
// libsystemd's own, or fails as sd-bus fails (-errno, or null) when the
// library cannot be loaded. Not linking libsystemd makes a call to any other
// function a link error rather than a silent load.
#include <cerrno>
#include <cstdarg>

#include <systemd/sd-bus.h>

#include "common/posix/library.h"

namespace {

constinit quorvane::posix::Library libsystemd{"libsystemd.so.0"};

constexpr int kNoLibrary = -ELIBACC;

}  // namespace

// Ours only: never exported, so that libsystemd's calls of its own functions stay its own.
#pragma GCC visibility push(hidden)

#define QUORVANE_SD_BUS(type, name, failed, params, args)                     \
  type name params {                                                          \
    static auto* const function = libsystemd.function<decltype(name)>(#name); \
    return function ? function args : failed;                                 \
  }

QUORVANE_SD_BUS(int, sd_bus_new, kNoLibrary, (sd_bus * *ret), (ret))
QUORVANE_SD_BUS(int, sd_bus_open_user, kNoLibrary, (sd_bus * *ret), (ret))
QUORVANE_SD_BUS(int, sd_bus_set_address, kNoLibrary, (sd_bus * bus, const char* address), (bus, address))
QUORVANE_SD_BUS(int, sd_bus_set_bus_client, kNoLibrary, (sd_bus * bus, int b), (bus, b))
QUORVANE_SD_BUS(int, sd_bus_start, kNoLibrary, (sd_bus * bus), (bus))
QUORVANE_SD_BUS(sd_bus*, sd_bus_flush_close_unref, nullptr, (sd_bus * bus), (bus))
QUORVANE_SD_BUS(int, sd_bus_get_fd, kNoLibrary, (sd_bus * bus), (bus))
QUORVANE_SD_BUS(int, sd_bus_get_events, kNoLibrary, (sd_bus * bus), (bus))
QUORVANE_SD_BUS(int, sd_bus_get_timeout, kNoLibrary, (sd_bus * bus, uint64_t* timeout), (bus, timeout))
QUORVANE_SD_BUS(int, sd_bus_get_unique_name, kNoLibrary, (sd_bus * bus, const char** unique), (bus, unique))
QUORVANE_SD_BUS(int, sd_bus_process, kNoLibrary, (sd_bus * bus, sd_bus_message** r), (bus, r))
QUORVANE_SD_BUS(int, sd_bus_call, kNoLibrary,
                (sd_bus * bus, sd_bus_message* m, uint64_t usec, sd_bus_error* error, sd_bus_message** reply),
                (bus, m, usec, error, reply))
QUORVANE_SD_BUS(int, sd_bus_call_async, kNoLibrary,
                (sd_bus * bus, sd_bus_slot** slot, sd_bus_message* m, sd_bus_message_handler_t callback,
                 void* userdata, uint64_t usec),
                (bus, slot, m, callback, userdata, usec))
QUORVANE_SD_BUS(int, sd_bus_add_object, kNoLibrary,
                (sd_bus * bus, sd_bus_slot** slot, const char* path, sd_bus_message_handler_t callback,
                 void* userdata),
                (bus, slot, path, callback, userdata))
QUORVANE_SD_BUS(sd_bus_slot*, sd_bus_slot_unref, nullptr, (sd_bus_slot * slot), (slot))
QUORVANE_SD_BUS(int, sd_bus_message_new_method_call, kNoLibrary,
                (sd_bus * bus, sd_bus_message** m, const char* destination, const char* path,
                 const char* interface, const char* member),
                (bus, m, destination, path, interface, member))
QUORVANE_SD_BUS(sd_bus_message*, sd_bus_message_unref, nullptr, (sd_bus_message * m), (m))
QUORVANE_SD_BUS(int, sd_bus_message_open_container, kNoLibrary, (sd_bus_message * m, char type, const char* contents),
                (m, type, contents))
QUORVANE_SD_BUS(int, sd_bus_message_close_container, kNoLibrary, (sd_bus_message * m), (m))
QUORVANE_SD_BUS(int, sd_bus_message_enter_container, kNoLibrary, (sd_bus_message * m, char type, const char* contents),
                (m, type, contents))
QUORVANE_SD_BUS(int, sd_bus_message_exit_container, kNoLibrary, (sd_bus_message * m), (m))
QUORVANE_SD_BUS(int, sd_bus_message_peek_type, kNoLibrary, (sd_bus_message * m, char* type, const char** contents),
                (m, type, contents))
QUORVANE_SD_BUS(int, sd_bus_message_read_basic, kNoLibrary, (sd_bus_message * m, char type, void* p), (m, type, p))
QUORVANE_SD_BUS(int, sd_bus_message_skip, kNoLibrary, (sd_bus_message * m, const char* types), (m, types))
QUORVANE_SD_BUS(const sd_bus_error*, sd_bus_message_get_error, nullptr, (sd_bus_message * m), (m))
QUORVANE_SD_BUS(const char*, sd_bus_message_get_sender, nullptr, (sd_bus_message * m), (m))
QUORVANE_SD_BUS(int, sd_bus_message_is_method_call, kNoLibrary,
                (sd_bus_message * m, const char* interface, const char* member), (m, interface, member))

#undef QUORVANE_SD_BUS

void sd_bus_error_free(sd_bus_error* e) {
  static auto* const function = libsystemd.function<decltype(sd_bus_error_free)>("sd_bus_error_free");
  if (function) function(e);
}

// The variadic ones through their va_list forms.
#define QUORVANE_SD_BUS_VA(name, vname, params, last, args)                     \
  int name params {                                                             \
    static auto* const function = libsystemd.function<decltype(vname)>(#vname); \
    if (!function) return kNoLibrary;                                           \
    va_list ap;                                                                 \
    va_start(ap, last);                                                         \
    const int r = function args;                                                \
    va_end(ap);                                                                 \
    return r;                                                                   \
  }

QUORVANE_SD_BUS_VA(sd_bus_message_append, sd_bus_message_appendv, (sd_bus_message * m, const char* types, ...), types,
                   (m, types, ap))
QUORVANE_SD_BUS_VA(sd_bus_message_read, sd_bus_message_readv, (sd_bus_message * m, const char* types, ...), types,
                   (m, types, ap))
QUORVANE_SD_BUS_VA(sd_bus_reply_method_return, sd_bus_reply_method_returnv,
                   (sd_bus_message * call, const char* types, ...), types, (call, types, ap))
QUORVANE_SD_BUS_VA(sd_bus_reply_method_errorf, sd_bus_reply_method_errorfv,
                   (sd_bus_message * call, const char* name, const char* format, ...), format,
                   (call, name, format, ap))

#undef QUORVANE_SD_BUS_VA

#pragma GCC visibility pop
