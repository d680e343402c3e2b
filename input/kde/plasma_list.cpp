#include "input/kde/plasma_list.h"

#include <limits>

#include "common/text.h"

namespace quorvane::input::kde {

namespace {

using quorvane::wayland::isPlasmaDesktop;

// As the X11 backend ranks a window kept below the others: not a capturable one.
constexpr std::int64_t kLayerNormal = 0;
constexpr std::int64_t kLayerBelow = -1;

std::optional<std::int32_t> pidOf(const PlasmaWindow& w) {
  if (w.pid == 0 || w.pid > std::uint32_t(std::numeric_limits<std::int32_t>::max())) return std::nullopt;
  return static_cast<std::int32_t>(w.pid);
}

bool minimised(const PlasmaWindow& w) { return (w.state & quorvane::wayland::kPlasmaMinimized) != 0; }

WindowDescription describe(const PlasmaWindow& w) {
  WindowDescription d;
  d.set(WindowKey::Number, std::int64_t{windowNumber(w.uuid)});
  d.set(WindowKey::Layer, (w.state & quorvane::wayland::kPlasmaKeepBelow) ? kLayerBelow : kLayerNormal);
  d.set(WindowKey::IsOnscreen, !minimised(w));
  if (auto pid = pidOf(w)) d.set(WindowKey::OwnerPid, std::int64_t{*pid});
  if (!w.appId.empty()) d.set(WindowKey::OwnerName, sanitizeUtf8(w.appId));
  if (w.hasGeometry) d.set(WindowKey::Bounds, boundsDict(Rect{double(w.x), double(w.y), double(w.width),
                                                              double(w.height)}));
  return d;
}

}  // namespace

std::uint32_t windowNumber(std::string_view uuid) {
  // FNV-1a: small, and fixed for good (numbers handed out must stay valid).
  std::uint32_t hash = 2166136261u;
  for (unsigned char c : uuid) {
    hash ^= c;
    hash *= 16777619u;
  }
  return hash;
}

WindowList plasmaWindowList(const std::vector<PlasmaWindow>& frontToBack, bool onScreenOnly) {
  WindowList list;
  for (const auto& w : frontToBack) {
    if (isPlasmaDesktop(w.state) || (onScreenOnly && minimised(w))) continue;
    list.push_back(describe(w));
  }
  return list;
}

std::optional<PlasmaWindow> windowNumbered(const std::vector<PlasmaWindow>& windows, std::uint32_t number) {
  std::optional<PlasmaWindow> found;
  for (const auto& w : windows) {
    if (isPlasmaDesktop(w.state) || windowNumber(w.uuid) != number) continue;
    if (found) return std::nullopt;
    found = w;
  }
  return found;
}

std::optional<std::int32_t> activePid(const std::vector<PlasmaWindow>& windows) {
  for (const auto& w : windows) {
    if (w.state & quorvane::wayland::kPlasmaActive) return pidOf(w);
  }
  return std::nullopt;
}

std::optional<PlasmaWindow> frontWindowOf(const std::vector<PlasmaWindow>& frontToBack, std::int32_t pid) {
  for (const auto& w : frontToBack) {
    if (!isPlasmaDesktop(w.state) && pidOf(w) == pid) return w;
  }
  return std::nullopt;
}

}  // namespace quorvane::input::kde
