#include "input/sway/tree_windows.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace quorvane::input::sway {
namespace {

std::string rect(int x, int y, int w, int h) {
  return "{\"x\":" + std::to_string(x) + ",\"y\":" + std::to_string(y) + ",\"width\":" + std::to_string(w) +
         ",\"height\":" + std::to_string(h) + "}";
}

// A view as sway gives one: `where` excludes the title bar, `deco` places it within the parent.
std::string view(long long id, int pid, const std::string& app, const std::string& where, const std::string& more = "",
                 const std::string& deco = rect(0, 0, 0, 0)) {
  return R"({"id":)" + std::to_string(id) + R"(,"type":"con","pid":)" + std::to_string(pid) + R"(,"app_id":")" + app +
         R"(","rect":)" + where + R"(,"deco_rect":)" + deco + R"(,"nodes":[],"floating_nodes":[])" + more + "}";
}
std::string shown(const std::string& more = "") { return R"(,"visible":true)" + more; }

std::string workspace(int id, const std::string& name, const std::string& at, const std::string& focus,
                      const std::string& tiled, const std::string& floating) {
  return R"({"id":)" + std::to_string(id) + R"(,"type":"workspace","name":")" + name + R"(","rect":)" + at +
         R"(,"focus":[)" + focus + R"(],"nodes":[)" + tiled + R"(],"floating_nodes":[)" + floating + "]}";
}

std::string output(int id, const std::string& name, const std::string& focus, const std::string& workspaces) {
  return R"({"id":)" + std::to_string(id) + R"(,"type":"output","name":")" + name + R"(","focus":[)" + focus +
         R"(],"nodes":[)" + workspaces + "]}";
}

std::string root(const std::string& focus, const std::string& outputs) {
  return R"({"id":1,"type":"root","rect":)" + rect(0, 0, 2560, 720) + R"(,"focus":[)" + focus + R"(],"nodes":[)" +
         outputs + "]}";
}

// Two outputs, the right one focused last. On the left: two tiled views (the
// second focused last) and two floating ones with title bars (the second on
// top), a workspace not shown and the scratchpad; on the right, a view in a
// tabbed container whose other tab is hidden.
const std::string kTree = root(
    "3,10",
    output(2, "__i3", "", workspace(90, "__i3_scratch", rect(0, 0, 0, 0), "", "",
                                    view(91, 50, "scratch", rect(0, 0, 300, 200), R"(,"visible":false)"))) + "," +
        output(10, "LEFT", "11,12",
               workspace(11, "1", rect(0, 0, 1280, 720), "21,14,13,22",
                         view(13, 41, "first", rect(0, 0, 640, 720), shown()) + "," +
                             view(14, 42, "second", rect(640, 0, 640, 720), shown()),
                         view(21, 43, "low", rect(100, 130, 400, 300), shown(), rect(100, 100, 400, 30)) + "," +
                             view(22, 44, "top", rect(200, 230, 400, 300), shown(), rect(200, 200, 400, 30))) +
                   "," + workspace(12, "2", rect(0, 0, 1280, 720), "15", view(15, 45, "elsewhere",
                                                                               rect(0, 0, 1280, 720)), "")) +
        "," +
        output(3, "RIGHT", "4",
               workspace(4, "3", rect(1280, 0, 1280, 720), "5",
                         R"({"id":5,"type":"con","rect":)" + rect(1280, 0, 1280, 720) + R"(,"focus":[7,6],"nodes":[)" +
                             view(6, 46, "", rect(1280, 20, 1280, 700), R"(,"visible":false)") + "," +
                             view(7, 47, "tab", rect(1280, 20, 1280, 700), shown(R"(,"focused":true)"),
                                  rect(640, 0, 640, 20)) + R"(],"floating_nodes":[]})",
                         "")));

using Row = std::tuple<std::optional<std::uint32_t>, std::optional<std::int32_t>, std::optional<std::string>,
                       std::optional<Rect>, std::optional<bool>>;

std::vector<Row> rows(const WindowList& list) {
  std::vector<Row> out;
  for (const auto& d : list) {
    out.emplace_back(asU32(d, WindowKey::Number), asI32(d, WindowKey::OwnerPid), asString(d, WindowKey::OwnerName),
                     asRect(d, WindowKey::Bounds), asBool(d, WindowKey::IsOnscreen));
  }
  return out;
}

TEST(TreeWindows, ListsViewsFrontToBackWithTheirFramesOwnersAndNames) {
  auto tree = quorvane::wayland::readSwayTree(kTree);
  ASSERT_TRUE(tree);
  const Row tab{7, 47, "tab", Rect{1280, 0, 1280, 720}, true};  // with its title in the container's first row
  const Row top{22, 44, "top", Rect{200, 200, 400, 330}, true}, low{21, 43, "low", Rect{100, 100, 400, 330}, true};
  const Row second{14, 42, "second", Rect{640, 0, 640, 720}, true}, first{13, 41, "first", Rect{0, 0, 640, 720}, true};
  EXPECT_EQ(rows(treeWindows(*tree, true)), (std::vector<Row>{tab, top, low, second, first}));
  // Every view, hidden tabs, other workspaces and the scratchpad included.
  const Row hiddenTab{6, 46, std::nullopt, Rect{1280, 20, 1280, 700}, false};
  const Row elsewhere{15, 45, "elsewhere", Rect{0, 0, 1280, 720}, false};
  const Row scratch{91, 50, "scratch", Rect{0, 0, 300, 200}, false};
  EXPECT_EQ(rows(treeWindows(*tree, false)), (std::vector<Row>{tab, hiddenTab, top, low, second, first, elsewhere,
                                                                scratch}));
}

TEST(TreeWindows, FocusedOwnerAndFrontViewOfAnOwner) {
  auto tree = quorvane::wayland::readSwayTree(kTree);
  ASSERT_TRUE(tree);
  EXPECT_EQ(std::tuple(focusedPid(*tree), frontViewOf(*tree, 43), frontViewOf(*tree, 45), frontViewOf(*tree, 99)),
            std::tuple(std::optional(47), std::optional(21u), std::optional(15u), std::optional<std::uint32_t>()));
  auto emptyWorkspace = quorvane::wayland::readSwayTree(
      root("2", output(2, "LEFT", "3", R"({"id":3,"type":"workspace","focused":true,"nodes":[]})")));
  ASSERT_TRUE(emptyWorkspace);
  EXPECT_EQ(focusedPid(*emptyWorkspace), std::nullopt);
}

TEST(TreeWindows, KeysSwayCannotGiveAreLeftOut) {
  const struct { std::string view; Row row; } cases[] = {
      {view(4294967296LL, 7, "big", rect(0, 0, 10, 10), shown()), {std::nullopt, 7, "big", Rect{0, 0, 10, 10}, true}},
      // A title bar whose parent has no rectangle cannot be placed.
      {view(9, 7, "a", rect(0, 0, 10, 10), shown(), rect(0, 0, 10, 5)), {9, 7, "a", std::nullopt, true}},
      {R"({"id":10,"type":"con","pid":0,"rect":5,"nodes":[]})", {10, std::nullopt, std::nullopt, std::nullopt, false}},
  };
  for (const auto& c : cases) {
    auto tree = quorvane::wayland::readSwayTree(R"({"id":1,"type":"root","nodes":[)" + c.view + "]}");
    ASSERT_TRUE(tree) << c.view;
    EXPECT_EQ(rows(treeWindows(*tree, false)), std::vector<Row>{c.row}) << c.view;
  }
}

TEST(TreeWindows, CommandsSucceedOnlyWhenSwaySaysSoForEach) {
  const std::pair<std::string, bool> cases[] = {
      {R"([{"success":true}])", true},          {R"([{"success":true},{"success":true}])", true},
      {R"([{"success":true},{"success":false,"error":"x"}])", false},
      {R"([{"success":false}])", false},        {R"([])", false},
      {R"({"success":true})", false},           {R"([{"success":1}])", false},
      {"not json", false},                      {R"([true])", false},
  };
  for (const auto& [reply, ok] : cases) EXPECT_EQ(commandsSucceeded(reply), ok) << reply;
}

}  // namespace
}  // namespace quorvane::input::sway
