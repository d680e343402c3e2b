#include "input/wayland/listed_window_system.h"

#include <gtest/gtest.h>

#include <tuple>

namespace quorvane::input::wayland {
namespace {

using Listed = ListedWindowSystem;

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

// A compositor's answers as the backend gives them, and what was asked of it.
struct FakeListed final : ListedWindowSystem {
  FakeListed() : ListedWindowSystem(nullptr) {}
  std::optional<WindowList> windows(bool onScreenOnly) override {
    if (!answers) return std::nullopt;
    return onScreenOnly ? WindowList(kList.begin(), kList.begin() + 3) : kList;
  }
  std::optional<std::uint32_t> frontWindowOf(std::int32_t pid) override {
    return pid == 7 ? std::optional<std::uint32_t>(2) : std::nullopt;
  }
  bool focus(std::uint32_t number) override {
    focused.push_back(number);
    return true;
  }
  std::optional<Point> placed() override { return at; }
  bool turnWheel(int pixels) override {
    turned.push_back(pixels);
    return true;
  }
  bool answers = true;
  std::optional<Point> at;
  std::vector<std::uint32_t> focused;
  std::vector<int> turned;
};

TEST(ListedWindowsTest, AWindowIsFoundByItsNumberOnlyWhenTheListNamesItOnce) {
  FakeListed system;
  std::vector<std::size_t> sizes;
  for (std::uint32_t number : {1u, 4u, 9u}) sizes.push_back(system.windowById(number).value_or(WindowList{}).size());
  system.answers = false;
  EXPECT_EQ(std::make_tuple(sizes, system.windowById(1).has_value()),
            std::make_tuple(std::vector<std::size_t>{1, 1, 0}, false));
  // Two windows under one number: neither.
  struct Twice final : ListedWindowSystem {
    Twice() : ListedWindowSystem(nullptr) {}
    std::optional<WindowList> windows(bool) override { return WindowList{entry(6, 1, {}), entry(6, 2, {})}; }
    std::optional<std::uint32_t> frontWindowOf(std::int32_t) override { return std::nullopt; }
    bool focus(std::uint32_t) override { return false; }
    std::optional<Point> placed() override { return std::nullopt; }
    bool turnWheel(int) override { return false; }
  } twice;
  EXPECT_EQ(twice.windowById(6).value_or(WindowList(3)).size(), 0u);
}

TEST(ListedWindowsTest, ApplicationsAndWindowsComeToTheFrontByTheirWindowsNumbers) {
  FakeListed system;
  system.activate(7);
  system.activate(8);  // no window: nothing asked
  const bool raised = system.raise(AccessibilityWindow{.handle = 4, .position = {}, .size = {}});
  const bool largest = system.raise(AccessibilityWindow{.handle = 0xffffffffu, .position = {}, .size = {}});
  const bool tooLarge = system.raise(AccessibilityWindow{.handle = 1ull << 32, .position = {}, .size = {}});
  EXPECT_EQ(std::make_tuple(system.focused, raised, largest, tooLarge, system.running(7), system.running(8)),
            std::make_tuple(std::vector<std::uint32_t>{2, 4, 0xffffffffu}, true, true, false, true, false));
}

TEST(ListedWindowsTest, TheWheelTurnsOnlyWhileTheTargetIsUnderOurPointer) {
  const std::vector<std::tuple<const char*, std::optional<Point>, std::uint32_t, WheelResult, std::vector<int>>>
      cases = {
          {"over the target", Point{60, 30}, 1, WheelResult::Posted, {120}},
          {"another window over it", Point{60, 30}, 2, WheelResult::TargetChanged, {}},
          {"over no window", Point{2000, 5}, 1, WheelResult::TargetChanged, {}},
          {"pointer never placed", std::nullopt, 1, WheelResult::CannotCreate, {}},
      };
  for (const auto& [name, at, target, result, turned] : cases) {
    FakeListed system;
    system.at = at;
    EXPECT_EQ(std::make_tuple(system.scrollWheel(120, target), system.turned), std::make_tuple(result, turned))
        << name;
  }
  FakeListed lost;
  lost.at = Point{60, 30};
  lost.answers = false;
  EXPECT_EQ(std::make_tuple(lost.scrollWheel(120, 1), lost.pidAt({60, 30})),
            std::make_tuple(WheelResult::TargetChanged, std::optional<std::int32_t>()));
}

}  // namespace
}  // namespace quorvane::input::wayland
