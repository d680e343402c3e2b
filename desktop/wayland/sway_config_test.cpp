#include "desktop/wayland/sway_wallpaper.h"

#include <gtest/gtest.h>

namespace quorvane::desktop::wayland {
namespace {

// The background as "file|mode|color", or "none".
std::string summary(const std::optional<SwayBackground>& b) {
  return b ? b->file + "|" + b->mode + "|" + b->color : "none";
}

// A configuration of `lines` copies of `line`.
std::string repeated(const std::string& line, std::size_t lines) {
  std::string text;
  for (std::size_t i = 0; i < lines; ++i) text += line;
  return text;
}

TEST(SwayBackgroundTest, PicksTheLinesSwayAppliesToTheOutput) {
  const struct { const char* name; const char* config; const char* output; const char* expected; } cases[] = {
      {"wildcard", "output * bg /w.png fill\n", "HEADLESS-1", "/w.png|fill|"},
      {"named beats wildcard in any order", "output HEADLESS-1 bg /a.png fit #102030\noutput * bg /w.png fill\n",
       "HEADLESS-1", "/a.png|fit|#102030"},
      {"another output's line", "output HEADLESS-2 bg /a.png fill\n", "HEADLESS-1", "none"},
      {"the last line wins", "output * bg /a.png fill\noutput * background /b.png center\n", "X", "/b.png|center|"},
      {"after other subcommands", "output X resolution 800x600 position 0,0 bg /a.png tile", "X", "/a.png|tile|"},
      {"solid colour", "output * bg #336699 solid_color\n", "X", "|solid_color|#336699"},
      {"no mode is stretch", "output * bg /a.png\n", "X", "/a.png|stretch|"},
      {"quotes and home", "output * bg \"~/My Pictures/a b.png\" fill\n", "X", "/home/u/My Pictures/a b.png|fill|"},
      {"variables, longest name first", "set $wall /w\nset $wallpaper /p.png\noutput * bg $wallpaper fill\n", "X",
       "/p.png|fill|"},
      {"a value is not expanded again", "set $a $b\nset $b /b.png\noutput * bg $a/$b fill\n", "X", "$b//b.png|fill|"},
      {"a name not set stays", "output * bg /$x.png fill\n", "X", "/$x.png|fill|"},
      {"a block", "output X {\n  mode 800x600\n  bg /blk.png fit\n}\noutput * bg /w.png fill\n", "X", "/blk.png|fit|"},
      {"after a block closes", "output Y {\n  bg /y.png fill\n}\nbg /not-output.png fill\n", "X", "none"},
      {"comments and no bg", "# output * bg /c.png fill\noutput * resolution 800x600\n", "X", "none"},
      {"bg without arguments", "output * bg\n", "X", "none"},
  };
  for (const auto& c : cases) EXPECT_EQ(summary(swayBackground(c.config, c.output, "/home/u")), c.expected) << c.name;
}

TEST(SwayBackgroundTest, AConfigurationBeyondItsBoundsIsNotRead) {
  const std::string bg = "output * bg /w.png fill\n";
  std::string doubling = "set $a x\n";  // 2^13 bytes after 13 doublings
  for (int i = 0; i < 13; ++i) doubling += "set $a $a$a\n";
  const struct { const char* name; std::string config; const char* expected; } cases[] = {
      {"a megabyte", bg + std::string((1 << 20) - bg.size(), '\n'), "/w.png|fill|"},
      {"over a megabyte", bg + std::string((1 << 20) - bg.size() + 1, '\n'), "none"},
      {"a value of 4096 bytes", "set $a " + std::string(4096, 'x') + "\n" + bg, "/w.png|fill|"},
      {"a value over 4096 bytes", "set $a " + std::string(4097, 'x') + "\n" + bg, "none"},
      {"a variable that doubles", doubling + bg, "none"},
      {"blocks 16 words deep", repeated("a b c d {\n", 4) + repeated("}\n", 4) + bg, "/w.png|fill|"},
      {"blocks deeper", repeated("a b c d {\n", 5) + bg, "none"},
  };
  for (const auto& c : cases) EXPECT_EQ(summary(swayBackground(c.config, "X", "/home/u")), c.expected) << c.name;
  std::string many;
  for (int i = 0; i < 64; ++i) many += "set $v" + std::to_string(i) + " x\n";
  EXPECT_EQ(summary(swayBackground(many + bg, "X", "")), "/w.png|fill|");
  EXPECT_EQ(summary(swayBackground(many + "set $v64 x\n" + bg, "X", "")), "none");
}

TEST(SwayConfigTest, TakesTheConfigurationTextOfAValidReplyOnly) {
  const struct { const char* reply; std::optional<std::string> expected; } cases[] = {
      {R"({"config":"output * bg /a.png fill\n"})", "output * bg /a.png fill\n"},
      {"{config", std::nullopt},
      {R"({"config":1})", std::nullopt},
      {R"(["config"])", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(swayConfigText(c.reply), c.expected) << c.reply;
}

}  // namespace
}  // namespace quorvane::desktop::wayland
