#include "input/wayland/window_system.h"

#include <gtest/gtest.h>

#include <tuple>

namespace quorvane::input::wayland {
namespace {

// The helpers are the backends' own; a subclass reaches them.
struct Listed : WaylandWindowSystem {
  using WaylandWindowSystem::accessibilityWindowsIn;
  using WaylandWindowSystem::windowAt;
};

WindowDescription entry(std::int64_t number, std::int64_t pid, std::optional<Rect> frame) {
  WindowDescription d;
  d.set(WindowKey::Number, number).set(WindowKey::OwnerPid, pid);
  if (frame) d.set(WindowKey::Bounds, boundsDict(*frame));
  return d;
}

// Front to back: 1 over 2 where they overlap; 3 another owner's; 4 without a frame; -5 no window number.
const WindowList kList = {entry(1, 7, Rect{10, 10, 100, 50}), entry(2, 7, Rect{50, 20, 200, 200}),
                          entry(3, 8, Rect{0, 0, 1000, 1000}), entry(4, 7, std::nullopt),
                          entry(-5, 7, Rect{0, 0, 5, 5})};

using Seen = std::tuple<std::uint64_t, std::optional<Point>, std::optional<Point>>;

TEST(ListedWindowsTest, AnOwnersAccessibilityWindowsAreItsNumberedEntriesWithTheirFrames) {
  std::vector<Seen> seen;
  for (const auto& w : Listed::accessibilityWindowsIn(kList, 7)) seen.emplace_back(w.handle, w.position, w.size);
  EXPECT_EQ(seen, (std::vector<Seen>{{1, Point{10, 10}, Point{100, 50}},
                                     {2, Point{50, 20}, Point{200, 200}},
                                     {4, std::nullopt, std::nullopt}}));
}

TEST(ListedWindowsTest, TheWindowAtAPointIsTheFrontOneHoldingIt) {
  const std::vector<std::tuple<Point, std::optional<std::uint32_t>>> cases = {
      {{60, 30}, 1}, {{60, 100}, 2}, {{500, 500}, 3}, {{2000, 5}, std::nullopt}};
  for (const auto& [point, number] : cases) {
    EXPECT_EQ(asU32(Listed::windowAt(kList, point), WindowKey::Number), number) << point.x << "," << point.y;
  }
}

}  // namespace
}  // namespace quorvane::input::wayland
