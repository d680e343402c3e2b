#include "desktop/wayland/sway_wallpaper.h"

#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace quorvane::desktop::wayland {
namespace {

// The background as "file|mode|color", or "none".
std::string summary(const std::optional<SwayBackground>& b) { return b ? b->file + "|" + b->mode + "|" + b->color : "none"; }

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
      {"a block", "output X {\n  mode 800x600\n  bg /blk.png fit\n}\noutput * bg /w.png fill\n", "X", "/blk.png|fit|"},
      {"after a block closes", "output Y {\n  bg /y.png fill\n}\nbg /not-output.png fill\n", "X", "none"},
      {"comments and no bg", "# output * bg /c.png fill\noutput * resolution 800x600\n", "X", "none"},
      {"bg without arguments", "output * bg\n", "X", "none"},
  };
  for (const auto& c : cases) EXPECT_EQ(summary(swayBackground(c.config, c.output, "/home/u")), c.expected) << c.name;
}

TEST(SwayPlacementTest, ModesMapToTheDesktopPlacements) {
  // An unknown mode keeps its word as the scaling option, which the placement then refuses.
  const struct { const char* mode; OptionValue scaling; std::optional<OptionValue> clipping; } cases[] = {
      {"fill", double{kScaleUpOrDown}, true}, {"fit", double{kScaleUpOrDown}, false}, {"stretch", double{kStretch}, true},
      {"center", double{kNaturalSize}, true}, {"tile", double{kNaturalSize}, true},   {"solid_color", double{kStretch}, true},
      {"sideways", std::string("sideways"), std::nullopt}};
  for (const auto& c : cases) {
    PlacementOptions o = swayPlacement({"/a.png", c.mode, "#ff0000"});
    EXPECT_TRUE(o.scaling == c.scaling && o.clipping == c.clipping && o.fillColor == OptionValue(Color{1, 0, 0, 1})) << c.mode;
  }
}

std::string message(std::uint32_t type, const std::string& payload, std::uint32_t declared) {
  std::string m = "i3-ipc";
  m.append(reinterpret_cast<const char*>(&declared), 4);
  m.append(reinterpret_cast<const char*>(&type), 4);
  return m + payload;
}

TEST(ReadSwayConfigTest, AsksForTheConfigurationAndTakesOnlyAWholeValidReply) {
  const std::string good = R"({"config":"output * bg /a.png fill\n"})";
  const auto size = static_cast<std::uint32_t>(good.size());
  const struct { const char* name; std::string reply; std::optional<std::string> expected; } cases[] = {
      {"a reply", message(9, good, size), "output * bg /a.png fill\n"},
      {"cut short", message(9, good, size + 10), std::nullopt},
      {"another message type", message(0, good, size), std::nullopt},
      {"not JSON", message(9, "{config", 7), std::nullopt},
      {"config not a string", message(9, R"({"config":1})", 12), std::nullopt},
      {"absurd length", message(9, good, 0xFFFFFFF0u), std::nullopt},
      {"bad magic", "i3-IPC" + message(9, good, size).substr(6), std::nullopt},
  };
  // The test plays sway: it accepts, reads the request and answers while the reader waits.
  const std::string path = std::filesystem::temp_directory_path() / ("quorvane-sway-ipc-" + std::to_string(getpid()));
  sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  unlink(path.c_str());
  int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_TRUE(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(listener, 1) == 0);
  for (const auto& c : cases) {
    auto config = std::async(std::launch::async, [&] { return readSwayConfig(path, 2000); });
    int sway = accept(listener, nullptr, nullptr);
    std::string request(14, '\0');
    EXPECT_EQ(recv(sway, request.data(), request.size(), MSG_WAITALL), 14) << c.name;
    EXPECT_EQ(request, message(9, "", 0)) << c.name;
    EXPECT_EQ(send(sway, c.reply.data(), c.reply.size(), MSG_NOSIGNAL), ssize_t(c.reply.size())) << c.name;
    close(sway);
    EXPECT_EQ(config.get(), c.expected) << c.name;
  }
  close(listener);
  unlink(path.c_str());
  EXPECT_EQ(readSwayConfig("/nonexistent/sway.sock", 100), std::nullopt);
}

}  // namespace
}  // namespace quorvane::desktop::wayland
