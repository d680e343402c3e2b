// libwayland-client, taken when first called. Linked, it and libffi were
// loaded at every start of every helper, on X11 too, where nothing calls
// them: a twentieth of a window list's start. These are the functions this
// project calls, under their own names, so that callers stay plain Wayland
// code; each forwards to the library's own, or fails as the library fails
// (null, or -1 with errno) when it cannot be loaded. The interface objects
// (the core protocol's too) are our own generated copies, so that nothing
// refers to the library's data before it is loaded.
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <unistd.h>

#include <wayland-client-core.h>

#include "common/posix/library.h"
#include "common/wayland/interfaces.h"

namespace {

constinit quorvane::posix::Library libwaylandClient{"libwayland-client.so.0"};

int noLibrary() {
  errno = ELIBACC;
  return -1;
}

// The request's arguments, taken from `ap` by the types of its signature
// (each optionally prefixed by a version and '?', as the scanner writes them).
// False if the signature has more than `count` arguments.
bool takeArguments(const char* signature, wl_argument* args, int count, va_list ap) {
  int n = 0;
  for (const char* c = signature; *c; ++c) {
    if (*c == '?' || (*c >= '0' && *c <= '9')) continue;
    if (n == count) return false;
    wl_argument& a = args[n++];
    switch (*c) {
      case 'i': a.i = va_arg(ap, std::int32_t); break;
      case 'u': a.u = va_arg(ap, std::uint32_t); break;
      case 'f': a.f = va_arg(ap, wl_fixed_t); break;
      case 'h': a.h = va_arg(ap, std::int32_t); break;
      case 's': a.s = va_arg(ap, const char*); break;
      case 'a': a.a = va_arg(ap, wl_array*); break;
      case 'o':
      case 'n': a.o = va_arg(ap, wl_object*); break;
      default: return false;
    }
  }
  return true;
}

// As many as a closure of the library holds (WL_CLOSURE_MAX_ARGS).
constexpr int kMaxArguments = 20;

}  // namespace

// Ours only: never exported, so that the library's calls of its own functions stay its own.
#pragma GCC visibility push(hidden)

#define QUORVANE_WL(type, name, failed, params, args)                               \
  type name params {                                                                \
    static auto* const function = libwaylandClient.function<decltype(name)>(#name); \
    if (!function) return failed;                                                   \
    return function args;                                                           \
  }

// No display exists without the library, so only connecting can fail for want of it.
QUORVANE_WL(wl_display*, wl_display_connect, (errno = ELIBACC, nullptr), (const char* name), (name))
QUORVANE_WL(int, wl_display_get_fd, noLibrary(), (wl_display * display), (display))
QUORVANE_WL(int, wl_display_get_error, ELIBACC, (wl_display * display), (display))
QUORVANE_WL(int, wl_display_flush, noLibrary(), (wl_display * display), (display))
QUORVANE_WL(int, wl_display_dispatch_pending, noLibrary(), (wl_display * display), (display))
QUORVANE_WL(int, wl_display_prepare_read, noLibrary(), (wl_display * display), (display))
QUORVANE_WL(int, wl_display_read_events, noLibrary(), (wl_display * display), (display))
QUORVANE_WL(int, wl_proxy_add_listener, -1,
            (wl_proxy * proxy, void (**implementation)(void), void* data), (proxy, implementation, data))
QUORVANE_WL(std::uint32_t, wl_proxy_get_version, 0, (wl_proxy * proxy), (proxy))

#undef QUORVANE_WL

#define QUORVANE_WL_VOID(name, params, args)                                        \
  void name params {                                                                \
    static auto* const function = libwaylandClient.function<decltype(name)>(#name); \
    if (function) function args;                                                    \
  }

QUORVANE_WL_VOID(wl_display_disconnect, (wl_display * display), (display))
QUORVANE_WL_VOID(wl_display_cancel_read, (wl_display * display), (display))
QUORVANE_WL_VOID(wl_proxy_destroy, (wl_proxy * proxy), (proxy))

#undef QUORVANE_WL_VOID

// The library takes the descriptor, and closes it when it fails.
wl_display* wl_display_connect_to_fd(int fd) {
  static auto* const function =
      libwaylandClient.function<decltype(wl_display_connect_to_fd)>("wl_display_connect_to_fd");
  if (function) return function(fd);
  close(fd);
  errno = ELIBACC;
  return nullptr;
}

// Every request the generated code sends. The library has no va_list form, so
// the arguments are read here by the request's signature, found in our copy
// of the proxy's interface, and handed on as an array.
wl_proxy* wl_proxy_marshal_flags(wl_proxy* proxy, std::uint32_t opcode, const wl_interface* interface,
                                 std::uint32_t version, std::uint32_t flags, ...) {
  static auto* const marshal =
      libwaylandClient.function<decltype(wl_proxy_marshal_array_flags)>("wl_proxy_marshal_array_flags");
  static auto* const className = libwaylandClient.function<decltype(wl_proxy_get_class)>("wl_proxy_get_class");
  static auto* const destroy = libwaylandClient.function<decltype(wl_proxy_destroy)>("wl_proxy_destroy");
  if (!marshal || !className || !destroy) return nullptr;
  const wl_interface* own = quorvane::wayland::interfaceNamed(className(proxy));
  wl_argument args[kMaxArguments] = {};
  bool taken = false;
  if (own && opcode < static_cast<std::uint32_t>(own->method_count)) {
    va_list ap;
    va_start(ap, flags);
    taken = takeArguments(own->methods[opcode].signature, args, kMaxArguments, ap);
    va_end(ap);
  }
  if (taken) return marshal(proxy, opcode, interface, version, flags, args);
  // Not sent; a destructor request still ends the proxy, as the caller expects.
  if (flags & WL_MARSHAL_FLAG_DESTROY) destroy(proxy);
  return nullptr;
}

#pragma GCC visibility pop
