#include "desktop/kde/plasma_wallpaper.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace quorvane::desktop::kde {
namespace {

namespace fs = std::filesystem;

// As Plasma 5.27 writes it: two screens, a panel, a second activity, action plugins.
const std::string kApplets = R"([ActionPlugins][0]
RightButton;NoModifier=org.kde.contextmenu
wheel:Vertical;NoModifier=org.kde.switchdesktop

[Containments][1]
activityId=6c1a5e5f-aaaa-4a5c-9c1e-000000000001
formfactor=0
immutability=1
lastScreen=0
location=0
plugin=org.kde.plasma.folder
wallpaperplugin=org.kde.image

[Containments][1][General]
positions={"1920x1080":[]}

[Containments][1][Wallpaper][org.kde.image][General]
Color=30,40,50
FillMode=1
Image=file:///home/u/Pictures/My%20Lake.jpg
SlidePaths=/home/u/.local/share/wallpapers/,/usr/share/wallpapers/

[Containments][2]
activityId=
formfactor=2
lastScreen=0
location=4
plugin=org.kde.panel
wallpaperplugin=org.kde.image

[Containments][2][Wallpaper][org.kde.image][General]
Image=/usr/share/wallpapers/Panel/

[Containments][7]
activityId=6c1a5e5f-aaaa-4a5c-9c1e-000000000001
formfactor=0
lastScreen=1
location=0
plugin=org.kde.desktopcontainment
wallpaperplugin=org.kde.color

[Containments][7][Wallpaper][org.kde.color][General]
Color=#102030

[Containments][9]
activityId=6c1a5e5f-bbbb-4a5c-9c1e-000000000002
formfactor=0
lastScreen=0
location=0
plugin=org.kde.plasma.folder

[Containments][9][Wallpaper][org.kde.image][General]
Image[$e]=$HOME/not-expanded.png
FillMode=6
)";

const std::string kFirst = "6c1a5e5f-aaaa-4a5c-9c1e-000000000001", kSecond = "6c1a5e5f-bbbb-4a5c-9c1e-000000000002";

std::string summary(const std::optional<PlasmaWallpaper>& w) {
  return w ? w->plugin + "|" + w->image + "|" + w->fillMode + "|" + w->color : "none";
}

TEST(PlasmaWallpaperTest, PicksTheDesktopContainmentOfTheScreenAndActivity) {
  const struct {
    const char* name;
    std::string text;
    int screen;
    std::string activity, expected;
  } cases[] = {
      {"first screen", kApplets, 0, kFirst, "org.kde.image|file:///home/u/Pictures/My%20Lake.jpg|1|30,40,50"},
      {"another activity; the default plugin; an option on the key", kApplets, 0, kSecond,
       "org.kde.image|$HOME/not-expanded.png|6|"},
      {"activity unknown: the first listed", kApplets, 0, "", "org.kde.image|file:///home/u/Pictures/My%20Lake.jpg|1|"
                                                                "30,40,50"},
      {"second screen, colour plugin", kApplets, 1, kFirst, "org.kde.color|||#102030"},
      {"no containment there (the panel is none)", kApplets, 2, kFirst, "none"},
      {"no wallpaper settings", "[Containments][3]\nlastScreen=0\nlocation=0\n", 0, "", "org.kde.image|||"},
      {"escapes, comments, CRLF and blanks around =",
       "# saved\r\n[Containments][4]\r\nlastScreen = 0\r\n[Containments][4][Wallpaper][org.kde.image][General]\r\n"
       "Image = \\s/a\\x41\\\\b.png\r\n",
       0, "", "org.kde.image| /aA\\b.png||"},
      {"the last value wins", "[Containments][4]\nlastScreen=0\n[Containments][4][Wallpaper][org.kde.image][General]\n"
                              "FillMode=1\nFillMode=0\n", 0, "", "org.kde.image||0|"},
      {"malformed header", "[Containments][4\nlastScreen=0\n", 0, "", "none"},
      {"empty", "", 0, "", "none"},
  };
  for (const auto& c : cases) EXPECT_EQ(summary(plasmaWallpaper(c.text, c.screen, c.activity)), c.expected) << c.name;
}

TEST(PlasmaWallpaperTest, TheCurrentActivityComesFromTheActivityManager) {
  const std::string listed = "[activities]\n" + kFirst + "=Default\n";
  EXPECT_EQ(currentActivity(listed + "\n[main]\ncurrentActivity=" + kFirst + "\n"), kFirst);
  EXPECT_EQ(currentActivity(listed), "");
}

TEST(PlasmaPlacementTest, FillModesMapToTheDesktopPlacements) {
  const struct { const char* mode; OptionValue scaling; std::optional<OptionValue> clipping; } cases[] = {
      {"0", double{kStretch}, true},      {"1", double{kScaleUpOrDown}, false}, {"2", double{kScaleUpOrDown}, true},
      {"", double{kScaleUpOrDown}, true}, {"3", double{kNaturalSize}, true},    {"4", double{kNaturalSize}, true},
      {"5", double{kNaturalSize}, true},  {"6", double{kNaturalSize}, true},    {"7", std::string("7"), std::nullopt},
      {"crop", std::string("crop"), std::nullopt}};
  for (const auto& c : cases) {
    const PlacementOptions o = plasmaPlacement({kImagePlugin, "/a.png", c.mode, "255,0,0"});
    EXPECT_EQ(std::make_tuple(o.scaling, o.clipping, o.fillColor),
              std::make_tuple(std::optional(c.scaling), c.clipping, std::optional<OptionValue>(Color{1, 0, 0, 1})))
        << c.mode;
  }
}

TEST(PlasmaPlacementTest, TheColourDefaultsToBlackAndAnUnreadableOneKeepsItsText) {
  const struct { const char* color; OptionValue expected; } cases[] = {
      {"", Color{0, 0, 0, 1}}, {"0,0,255", Color{0, 0, 1, 1}}, {"grey", std::string("grey")}};
  for (const auto& c : cases) {
    EXPECT_EQ(plasmaPlacement({kImagePlugin, "/a.png", "2", c.color}).fillColor, std::optional(c.expected)) << c.color;
  }
}

TEST(PlasmaColorTest, ReadsKConfigColours) {
  const struct { const char* text; std::optional<Color> expected; } cases[] = {
      {"255,0,0", Color{1, 0, 0, 1}},       {" 0, 255 ,0 ", Color{0, 1, 0, 1}},   {"0,0,255,0", Color{0, 0, 1, 0}},
      {"#ff0000", Color{1, 0, 0, 1}},        {"#f00", std::nullopt},              {"256,0,0", std::nullopt},
      {"1,2", std::nullopt},                 {"1,2,3,4,5", std::nullopt},          {"1,,3", std::nullopt},
      {"-1,2,3", std::nullopt},              {"1000,2,3", std::nullopt},           {"", std::nullopt}};
  for (const auto& c : cases) EXPECT_EQ(parsePlasmaColor(c.text), c.expected) << c.text;
}

TEST(PackageImageTest, TakesTheClosestShapeAmongThoseLargeEnoughElseTheLargest) {
  const std::vector<std::string> sizes = {"1280x1024.png", "1920x1080.png", "2560x1600.png", "5120x2880.png",
                                          "3840x2160.png", "screenshot.png", "720x1440.png", "x.png"};
  const struct { std::uint32_t w, h; std::optional<std::string> expected; } cases[] = {
      {1920, 1080, "1920x1080.png"}, {1280, 720, "1920x1080.png"}, {1280, 1024, "1280x1024.png"},
      {2560, 1440, "3840x2160.png"}, {1440, 900, "2560x1600.png"}, {7680, 4320, "5120x2880.png"},
      {600, 1200, "720x1440.png"}};
  for (const auto& c : cases) EXPECT_EQ(packageImage(sizes, c.w, c.h), c.expected) << c.w << "x" << c.h;
  EXPECT_EQ(packageImage({"screenshot.png", "1920x1080", "0x0.png"}, 1920, 1080), std::nullopt);
  // Wider but not taller is not large enough: the larger picture wins.
  EXPECT_EQ(packageImage({"1600x400.png", "1400x790.png"}, 1500, 800), "1400x790.png");
}

class ReadPlasmaWallpaperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("quorvane-plasma-" + std::to_string(getpid()));
    fs::create_directories(dir_ / "config");
    fs::create_directories(dir_ / "Next" / "contents" / "images");
    for (const char* name : {"1920x1080.jpg", "3840x2160.jpg"}) std::ofstream(dir_ / "Next/contents/images" / name);
  }
  void TearDown() override { fs::remove_all(dir_); }
  void applets(const std::string& image, const std::string& plugin = kImagePlugin) {
    std::ofstream(dir_ / "config" / kAppletsFile)
        << "[Containments][1]\nlastScreen=0\nwallpaperplugin=" << plugin << "\n[Containments][1][Wallpaper][" << plugin
        << "][General]\nImage=" << image << "\nFillMode=0\nColor=0,0,255\n";
  }
  std::optional<std::string> file() {
    auto choice = readPlasmaWallpaper((dir_ / "config").string(), 0, 1920, 1080);
    return choice ? std::optional(choice->file) : std::nullopt;
  }
  fs::path dir_;
};

TEST_F(ReadPlasmaWallpaperTest, ResolvesPackagesAndFileUrlsToAPicture) {
  const std::string next = (dir_ / "Next").string();
  const struct { std::string image, plugin; std::optional<std::string> expected; } cases[] = {
      {"file:///home/u/My%20Lake.jpg", kImagePlugin, "/home/u/My Lake.jpg"},
      {"/home/u/lake.jpg", kImagePlugin, "/home/u/lake.jpg"},
      {next + "/", kImagePlugin, next + "/contents/images/1920x1080.jpg"},
      {"file://" + next, kImagePlugin, next + "/contents/images/1920x1080.jpg"},
      {"", kImagePlugin, std::nullopt},
      {"/home/u/lake.jpg", "org.kde.slideshow", std::nullopt},
      {"", kColorPlugin, ""},
  };
  for (const auto& c : cases) {
    applets(c.image, c.plugin);
    EXPECT_EQ(file(), c.expected) << c.image << " " << c.plugin;
  }
}

TEST_F(ReadPlasmaWallpaperTest, TheColourPluginStretchesItsColour) {
  applets("", kColorPlugin);
  auto choice = readPlasmaWallpaper((dir_ / "config").string(), 0, 1920, 1080);
  ASSERT_TRUE(choice);
  EXPECT_EQ(std::make_tuple(choice->placement.scaling, choice->placement.fillColor),
            std::make_tuple(std::optional<OptionValue>(double{kStretch}),
                            std::optional<OptionValue>(Color{0, 0, 1, 1})));
}

TEST_F(ReadPlasmaWallpaperTest, NoFileOrAHugeOneIsNoWallpaper) {
  EXPECT_FALSE(readPlasmaWallpaper((dir_ / "config").string(), 0, 1920, 1080));
  fs::resize_file((std::ofstream(dir_ / "config" / kAppletsFile), dir_ / "config" / kAppletsFile), 5 << 20);
  EXPECT_FALSE(readPlasmaWallpaper((dir_ / "config").string(), 0, 1920, 1080));
}

}  // namespace
}  // namespace quorvane::desktop::kde
