#include "input/kde/plasma_list.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace quorvane::input::kde {
namespace {

using namespace quorvane::wayland;

constexpr std::uint32_t kDesktopState = kPlasmaOnAllDesktops | kPlasmaSkipTaskbar | kPlasmaSkipSwitcher;

PlasmaWindow window(const std::string& uuid, std::uint32_t pid, std::uint32_t state = kPlasmaCloseable,
                    const std::string& appId = "app") {
  return PlasmaWindow{.uuid = uuid, .appId = appId, .title = "title", .pid = pid, .x = 10, .y = -20, .width = 300,
                      .height = 200, .hasGeometry = true, .state = state};
}

// An entry as the core reads it: number, layer, on screen, pid, name, bounds.
using Entry = std::tuple<std::optional<std::uint32_t>, std::optional<std::int64_t>, std::optional<bool>,
                         std::optional<std::int32_t>, std::optional<std::string>, std::optional<Rect>>;
std::vector<Entry> entries(const WindowList& list) {
  std::vector<Entry> out;
  for (const auto& d : list) {
    out.emplace_back(asU32(d, WindowKey::Number), asInteger(d, WindowKey::Layer), asBool(d, WindowKey::IsOnscreen),
                     asI32(d, WindowKey::OwnerPid), asString(d, WindowKey::OwnerName), asRect(d, WindowKey::Bounds));
  }
  return out;
}

TEST(PlasmaListTest, WindowNumbersAreTheUuidsFnv1aHashFixedForGood) {
  const std::vector<std::tuple<std::string, std::uint32_t>> cases = {
      {"", 2166136261u},
      {"a", 0xe40c292cu},
      {"foobar", 0xbf9cf968u},
  };
  for (const auto& [uuid, number] : cases) EXPECT_EQ(windowNumber(uuid), number) << uuid;
  EXPECT_NE(windowNumber("{11111111-0000-0000-0000-000000000000}"),
            windowNumber("{11111111-0000-0000-0000-000000000001}"));
}

TEST(PlasmaListTest, EachWindowBecomesAnEntryAndPlasmasDesktopNone) {
  const Rect frame{10, -20, 300, 200};
  PlasmaWindow unplaced = window("u", 7);
  unplaced.hasGeometry = false;
  struct Case {
    const char* name;
    PlasmaWindow w;
    bool onScreenOnly;
    std::vector<Entry> expected;
  };
  const std::vector<Case> cases = {
      {"normal", window("n", 42), true, {{windowNumber("n"), 0, true, 42, "app", frame}}},
      {"kept below the others", window("b", 42, kPlasmaCloseable | kPlasmaKeepBelow), true,
       {{windowNumber("b"), -1, true, 42, "app", frame}}},
      {"minimised, on screen only", window("m", 42, kPlasmaMinimized), true, {}},
      {"minimised, any", window("m", 42, kPlasmaMinimized), false, {{windowNumber("m"), 0, false, 42, "app", frame}}},
      {"Plasma's desktop", window("d", 9, kDesktopState), false, {}},
      {"owner not told", window("p", 0), true, {{windowNumber("p"), 0, true, std::nullopt, "app", frame}}},
      {"largest pid", window("l", 0x7fffffffu), true, {{windowNumber("l"), 0, true, 0x7fffffff, "app", frame}}},
      {"owner beyond a pid", window("q", 0x80000000u), true,
       {{windowNumber("q"), 0, true, std::nullopt, "app", frame}}},
      {"no app id", window("e", 5, kPlasmaCloseable, ""), true,
       {{windowNumber("e"), 0, true, 5, std::nullopt, frame}}},
      {"app id not UTF-8", window("x", 5, kPlasmaCloseable, "a\xff"), true,
       {{windowNumber("x"), 0, true, 5, "a\xEF\xBF\xBD", frame}}},
      {"no geometry yet", unplaced, true, {{windowNumber("u"), 0, true, 7, "app", std::nullopt}}},
  };
  for (const auto& c : cases) EXPECT_EQ(entries(plasmaWindowList({c.w}, c.onScreenOnly)), c.expected) << c.name;
}

TEST(PlasmaListTest, TheListKeepsKWinsFrontToBackOrder) {
  const auto list = plasmaWindowList({window("front", 1), window("desk", 2, kDesktopState), window("back", 3)}, true);
  std::vector<std::optional<std::int32_t>> pids;
  for (const auto& d : list) pids.push_back(asI32(d, WindowKey::OwnerPid));
  EXPECT_EQ(pids, (std::vector<std::optional<std::int32_t>>{1, 3}));
}

TEST(PlasmaListTest, AWindowIsFoundByItsNumberOnlyWhenOneHasIt) {
  const std::vector<PlasmaWindow> windows = {window("a", 1), window("twin", 2), window("twin", 3),
                                             window("desk", 4, kDesktopState)};
  const std::vector<std::tuple<const char*, std::uint32_t, std::optional<std::uint32_t>>> cases = {
      {"one has it", windowNumber("a"), 1},
      {"none has it", windowNumber("z"), std::nullopt},
      {"two have it", windowNumber("twin"), std::nullopt},
      {"Plasma's desktop", windowNumber("desk"), std::nullopt},
  };
  for (const auto& [name, number, pid] : cases) {
    auto found = windowNumbered(windows, number);
    EXPECT_EQ(found ? std::optional(found->pid) : std::nullopt, pid) << name;
  }
}

TEST(PlasmaListTest, TheActiveWindowsOwnerIsInFront) {
  const std::vector<std::tuple<const char*, std::vector<PlasmaWindow>, std::optional<std::int32_t>>> cases = {
      {"second active", {window("a", 1), window("b", 2, kPlasmaActive)}, 2},
      {"none active", {window("a", 1), window("b", 2)}, std::nullopt},
      {"owner not told", {window("a", 0, kPlasmaActive), window("b", 2)}, std::nullopt},
  };
  for (const auto& [name, windows, pid] : cases) EXPECT_EQ(activePid(windows), pid) << name;
}

TEST(PlasmaListTest, AnOwnersFrontWindowIsItsFirstListedBesidesPlasmasDesktop) {
  const std::vector<PlasmaWindow> windows = {window("desk", 5, kDesktopState), window("other", 6),
                                             window("min", 5, kPlasmaMinimized), window("back", 5)};
  const std::vector<std::tuple<std::int32_t, std::optional<std::string>>> cases = {
      {5, "min"}, {6, "other"}, {7, std::nullopt}};
  for (const auto& [pid, uuid] : cases) {
    auto found = frontWindowOf(windows, pid);
    EXPECT_EQ(found ? std::optional(found->uuid) : std::nullopt, uuid) << pid;
  }
}

}  // namespace
}  // namespace quorvane::input::kde
