#include "common/wayland/sway_tree.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvane::wayland {

void PrintTo(const SwayRect& r, std::ostream* os) { *os << r.x << "," << r.y << " " << r.width << "x" << r.height; }

namespace {

std::string rect(int x, int y, int w, int h) {
  return "{\"x\":" + std::to_string(x) + ",\"y\":" + std::to_string(y) + ",\"width\":" + std::to_string(w) +
         ",\"height\":" + std::to_string(h) + "}";
}

// A window node with the members sway gives a view.
std::string view(int id, int pid, const std::string& app, const std::string& more = "") {
  return R"({"id":)" + std::to_string(id) + R"(,"type":"con","name":")" + app + R"(","pid":)" + std::to_string(pid) +
         R"(,"app_id":")" + app + R"(","rect":)" + rect(0, 25, 640, 695) + R"(,"deco_rect":)" + rect(0, 0, 640, 25) +
         R"(,"window_rect":)" + rect(2, 0, 636, 693) + R"(,"nodes":[],"floating_nodes":[],"focus":[])" + more + "}";
}

// sway's shape: the scratchpad's output first, then an output, its workspace,
// a tabbed container and a floating window.
const std::string kTree =
    R"({"id":1,"type":"root","name":"root","rect":)" + rect(0, 0, 1280, 720) + R"(,"focus":[3,2],"nodes":[)"
    R"({"id":2,"type":"output","name":"__i3","nodes":[{"id":5,"type":"workspace","name":"__i3_scratch",)"
    R"("nodes":[],"floating_nodes":[)" + view(9, 40, "hidden", R"(,"visible":false,"type":"floating_con")") + "]}]},"
    R"({"id":3,"type":"output","name":"HEADLESS-1","focus":[4],"nodes":[{"id":4,"type":"workspace","name":"1",)"
    R"("output":"HEADLESS-1","focus":[7,6],"nodes":[{"id":6,"type":"con","name":null,"layout":"tabbed",)"
    R"("focus":[8],"nodes":[)" + view(8, 41, "app", R"(,"focused":true,"visible":true)") + R"(]}],)"
    R"("floating_nodes":[)" + view(7, 42, "float", R"(,"visible":true,"type":"floating_con")") + "]}]}]}";

TEST(SwayTree, ReadsEveryWindowInTreeOrderWithWhereItIs) {
  auto tree = readSwayTree(kTree);
  ASSERT_TRUE(tree);
  using Row = std::tuple<std::int64_t, std::optional<std::int32_t>, std::string, std::optional<SwayRect>,
                         std::optional<SwayRect>, bool, std::optional<bool>, bool, std::string, std::string, bool>;
  std::vector<Row> windows;
  for (std::size_t i = 0; i < tree->nodes.size(); ++i) {
    const auto& n = tree->nodes[i];
    if (!n.window) continue;
    const auto* output = tree->holding(i, SwayNodeType::output);
    const auto* workspace = tree->holding(i, SwayNodeType::workspace);
    windows.emplace_back(n.id, n.pid, n.appId, n.rect, n.decoRect, n.floating, n.visible, n.focused,
                         output ? output->name : "", workspace ? workspace->name : "", tree->inScratchpad(i));
  }
  const SwayRect where{0, 25, 640, 695}, title{0, 0, 640, 25};
  const std::string out = "HEADLESS-1", scratch = "__i3_scratch";
  EXPECT_EQ(windows, (std::vector<Row>{{9, 40, "hidden", where, title, true, false, false, "__i3", scratch, true},
                                       {8, 41, "app", where, title, false, true, true, out, "1", false},
                                       {7, 42, "float", where, title, true, true, false, out, "1", false}}));
  const auto& workspace = tree->nodes[5];
  EXPECT_EQ(std::tuple(workspace.type, workspace.output, workspace.focus, tree->nodes[8].windowRect),
            std::tuple(SwayNodeType::workspace, std::string("HEADLESS-1"), std::vector<std::int64_t>{7, 6},
                       std::optional(SwayRect{2, 0, 636, 693})));
}

// A member of another type than sway gives is left unset and marks its node;
// the rest of the tree is read.
TEST(SwayTree, AMalformedMemberMarksItsNodeOnly) {
  const std::tuple<std::string, std::optional<std::int32_t>, std::optional<SwayRect>, bool> cases[] = {
      {R"("pid":7,"rect":)" + rect(1, 2, 3, 4), 7, SwayRect{1, 2, 3, 4}, false},
      {R"("pid":"7")", std::nullopt, std::nullopt, true},
      {R"("pid":-7)", std::nullopt, std::nullopt, true},
      {R"("pid":7,"rect":{"x":1,"y":2,"width":3})", 7, std::nullopt, true},
      {R"("pid":7,"rect":{"x":1,"y":2,"width":3,"height":4.5})", 7, std::nullopt, true},
      {R"("pid":7,"rect":{"x":1,"y":2,"width":3,"height":4294967296})", 7, std::nullopt, true},
      {R"("pid":7,"rect":7)", 7, std::nullopt, true},
      {R"("pid":7,"visible":1)", 7, std::nullopt, true},
      {R"("pid":7,"name":[],"marks":[[{"a":{}}]])", 7, std::nullopt, true},
  };
  for (const auto& [members, pid, where, malformed] : cases) {
    auto tree = readSwayTree(R"({"nodes":[{)" + members + R"(},{"pid":8}]})");
    ASSERT_TRUE(tree) << members;
    ASSERT_EQ(tree->nodes.size(), 3u) << members;
    const auto& n = tree->nodes[1];
    EXPECT_EQ(std::tuple(n.window, n.pid, n.rect, n.malformed), std::tuple(true, pid, where, malformed)) << members;
    EXPECT_EQ(std::tuple(tree->nodes[2].pid, tree->nodes[2].malformed), std::tuple(8, false)) << members;
  }
}

std::string nested(int depth) {
  std::string open, close;
  for (int i = 0; i < depth - 1; ++i) open += R"({"nodes":[)", close += "]}";
  return open + "{}" + close;
}

std::string wide(std::size_t children) {
  std::string nodes;
  for (std::size_t i = 0; i < children; ++i) nodes += i ? ",{}" : "{}";
  return R"({"nodes":[)" + nodes + "]}";
}

TEST(SwayTree, WhatIsNoTreeOrPassesABoundIsRefused) {
  const std::pair<std::string, bool> cases[] = {
      {"[1,2", false},
      {"[{}]", false},
      {"7", false},
      {R"({"nodes":7})", false},
      {R"({"nodes":{}})", false},
      {R"({"nodes":[7]})", false},
      {R"({"nodes":[[]]})", false},
      {R"({"floating_nodes":[{}]} {})", false},
      {nested(kMaxSwayDepth), true},
      {nested(kMaxSwayDepth + 1), false},
      {wide(kMaxSwayNodes - 1), true},
      {wide(kMaxSwayNodes), false},
      {R"({"marks":)" + std::string(200, '[') + std::string(200, ']') + "}", false},
  };
  for (const auto& [text, read] : cases) EXPECT_EQ(readSwayTree(text).has_value(), read) << text.substr(0, 60);
  std::string ids = "1";
  for (std::size_t i = 0; i < kMaxSwayNodes; ++i) ids += ",1";
  EXPECT_EQ(readSwayTree(R"({"focus":[)" + ids + "]}"), std::nullopt);
  auto named = readSwayTree(R"({"name":")" + std::string(5000, 'n') + R"("})");
  ASSERT_TRUE(named);
  EXPECT_EQ(named->nodes[0].name.size(), kMaxSwayText);
}

}  // namespace
}  // namespace quorvane::wayland
