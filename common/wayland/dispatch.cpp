#include "common/wayland/dispatch.h"

#include <algorithm>
#include <cerrno>
#include <vector>

namespace quorvane::wayland {

namespace {

// Milliseconds to the deadline, rounded up so that a wait never ends early.
int millisTo(Deadline deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, 60'000));
}

}  // namespace

bool waitFor(wl_display* display, std::span<pollfd> others, int timeoutMs) {
  while (wl_display_prepare_read(display) != 0) {
    if (wl_display_dispatch_pending(display) < 0) return false;
  }
  // A compositor that stops reading fills the socket: wait until it reads again.
  short events = POLLIN;
  if (wl_display_flush(display) < 0) {
    if (errno != EAGAIN) {
      wl_display_cancel_read(display);
      return false;
    }
    events |= POLLOUT;
  }
  std::vector<pollfd> fds{{wl_display_get_fd(display), events, 0}};
  fds.insert(fds.end(), others.begin(), others.end());
  int ready = poll(fds.data(), fds.size(), timeoutMs);
  if (ready < 0 && errno != EINTR) {
    wl_display_cancel_read(display);
    return false;
  }
  for (std::size_t i = 0; i < others.size(); ++i) others[i].revents = ready > 0 ? fds[i + 1].revents : 0;
  const short seen = ready > 0 ? fds[0].revents : 0;
  if (seen & POLLIN) {
    if (wl_display_read_events(display) < 0) return false;
  } else {
    wl_display_cancel_read(display);
    if (seen & (POLLHUP | POLLERR | POLLNVAL)) return false;
  }
  return wl_display_dispatch_pending(display) >= 0 && wl_display_get_error(display) == 0;
}

bool dispatchUntil(wl_display* display, const std::function<bool()>& done, Deadline deadline) {
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline || !waitFor(display, {}, millisTo(deadline))) return false;
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
  dispatchUntil(display, [&] { return answered; }, deadline);
  if (!answered) wl_callback_destroy(sync);  // nothing may write to `answered` later
  return answered;
}

}  // namespace quorvane::wayland
