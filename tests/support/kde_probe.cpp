// What KWin grants the program running as this binary's path:
//   quorvane-kde-probe
// prints one line, the restricted Wayland globals it was offered (sorted),
// then "screenshot:ok", "screenshot:denied" or "screenshot:failed" for a
// one-pixel ScreenShot2 capture.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include <wayland-client.h>

#include "common/kde/kwin_screenshot.h"
#include "common/wayland/dispatch.h"

int main() {
  using namespace std::chrono_literals;
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return 2;
  std::set<std::string> seen;
  static const wl_registry_listener listener = {
      [](void* data, wl_registry*, std::uint32_t, const char* interface, std::uint32_t) {
        for (const char* restricted : {"org_kde_plasma_window_management", "org_kde_kwin_fake_input",
                                       "zkde_screencast_unstable_v1"}) {
          if (std::strcmp(interface, restricted) == 0) static_cast<std::set<std::string>*>(data)->insert(interface);
        }
      },
      [](void*, wl_registry*, std::uint32_t) {}};
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &listener, &seen);
  const bool listed = quorvane::wayland::roundtripBy(display, deadline);
  wl_registry_destroy(registry);
  wl_display_disconnect(display);
  if (!listed) return 2;
  std::string line;
  for (const auto& name : seen) line += name + " ";
  auto bus = quorvane::kde::openSessionBus();
  const char* screenshot = "failed";
  if (bus) {
    auto outcome = quorvane::kde::KWinScreenShot(bus.get()).area(0, 0, 1, 1, false, deadline);
    if (outcome.shot) screenshot = "ok";
    if (outcome.failure == quorvane::kde::ShotFailure::kNotAuthorized) screenshot = "denied";
  }
  std::printf("%sscreenshot:%s\n", line.c_str(), screenshot);
  return 0;
}
