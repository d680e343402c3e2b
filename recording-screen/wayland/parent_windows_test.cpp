#include "recording-screen/wayland/parent_windows.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvane::recording::wayland {

void PrintTo(const PixelRect& r, std::ostream* os) { *os << r.x << "," << r.y << " " << r.width << "x" << r.height; }

namespace {

using quorvane::wayland::readSwayTree;

// A window node of sway's tree; its id is its pid.
std::string view(int pid, int x, int y, int w, int h, const std::string& more = "") {
  return R"({"type":"con","id":)" + std::to_string(pid) + R"(,"pid":)" + std::to_string(pid) + R"(,"rect":{"x":)" +
         std::to_string(x) + R"(,"y":)" + std::to_string(y) + R"(,"width":)" + std::to_string(w) +
         R"(,"height":)" + std::to_string(h) + "}" + more + "}";
}

// Outputs, workspaces (on the second output), tiled and floating windows, as sway nests them.
std::string tree(const std::string& tiled, const std::string& floating = "") {
  return R"({"type":"root","nodes":[{"type":"output","nodes":[{"type":"workspace",)"
         R"("rect":{"x":1280,"y":0,"width":1280,"height":720},"nodes":[)" + tiled +
         R"(],"floating_nodes":[)" + floating + "]}]}]}";
}

std::vector<PixelRect> covered(const std::string& text, const OutputPlace& output, std::vector<Place> before = {}) {
  return coveredBy(swayWindows(readSwayTree(text)), {7, 99}, output, before).pixels;
}

const OutputPlace kSecond{1280, 0, 1280, 720, 1280, 720, false};  // right of a first output
const OutputPlace kHiDpi{0, 0, 640, 360, 1280, 720, false};      // scale 2
const OutputPlace kTurned{0, 0, 720, 1280, 720, 1280, true};
const std::string kTitle = R"(,"deco_rect":{"x":10,"y":0,"width":100,"height":25})";

TEST(ParentWindowsTest, CoversTheApplicationsWindowsOnThatOutputOnly) {
  const struct {
    const char* name;
    std::string tree;
    OutputPlace output;
    std::vector<PixelRect> covered;
  } cases[] = {
      {"tiled and floating, in output pixels", tree(view(7, 1300, 10, 100, 50), view(7, 2000, 600, 100, 50)),
       kSecond, {{20, 10, 100, 50}, {720, 600, 100, 50}}},
      {"other pids left alone", tree(view(8, 1300, 10, 100, 50)), kSecond, {}},
      {"on another output", tree(view(7, 0, 0, 1280, 720)), kSecond, {}},
      {"cut at the output's edges", tree(view(7, 1200, -20, 200, 100)), kSecond, {{0, 0, 120, 80}}},
      {"scaled, rounded outwards", tree(view(7, 10, 10, 5, 5), view(7, 0, 0, 0, 0)),
       OutputPlace{0, 0, 640, 360, 1000, 500, false}, {{15, 13, 9, 8}}},
      {"under another window: what shows", tree(view(7, 1280, 0, 300, 300), view(8, 1380, 100, 100, 300)), kSecond,
       {{0, 0, 300, 100}, {0, 100, 100, 200}, {200, 100, 100, 200}}},
      {"over another window: all of it", tree(view(8, 1380, 100, 100, 300), view(7, 1280, 0, 300, 300)), kSecond,
       {{0, 0, 300, 300}}},
      {"title bar, placed in the parent", tree(view(7, 1280, 25, 100, 50, kTitle)), kSecond,
       {{0, 25, 100, 50}, {10, 0, 100, 25}}},
      {"a title bar of theirs without a place", tree(view(7, 1280, 25, 100, 50, R"(,"deco_rect":7)")), kHiDpi,
       {{0, 0, 1280, 720}}},
      {"hidden workspace", tree(view(7, 1300, 10, 100, 50, R"(,"visible":false)")), kSecond, {}},
      {"not a tree", "[1,2", kHiDpi, {{0, 0, 1280, 720}}},
      {"a window of theirs without a place", tree(R"({"pid":7,"rect":{"x":1}})"), kHiDpi, {{0, 0, 1280, 720}}},
      {"a window without an owner", tree(R"({"pid":null,"rect":{"x":1,"y":1,"width":1,"height":1}})"), kHiDpi,
       {{0, 0, 1280, 720}}},
      {"turned output they touch", tree(view(7, 0, 0, 10, 10)), kTurned, {{0, 0, 720, 1280}}},
      {"turned output they miss", tree(view(7, 900, 0, 10, 10)), kTurned, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(covered(c.tree, c.output), c.covered) << c.name;
}

// The frame was copied before the tree was read: where their windows lay at
// the look before counts too, at the window's own level.
TEST(ParentWindowsTest, AWindowOfTheirsIsAlsoCoveredWhereItLayBefore) {
  const std::vector<Place> before{{7, 1280, 0, 1380, 100}, {5, 2000, 0, 2010, 10}};
  const struct {
    const char* name;
    std::string tree;
    std::vector<PixelRect> covered;
  } cases[] = {
      {"moved, and one gone", tree(view(7, 1480, 0, 100, 100)), {{200, 0, 100, 100}, {0, 0, 100, 100},
                                                                 {720, 0, 10, 10}}},
      {"another window over where it lay", tree(view(7, 1480, 0, 100, 100), view(8, 1280, 0, 50, 100)),
       {{200, 0, 100, 100}, {50, 0, 50, 100}, {720, 0, 10, 10}}},
      {"not read", "{", {{0, 0, 1280, 720}}},
  };
  for (const auto& c : cases) EXPECT_EQ(covered(c.tree, kSecond, before), c.covered) << c.name;
  const auto next =
      coveredBy(swayWindows(readSwayTree(tree(view(7, 1480, 0, 100, 100, kTitle)))), {7}, kSecond, before).places;
  EXPECT_EQ(next, (std::vector<Place>{{7, 1480, 0, 1580, 100}, {7, 1290, 0, 1390, 25}}));
  EXPECT_EQ(coveredBy(std::nullopt, {7}, kSecond, before).places, before);  // kept until a tree is read
}

TEST(ParentWindowsTest, TreePidsListsEachOwnerOnce) {
  EXPECT_EQ(treePids(readSwayTree(tree(view(7, 0, 0, 1, 1) + "," + view(9, 0, 0, 1, 1), view(7, 0, 0, 1, 1)))),
            (std::vector<std::int32_t>{7, 9}));
  EXPECT_EQ(treePids(readSwayTree(R"({"nodes":7})")), std::vector<std::int32_t>{});
}

}  // namespace
}  // namespace quorvane::recording::wayland
