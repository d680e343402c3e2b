#include "desktop/wayland/sway_wallpaper.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace quorvane::desktop::wayland {
namespace {

struct ConfigCase {
  const char* name;
  const char* config;
  const char* output;
  std::optional<SwayBackground> expected;
};

bool operator==(const SwayBackground& a, const SwayBackground& b) {
  return a.file == b.file && a.mode == b.mode && a.color == b.color;
}

TEST(SwayBackgroundTest, PicksTheLinesSwayAppliesToTheOutput) {
  const ConfigCase cases[] = {
      {"wildcard", "output * bg /w.png fill\n", "HEADLESS-1", SwayBackground{"/w.png", "fill", ""}},
      {"named beats wildcard in any order", "output HEADLESS-1 bg /a.png fit #102030\noutput * bg /w.png fill\n",
       "HEADLESS-1", SwayBackground{"/a.png", "fit", "#102030"}},
      {"another output's line", "output HEADLESS-2 bg /a.png fill\n", "HEADLESS-1", std::nullopt},
      {"the last line wins", "output * bg /a.png fill\noutput * background /b.png center\n", "X",
       SwayBackground{"/b.png", "center", ""}},
      {"after other subcommands", "output X resolution 800x600 position 0,0 bg /a.png tile", "X",
       SwayBackground{"/a.png", "tile", ""}},
      {"solid colour", "output * bg #336699 solid_color\n", "X", SwayBackground{"", "solid_color", "#336699"}},
      {"no mode is stretch", "output * bg /a.png\n", "X", SwayBackground{"/a.png", "stretch", ""}},
      {"quotes and home", "output * bg \"~/My Pictures/a b.png\" fill\n", "X",
       SwayBackground{"/home/u/My Pictures/a b.png", "fill", ""}},
      {"variables, longest name first", "set $wall /w\nset $wallpaper /p.png\noutput * bg $wallpaper fill\n", "X",
       SwayBackground{"/p.png", "fill", ""}},
      {"a block", "output X {\n  mode 800x600\n  bg /blk.png fit\n}\noutput * bg /w.png fill\n", "X",
       SwayBackground{"/blk.png", "fit", ""}},
      {"after a block closes", "output Y {\n  bg /y.png fill\n}\nbg /not-output.png fill\n", "X", std::nullopt},
      {"comments and no bg", "# output * bg /c.png fill\noutput * resolution 800x600\n", "X", std::nullopt},
      {"bg without arguments", "output * bg\n", "X", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto got = swayBackground(c.config, c.output, "/home/u");
    ASSERT_EQ(got.has_value(), c.expected.has_value());
    if (got) {
      EXPECT_TRUE(*got == *c.expected) << got->file << " " << got->mode << " " << got->color;
    }
  }
}

TEST(SwayPlacementTest, ModesMapToTheDesktopPlacements) {
  struct Case {
    const char* mode;
    std::optional<double> scaling;  // nullopt: a scaling option of another kind
    bool clipping;
  };
  const Case cases[] = {{"fill", kScaleUpOrDown, true},   {"fit", kScaleUpOrDown, false},
                        {"stretch", kStretch, true},      {"center", kNaturalSize, true},
                        {"tile", kNaturalSize, true},     {"solid_color", kStretch, true},
                        {"sideways", std::nullopt, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    PlacementOptions o = swayPlacement({"/a.png", c.mode, "#ff0000"});
    ASSERT_TRUE(o.scaling);
    if (c.scaling) {
      EXPECT_EQ(std::get<double>(*o.scaling), *c.scaling);
      ASSERT_TRUE(o.clipping);
      EXPECT_EQ(std::get<bool>(*o.clipping), c.clipping);
    } else {
      EXPECT_TRUE(std::holds_alternative<std::string>(*o.scaling));
    }
    ASSERT_TRUE(o.fillColor);
    EXPECT_EQ(std::get<Color>(*o.fillColor), (Color{1, 0, 0, 1}));
  }
}

// A sway IPC socket that answers one request with `reply` (header and payload as given).
class FakeSwaySocket {
 public:
  explicit FakeSwaySocket(std::string reply) {
    path_ = std::filesystem::temp_directory_path() / ("quorvane-sway-ipc-" + std::to_string(getpid()));
    unlink(path_.c_str());
    listener_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    path_.copy(a.sun_path, path_.size());
    bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listener_, 1);
    server_ = std::thread([this, reply = std::move(reply)] {
      int fd = accept(listener_, nullptr, nullptr);
      char request[14];
      std::size_t got = 0;
      while (got < sizeof request) {
        ssize_t n = read(fd, request + got, sizeof request - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
      }
      request_.assign(request, got);
      if (write(fd, reply.data(), reply.size()) < 0) {}
      close(fd);
    });
  }
  ~FakeSwaySocket() {
    server_.join();
    close(listener_);
    unlink(path_.c_str());
  }
  const std::string& path() const { return path_; }
  std::string request() {
    server_.join();
    server_ = std::thread([] {});
    return request_;
  }

 private:
  std::string path_;
  int listener_ = -1;
  std::thread server_;
  std::string request_;
};

std::string message(std::uint32_t type, const std::string& payload, std::uint32_t declared) {
  std::string m = "i3-ipc";
  m.append(reinterpret_cast<const char*>(&declared), 4);
  m.append(reinterpret_cast<const char*>(&type), 4);
  return m + payload;
}

TEST(ReadSwayConfigTest, AsksForTheConfigurationAndTakesOnlyAWholeValidReply) {
  const std::string good = R"({"config":"output * bg /a.png fill\n"})";
  struct Case {
    const char* name;
    std::string reply;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"a reply", message(9, good, static_cast<std::uint32_t>(good.size())), "output * bg /a.png fill\n"},
      {"cut short", message(9, good, static_cast<std::uint32_t>(good.size()) + 10), std::nullopt},
      {"another message type", message(0, good, static_cast<std::uint32_t>(good.size())), std::nullopt},
      {"not JSON", message(9, "{config", 7), std::nullopt},
      {"config not a string", message(9, R"({"config":1})", 12), std::nullopt},
      {"absurd length", message(9, good, 0xFFFFFFF0u), std::nullopt},
      {"bad magic", "i3-IPC" + message(9, good, static_cast<std::uint32_t>(good.size())).substr(6), std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSwaySocket sway(c.reply);
    EXPECT_EQ(readSwayConfig(sway.path(), 2000), c.expected);
    EXPECT_EQ(sway.request(), message(9, "", 0));
  }
  EXPECT_EQ(readSwayConfig("/nonexistent/sway.sock", 100), std::nullopt);
}

}  // namespace
}  // namespace quorvane::desktop::wayland
