#include "common/wayland/plasma_windows.h"

#include <gtest/gtest.h>

namespace quorvane::wayland {
namespace {

TEST(PlasmaDesktopTest, OnlyAnUnmovableUncloseableWindowOffTheTaskbarIsTheDesktop) {
  const struct { std::uint32_t state; bool desktop; } cases[] = {
      {kPlasmaSkipTaskbar, true},
      {kPlasmaSkipTaskbar | kPlasmaSkipSwitcher | kPlasmaOnAllDesktops | kPlasmaKeepBelow, true},
      {kPlasmaSkipTaskbar | kPlasmaMovable, false},     // a dialog kept off the taskbar
      {kPlasmaSkipTaskbar | kPlasmaCloseable, false},
      {0, false},                                       // a fixed window that shows in the taskbar
      {kPlasmaMovable | kPlasmaCloseable | kPlasmaActive, false},
  };
  for (const auto& c : cases) EXPECT_EQ(isPlasmaDesktop(c.state), c.desktop) << std::hex << c.state;
}

TEST(StackingOrderTest, SplitsOnSemicolonsWithinTheBounds) {
  const std::string longest(kMaxPlasmaUuid, 'x'), longUuid(kMaxPlasmaUuid + 1, 'x');
  using List = std::vector<std::string>;
  const struct { std::string text; std::size_t limit; List expected; } cases[] = {
      {"", 8, {}},
      {"{a}", 8, {"{a}"}},
      {"{a};{b};{c}", 8, {"{a}", "{b}", "{c}"}},
      {"{a};;{b};", 8, {"{a}", "{b}"}},
      {"{a};" + longUuid + ";{b};" + longest, 8, {"{a}", "{b}", longest}},
      {"{a};{b};{c}", 2, {"{a}", "{b}"}},
  };
  for (const auto& c : cases) EXPECT_EQ(splitStackingOrder(c.text, c.limit), c.expected) << c.text;
}

std::vector<std::string> uuids(const std::vector<PlasmaWindow>& windows) {
  std::vector<std::string> out;
  for (const auto& w : windows) out.push_back(w.uuid);
  return out;
}

TEST(FrontToBackTest, ReversesTheStackingOrderWithUnstackedWindowsOnTop) {
  auto windows = [](std::vector<std::string> ids) {
    std::vector<PlasmaWindow> out;
    for (auto& id : ids) out.push_back(PlasmaWindow{.uuid = id, .appId = {}, .title = {}});
    return out;
  };
  using List = std::vector<std::string>;
  const struct { const char* name; List mapped, bottomToTop, expected; } cases[] = {
      {"stacked", {"a", "b", "c"}, {"b", "c", "a"}, {"a", "c", "b"}},
      {"newest not stacked yet", {"a", "b", "c", "d"}, {"b", "a"}, {"d", "c", "a", "b"}},
      {"stacked but not described", {"a"}, {"x", "a", "y"}, {"a"}},
      {"nothing", {}, {"a"}, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(uuids(frontToBack(windows(c.mapped), c.bottomToTop)), c.expected) << c.name;
}

TEST(FrontToBackTest, KeepsEachWindowsDescription) {
  const PlasmaWindow a{.uuid = "a", .appId = "app", .title = "A", .pid = 7, .x = -5, .y = 10, .width = 300,
                       .height = 200, .hasGeometry = true, .state = kPlasmaActive};
  const PlasmaWindow b{.uuid = "b", .appId = {}, .title = {}, .pid = 8};
  EXPECT_EQ(frontToBack({a, b}, {"a", "b"}), (std::vector<PlasmaWindow>{b, a}));
}

}  // namespace
}  // namespace quorvane::wayland
