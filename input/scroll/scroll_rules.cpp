#include "input/scroll/scroll_rules.h"

#include <algorithm>

#include <cmath>

namespace quorvane::input {

bool validScrollRect(const Rect& s) {
  if (!std::isfinite(s.minX()) || !std::isfinite(s.minY()) || !std::isfinite(s.w()) || !std::isfinite(s.h())) {
    return false;
  }
  return s.minX() >= 0 && s.minY() >= 0 && s.w() > 0 && s.h() > 0 && s.maxX() <= 1 && s.maxY() <= 1;
}

std::optional<std::uint32_t> topScrollWindow(std::optional<std::int32_t> pid, const WindowList& list, Point point) {
  if (!pid) return std::nullopt;
  for (const auto& d : list) {
    if (asI32(d, WindowKey::OwnerPid) != pid) continue;
    auto layer = asInteger(d, WindowKey::Layer);
    if (!layer || *layer < 0) continue;
    if (auto alpha = asDouble(d, WindowKey::Alpha); alpha && !(*alpha > 0)) continue;
    auto bounds = asRect(d, WindowKey::Bounds);
    if (!bounds || !bounds->contains(point)) continue;
    return asU32(d, WindowKey::Number);
  }
  return std::nullopt;
}

namespace {

WindowDescription fixture(std::int64_t number, std::int64_t pid, std::int64_t layer) {
  WindowDescription d;
  d.set(WindowKey::Number, number)
      .set(WindowKey::OwnerPid, pid)
      .set(WindowKey::Layer, layer)
      .set(WindowKey::Bounds, Dict{{"X", std::int64_t{0}}, {"Y", std::int64_t{0}},
                                   {"Width", std::int64_t{100}}, {"Height", std::int64_t{100}}});
  return d;
}

}  // namespace

Json scrollSelfTest() {
  const WindowDescription target = fixture(1, 101, 0);
  const WindowDescription other = fixture(2, 202, 3);
  WindowDescription transparent = fixture(2, 202, 3);
  transparent.set(WindowKey::Alpha, 0.0);
  const WindowDescription overlay = fixture(2, 303, 20);
  const WindowDescription sameApp = fixture(2, 101, 3);
  const Point p{50, 50};
  auto gives1 = [&](std::optional<std::int32_t> pid, const WindowList& list) {
    return topScrollWindow(pid, list, p) == std::optional<std::uint32_t>(1);
  };
  return Json{
      {"valid", validScrollRect({0.1, 0.1, 0.8, 0.8})},
      {"invalid", validScrollRect({0, 0, 0, 1})},
      {"outside", validScrollRect({0.5, 0, 1, 1})},
      {"covered", gives1(202, {other, target})},
      {"transparent", gives1(101, {transparent, target})},
      {"noninteractiveOverlay", gives1(101, {overlay, target})},
      {"interactiveOverlay", !gives1(202, {overlay, other, target})},
      {"sameAppOverlay", !gives1(101, {sameApp, target})},
      {"missingHit", !gives1(std::nullopt, {target})},
  };
}

int wheelClicks(int pixels) {
  constexpr int kPixelsPerWheelClick = 100;
  return std::max(1, pixels / kPixelsPerWheelClick);
}

}  // namespace quorvane::input
