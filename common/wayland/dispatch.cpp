#include "common/wayland/dispatch.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>

namespace quorvane::wayland {

bool dispatchUntil(wl_display* display, const std::function<bool()>& done, Deadline deadline) {
  while (!done()) {
    if (wl_display_flush(display) < 0 && errno != EAGAIN) return false;
    if (wl_display_prepare_read(display) != 0) {
      if (wl_display_dispatch_pending(display) < 0) return false;
      continue;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{wl_display_get_fd(display), POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 60'000))) <= 0) {
      wl_display_cancel_read(display);
      if (std::chrono::steady_clock::now() >= deadline) return false;
      continue;
    }
    if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0) return false;
  }
  return true;
}

bool roundtripBy(wl_display* display, Deadline deadline) {
  bool answered = false;
  static const wl_callback_listener listener = {[](void* data, wl_callback* cb, std::uint32_t) {
    *static_cast<bool*>(data) = true;
    wl_callback_destroy(cb);
  }};
  wl_callback* sync = wl_display_sync(display);
  wl_callback_add_listener(sync, &listener, &answered);
  const bool ok = dispatchUntil(display, [&] { return answered; }, deadline);
  if (!answered) wl_callback_destroy(sync);  // nothing may write to `answered` later
  return ok;
}

}  // namespace quorvane::wayland
