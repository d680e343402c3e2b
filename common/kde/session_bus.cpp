#include "common/kde/session_bus.h"

#include <algorithm>
#include <poll.h>

namespace quorvane::kde {

Bus openSessionBus() {
  sd_bus* bus = nullptr;
  if (sd_bus_open_user(&bus) < 0) return nullptr;
  return Bus(bus);
}

Bus openBus(const std::string& address) {
  sd_bus* bus = nullptr;
  if (sd_bus_new(&bus) < 0) return nullptr;
  Bus owned(bus);
  if (sd_bus_set_address(bus, address.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 || sd_bus_start(bus) < 0) {
    return nullptr;
  }
  return owned;
}

std::uint64_t usecUntil(Deadline deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
  return static_cast<std::uint64_t>(std::max<std::int64_t>(left.count(), 1));
}

Reply call(sd_bus* bus, sd_bus_message* request, Deadline deadline) {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  Reply r;
  if (sd_bus_call(bus, request, usecUntil(deadline), &error, &reply) >= 0) {
    r.message.reset(reply);
  } else {
    r.error = error.name ? error.name : "org.freedesktop.DBus.Error.Failed";
    r.text = error.message ? error.message : "";
  }
  sd_bus_error_free(&error);
  return r;
}

bool waitOnBus(sd_bus* bus, Deadline deadline, int fd, short fdEvents) {
  // Something handled: the caller looks at its state before anything waits.
  const int handled = sd_bus_process(bus, nullptr);
  if (handled != 0) return handled > 0;
  const int events = sd_bus_get_events(bus);
  if (events < 0) return false;
  pollfd fds[2] = {{sd_bus_get_fd(bus), static_cast<short>(events), 0}, {fd, fdEvents, 0}};
  std::uint64_t busTimeout = UINT64_MAX;  // absolute, CLOCK_MONOTONIC, in microseconds
  sd_bus_get_timeout(bus, &busTimeout);
  auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
  if (busTimeout != UINT64_MAX) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto nowUs =
        static_cast<std::uint64_t>(now.tv_sec) * 1'000'000 + static_cast<std::uint64_t>(now.tv_nsec) / 1000;
    const auto busWait = busTimeout > nowUs ? static_cast<long long>((busTimeout - nowUs + 999) / 1000) : 0;
    wait = std::min<long long>(wait, busWait);
  }
  poll(fds, fd >= 0 ? 2 : 1, static_cast<int>(std::clamp<long long>(wait, 0, 60'000)));
  return true;
}

}  // namespace quorvane::kde
