#include "recording-screen/wayland/parent_windows.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvane::recording::wayland {

bool operator==(const PixelRect& a, const PixelRect& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

namespace {

// A window node of sway's tree.
std::string view(int pid, int x, int y, int w, int h, const std::string& more = "") {
  return R"({"type":"con","pid":)" + std::to_string(pid) + R"(,"rect":{"x":)" + std::to_string(x) +
         R"(,"y":)" + std::to_string(y) + R"(,"width":)" + std::to_string(w) + R"(,"height":)" +
         std::to_string(h) + "}" + more + "}";
}

// Outputs, workspaces (on the second output), tiled and floating windows, as sway nests them.
std::string tree(const std::string& tiled, const std::string& floating = "") {
  return R"({"type":"root","nodes":[{"type":"output","nodes":[{"type":"workspace",)"
         R"("rect":{"x":1280,"y":0,"width":1280,"height":720},"nodes":[)" + tiled +
         R"(],"floating_nodes":[)" + floating + "]}]}]}";
}

const OutputPlace kSecond{1280, 0, 1280, 720, 1280, 720, false};  // right of a first output
const OutputPlace kHiDpi{0, 0, 640, 360, 1280, 720, false};      // scale 2

TEST(ParentWindowsTest, CoversTheApplicationsWindowsOnThatOutputOnly) {
  const struct { const char* name; std::string tree; OutputPlace output; std::vector<PixelRect> covered; } cases[] = {
      {"tiled and floating, in output pixels", tree(view(7, 1300, 10, 100, 50), view(7, 2000, 600, 100, 50)), kSecond,
       {{20, 10, 100, 50}, {720, 600, 100, 50}}},
      {"other pids left alone", tree(view(8, 1300, 10, 100, 50)), kSecond, {}},
      {"on another output", tree(view(7, 0, 0, 1280, 720)), kSecond, {}},
      {"cut at the output's edges", tree(view(7, 1200, -20, 200, 100)), kSecond, {{0, 0, 120, 80}}},
      {"scaled, rounded outwards", tree(view(7, 10, 10, 5, 5), view(7, 0, 0, 0, 0)), OutputPlace{0, 0, 640, 360, 1000, 500, false},
       {{15, 13, 9, 8}}},
      {"under another window: what shows", tree(view(7, 1280, 0, 300, 300), view(8, 1380, 100, 100, 300)), kSecond,
       {{0, 0, 300, 100}, {0, 100, 100, 200}, {200, 100, 100, 200}}},
      {"over another window: all of it", tree(view(8, 1380, 100, 100, 300), view(7, 1280, 0, 300, 300)), kSecond,
       {{0, 0, 300, 300}}},
      {"title bar, placed in the parent", tree(view(7, 1280, 25, 100, 50, R"(,"deco_rect":{"x":10,"y":0,"width":100,"height":25})")),
       kSecond, {{10, 0, 100, 25}, {0, 25, 100, 50}}},
      {"a title bar of theirs without a place", tree(view(7, 1280, 25, 100, 50, R"(,"deco_rect":7)")), kHiDpi,
       {{0, 0, 1280, 720}}},
      {"hidden workspace", tree(view(7, 1300, 10, 100, 50, R"(,"visible":false)")), kSecond, {}},
      {"not a tree", "[1,2", kHiDpi, {{0, 0, 1280, 720}}},
      {"a window of theirs without a place", tree(R"({"pid":7,"rect":{"x":1}})"), kHiDpi, {{0, 0, 1280, 720}}},
      {"turned output they touch", tree(view(7, 0, 0, 10, 10)), OutputPlace{0, 0, 720, 1280, 720, 1280, true},
       {{0, 0, 720, 1280}}},
      {"turned output they miss", tree(view(7, 900, 0, 10, 10)), OutputPlace{0, 0, 720, 1280, 720, 1280, true}, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(coveredBy(c.tree, {7, 99}, c.output), c.covered) << c.name;
}

TEST(ParentWindowsTest, TreePidsListsEachOwnerOnce) {
  EXPECT_EQ(treePids(tree(view(7, 0, 0, 1, 1) + "," + view(9, 0, 0, 1, 1), view(7, 0, 0, 1, 1))),
            (std::vector<std::int32_t>{7, 9}));
  EXPECT_EQ(treePids(R"({"nodes":7})"), std::vector<std::int32_t>{});
}

}  // namespace
}  // namespace quorvane::recording::wayland
