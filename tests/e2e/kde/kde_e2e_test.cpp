// KWin's mechanisms for the helpers, on one private headless KWin
// (tests/support/kwin_session.h): the grants and how KWin matches them, the
// window list with Plasma's desktop told apart, activation, synthetic input,
// screenshots, scripts that report the pointer and redraws, the desktop mask
// with Plasma's wallpaper, the screen streamer with the application's window
// painted over, and quorvane-input's modes (the input monitor on emulated
// input devices: this binary runs itself again under umockdev's preload
// library). The pure rules are unit tested beside their code.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <unistd.h>

#include <linux/input.h>
#include <nlohmann/json.hpp>
#include <png.h>

#include "common/kde/kwin_screenshot.h"
#include "common/kde/kwin_script.h"
#include "common/wayland/connection.h"
#include "common/wayland/fake_input.h"
#include "common/wayland/plasma_windows.h"
#include "desktop/texts.h"
#include "input/evdev/emulated_input.h"
#include "input/kde/plasma_list.h"
#include "input/kde/window_system.h"
#include "recording-screen/texts.h"
#include "tests/support/frames.h"
#include "tests/support/kwin_session.h"
#include "tests/support/process.h"

namespace quorvane::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Windows the rules place (x, y, width, height), their colours.
const KWinWindowRule kBack{"test-back", 100, 50, 400, 300}, kFront{"test-front", 300, 200, 400, 300};
const KWinWindowRule kTarget{"test-pointer", 800, 400, 200, 100};
const KWinWindowRule kApp{"test-app", 900, 100, 300, 200};  // the application's window, for the streamer
const std::string kBackColour = "00FF00", kFrontColour = "0000FF", kDesktopColour = "FF00FF";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// How KWin matches a grant: each case a copy of the probe at its own path,
// named by a `.desktop` file written in the case's way.
struct GrantCase {
  const char* name;
  std::string desktopFile;  // "%P" stands for the probe's path
  std::string runAs;        // the path run, "" for the probe's own
  std::string expected;     // the probe's line
};

const std::string kAll = "org_kde_kwin_fake_input org_kde_plasma_window_management ";
const std::string kEntry = "[Desktop Entry]\nType=Application\nName=probe\n";
const std::string kLists = "X-KDE-Wayland-Interfaces=org_kde_plasma_window_management,org_kde_kwin_fake_input\n"
                           "X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2\n";

std::vector<GrantCase> grantCases() {
  return {
      {"absolute path, hidden from menus", kEntry + "Exec=%P\nNoDisplay=true\n" + kLists, "", kAll + "screenshot:ok"},
      {"arguments after the path", kEntry + "Exec=%P --flag %u\nNoDisplay=true\n" + kLists, "", kAll + "screenshot:ok"},
      {"quoted path", kEntry + "Exec=\"%P\"\nNoDisplay=true\n" + kLists, "", kAll + "screenshot:ok"},
      {"Exec names a link, the target runs", kEntry + "Exec=%P-link\nNoDisplay=true\n" + kLists, "",
       kAll + "screenshot:ok"},
      {"run through a link", kEntry + "Exec=%P\nNoDisplay=true\n" + kLists, "%P-link", kAll + "screenshot:ok"},
      {"bare name", kEntry + "Exec=probe-bare\nNoDisplay=true\n" + kLists, "", "screenshot:denied"},
      {"semicolons", kEntry + "Exec=%P\nNoDisplay=true\n"
                              "X-KDE-Wayland-Interfaces=org_kde_plasma_window_management;org_kde_kwin_fake_input\n"
                              "X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2;\n", "", "screenshot:denied"},
      {"hidden", kEntry + "Exec=%P\nHidden=true\n" + kLists, "", "screenshot:denied"},
      {"only shown elsewhere", kEntry + "Exec=%P\nOnlyShowIn=GNOME;\n" + kLists, "", "screenshot:denied"},
  };
}

class KWinEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    char tmpl[] = "/tmp/quorvane-kde-e2e-XXXXXX";
    dir_ = mkdtemp(tmpl);
    KWinOptions options;
    options.rules = {kBack, kFront, kTarget, kApp};
    // The helpers' own grant files, for copies of the probe named as the helpers.
    fs::create_directory(dir_ + "/helpers");
    for (const char* helper : {"quorvane-input", "quorvane-recording-screen"}) {
      fs::copy_file(binary("quorvane-kde-probe"), dir_ + "/helpers/" + helper);
    }
    options.desktopFiles = helperGrantFiles(dir_ + "/helpers");
    // The build's streamer and input helper, granted as installed ones are; a copy elsewhere is not.
    const auto buildGrants = helperGrantFiles(fs::path(binary("quorvane-recording-screen")).parent_path().string());
    for (const char* helper : {"quorvane-recording-screen", "quorvane-input"}) {
      const std::string file = std::string(helper) + ".desktop";
      options.desktopFiles["build-" + file] = buildGrants.at(file);
    }
    fs::create_directory(dir_ + "/ungranted");
    fs::copy_file(binary("quorvane-recording-screen"), dir_ + "/ungranted/quorvane-recording-screen");
    const auto cases = grantCases();
    for (std::size_t i = 0; i < cases.size(); ++i) {
      const std::string probe = dir_ + "/case" + std::to_string(i) + "/probe";
      fs::create_directory(fs::path(probe).parent_path());
      fs::copy_file(binary("quorvane-kde-probe"), probe);
      fs::create_symlink(probe, probe + "-link");
      options.desktopFiles["case" + std::to_string(i) + ".desktop"] = replaced(cases[i].desktopFile, "%P", probe);
    }
    // KWin renders with OpenGL (llvmpipe here); QPainter is its other renderer.
    if (const char* compose = std::getenv("QUORVANE_KWIN_COMPOSE")) options.kwinEnv["KWIN_COMPOSE"] = compose;
    kwin = std::make_unique<KWinSession>(options);
    std::printf("KWin took connections %lld ms after the bus was started\n",
                static_cast<long long>(kwin->startUp().count()));
    for (const auto& [name, value] : kwin->env()) setenv(name.c_str(), value.c_str(), 1);
    unsetenv("DISPLAY");
  }
  void TearDown() override {
    kwin.reset();
    fs::remove_all(dir_);
  }
  static inline std::unique_ptr<KWinSession> kwin;
  static inline std::string dir_;
};

// Each probe's line, the probes run side by side.
std::vector<std::string> probe(const std::vector<std::string>& paths) {
  std::vector<std::unique_ptr<Child>> probes;
  for (const auto& path : paths) probes.push_back(std::make_unique<Child>(std::vector<std::string>{path}));
  std::vector<std::string> lines;
  for (auto& p : probes) lines.push_back(p->readLine(10s).value_or(p->readAllStderr(1s)));
  return lines;
}

TEST(KWinGrantTest, KWinMatchesTheProgramsAbsolutePathAgainstExec) {
  const auto cases = grantCases();
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::string path = KWinEnvironment::dir_ + "/case" + std::to_string(i) + "/probe";
    paths.push_back(cases[i].runAs.empty() ? path : replaced(cases[i].runAs, "%P", path));
  }
  const auto lines = probe(paths);
  for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(lines[i], cases[i].expected) << cases[i].name;
}

TEST(KWinGrantTest, TheHelpersGrantsNameWhatEachUsesAndNothingElse) {
  const std::string helpers = KWinEnvironment::dir_ + "/helpers/";
  const std::vector<std::string> lines = probe({helpers + "quorvane-input", helpers + "quorvane-recording-screen",
                                                binary("quorvane-kde-probe")});
  EXPECT_EQ(lines, (std::vector<std::string>{kAll + "screenshot:denied",
                                             "org_kde_plasma_window_management screenshot:ok",
                                             "screenshot:denied"}));
}

// A client with windows; "ready" once all are drawn.
std::unique_ptr<Child> showWindows(std::vector<std::string> args) {
  args.insert(args.begin(), binary("quorvane-wayland-client"));
  auto client = std::make_unique<Child>(args);
  auto line = client->readLine(10s);
  EXPECT_EQ(line, "ready") << client->readAllStderr(1s);
  return client;
}

std::unique_ptr<wayland::Connection> connect() {
  auto c = wayland::Connection::open();
  if (!c) ADD_FAILURE() << "no connection to KWin";
  return c;
}

Clock::time_point soon() { return Clock::now() + 5s; }

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// A window as the list describes it, without the uuid and the state bits
// that vary: app_id, pid, x, y, width, height, [desktop, active].
using Seen = std::tuple<std::string, std::uint32_t, std::int32_t, std::int32_t, std::uint32_t, std::uint32_t, bool,
                        bool>;
std::vector<Seen> seen(const std::vector<wayland::PlasmaWindow>& windows) {
  std::vector<Seen> out;
  for (const auto& w : windows) {
    out.emplace_back(w.appId, w.pid, w.x, w.y, w.width, w.height, wayland::isPlasmaDesktop(w.state),
                     (w.state & wayland::kPlasmaActive) != 0);
  }
  return out;
}

std::optional<wayland::PlasmaWindow> byAppId(const std::vector<wayland::PlasmaWindow>& windows,
                                            const std::string& appId) {
  auto it = std::find_if(windows.begin(), windows.end(), [&](const auto& w) { return w.appId == appId; });
  return it == windows.end() ? std::nullopt : std::optional(*it);
}

class KWinWindowsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    client_ = showWindows({"--desktop", kDesktopColour, "--window", kBack.appId, kBackColour, "--window",
                           kFront.appId, kFrontColour});
  }
  static void TearDownTestSuite() { client_.reset(); }
  static inline std::unique_ptr<Child> client_;
};

TEST_F(KWinWindowsTest, ListsEveryWindowFrontToBackWithPidGeometryAndPlasmasDesktopToldApart) {
  auto c = connect();
  ASSERT_TRUE(c);
  auto list = wayland::PlasmaWindowManagement::open(c->display(), soon());
  ASSERT_TRUE(list);
  const auto pid = static_cast<std::uint32_t>(client_->pid());
  EXPECT_EQ(seen(list->windows()), (std::vector<Seen>{{kFront.appId, pid, 300, 200, 400, 300, false, true},
                                                      {kBack.appId, pid, 100, 50, 400, 300, false, false},
                                                      {"test-desktop", pid, 0, 0, 1280, 720, true, false}}));
  EXPECT_FALSE(list->overflowed());
}

TEST_F(KWinWindowsTest, ActivatingAWindowRaisesItAndTheListFollows) {
  auto c = connect();
  ASSERT_TRUE(c);
  auto list = wayland::PlasmaWindowManagement::open(c->display(), soon());
  ASSERT_TRUE(list);
  const auto back = byAppId(list->windows(), kBack.appId);
  ASSERT_TRUE(back);
  const auto started = Clock::now();
  ASSERT_TRUE(list->activate(back->uuid, soon()));
  const auto took = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
  ASSERT_TRUE(list->refresh(soon()));
  std::vector<std::string> order;
  for (const auto& w : list->windows()) order.push_back(w.appId);
  EXPECT_EQ(order, (std::vector<std::string>{kBack.appId, kFront.appId, "test-desktop"}));
  // Where the two overlap, the activated window is now drawn.
  EXPECT_EQ(KWinEnvironment::kwin->pixels({"350,250"}), std::vector<std::string>{kBackColour});
  RecordProperty("activation_ms", std::to_string(took));
  std::printf("activation answered in %.2f ms\n", took);
  // Back as it was, for the other tests.
  ASSERT_TRUE(list->activate(byAppId(list->windows(), kFront.appId)->uuid, soon()));
}

TEST_F(KWinWindowsTest, ListsTwentyWindows) {
  std::vector<std::string> args;
  for (int i = 0; i < 17; ++i) args.insert(args.end(), {"--window", "test-many-" + std::to_string(i), "404040"});
  auto many = showWindows(args);
  std::vector<double> times;
  std::size_t count = 0;
  for (int i = 0; i < 10; ++i) {
    const auto started = Clock::now();
    auto c = wayland::Connection::open();
    ASSERT_TRUE(c);
    auto list = wayland::PlasmaWindowManagement::open(c->display(), soon());
    ASSERT_TRUE(list);
    count = list->windows().size();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
  }
  EXPECT_EQ(count, 20u);
  std::printf("connection and list of 20 windows: median %.2f ms\n", median(times));
}

TEST_F(KWinWindowsTest, AnUnknownWindowIsNotActivated) {
  auto c = connect();
  ASSERT_TRUE(c);
  auto list = wayland::PlasmaWindowManagement::open(c->display(), soon());
  ASSERT_TRUE(list);
  EXPECT_FALSE(list->activate("{00000000-0000-0000-0000-000000000000}", soon()));
}

TEST(KWinFakeInputTest, MovesClicksAndScrollsOverAnotherClientsWindow) {
  auto target = showWindows({"--pointer", "--window", kTarget.appId, "FFFFFF"});
  auto c = connect();
  ASSERT_TRUE(c);
  auto input = wayland::FakeInput::open(c->display(), "quorvane tests", "drive a test window", soon());
  ASSERT_TRUE(input);
  input->moveTo(kTarget.x + 50, kTarget.y + 20);
  ASSERT_TRUE(input->flush(soon()));
  EXPECT_EQ(target->readLine(5s), "enter test-pointer 50 20");
  input->button(0x110, true);
  input->button(0x110, false);
  input->scroll(15);
  input->moveTo(kTarget.x + 60, kTarget.y + 30);
  ASSERT_TRUE(input->flush(soon()));
  std::vector<std::string> lines;
  for (int i = 0; i < 4; ++i) lines.push_back(target->readLine(5s).value_or("(nothing)"));
  EXPECT_EQ(lines, (std::vector<std::string>{"button 272 1", "button 272 0", "axis 0 15", "motion 60 30"}));
}

class KWinScreenShotTest : public KWinWindowsTest {};

TEST_F(KWinScreenShotTest, CapturesTheScreenAnAreaAndACoveredWindowWhole) {
  kde::KWinScreenShot shots(KWinEnvironment::kwin->bus());
  auto c = connect();
  ASSERT_TRUE(c);
  ASSERT_EQ(c->outputs().size(), 1u);
  const std::string output = c->outputs().front()->name;
  std::vector<double> times;
  std::optional<kde::Shot> screen;
  for (int i = 0; i < 20; ++i) {
    const auto started = Clock::now();
    auto outcome = shots.screen(output, false, soon());
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
    ASSERT_TRUE(outcome.shot) << outcome.detail;
    screen = std::move(outcome.shot);
  }
  std::printf("CaptureScreen 1280x720 of %s: median %.1f ms (format %u)\n", output.c_str(), median(times),
              screen->layout.format);
  RecordProperty("capture_screen_median_ms", std::to_string(median(times)));
  EXPECT_EQ(std::make_tuple(screen->layout.width, screen->layout.height), std::make_tuple(1280u, 720u));
  EXPECT_EQ(std::make_tuple(screen->rgb(10, 10), screen->rgb(150, 100), screen->rgb(350, 250)),
            std::make_tuple(0xFF00FFu, 0x00FF00u, 0x0000FFu));

  auto area = shots.area(kBack.x, kBack.y, kBack.width, kBack.height, false, soon());
  ASSERT_TRUE(area.shot) << area.detail;
  EXPECT_EQ(std::make_tuple(area.shot->layout.width, area.shot->rgb(0, 0), area.shot->rgb(399, 299)),
            std::make_tuple(400u, 0x00FF00u, 0x0000FFu));

  // The back window, half covered by the front one, comes back whole.
  auto list = wayland::PlasmaWindowManagement::open(c->display(), soon());
  ASSERT_TRUE(list);
  auto window = shots.window(byAppId(list->windows(), kBack.appId)->uuid, soon());
  ASSERT_TRUE(window.shot) << window.detail;
  EXPECT_EQ(std::make_tuple(window.shot->layout.width, window.shot->layout.height, window.shot->rgb(399, 299)),
            std::make_tuple(400u, 300u, 0x00FF00u));

  EXPECT_EQ(shots.window("{00000000-0000-0000-0000-000000000000}", soon()).failure, kde::ShotFailure::kRefused);
}

TEST(KWinScriptTest, ReportsThePointerPositionAskedAndAsItMoves) {
  sd_bus* bus = KWinEnvironment::kwin->bus();
  auto c = connect();
  ASSERT_TRUE(c);
  auto input = wayland::FakeInput::open(c->display(), "quorvane tests", "move the pointer", soon());
  ASSERT_TRUE(input);
  input->moveTo(123, 456);
  ASSERT_TRUE(input->flush(soon()));

  // Asked: a script of its own per sample.
  std::vector<double> times;
  std::pair<double, double> asked;
  const double kwinBefore = 1000 * cpuSeconds(KWinEnvironment::kwin->pid());
  for (int i = 0; i < 10; ++i) {
    const auto started = Clock::now();
    auto script = kde::KWinScript::load(bus, "quorvane-test-pointer-once",
                                        "report(\"pointer\", workspace.cursorPos.x, workspace.cursorPos.y);",
                                        [&](const kde::ScriptReport& r) { asked = {r.a, r.b}; }, soon());
    ASSERT_TRUE(script);
    script.reset();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
  }
  EXPECT_EQ(asked, std::make_pair(123.0, 456.0));
  std::printf("pointer asked through a script of its own: median %.2f ms; KWin's CPU for 10: %.0f ms\n",
              median(times), 1000 * cpuSeconds(KWinEnvironment::kwin->pid()) - kwinBefore);
  RecordProperty("pointer_script_once_median_ms", std::to_string(median(times)));

  // Told: one script that reports moves, one report awaiting our answer at a time.
  std::pair<double, double> told;
  int reports = 0;
  auto script = kde::KWinScript::load(
      bus, "quorvane-test-pointer",
      "var waiting = false, moved = false;\n"
      "function tell() {\n"
      "  waiting = true; moved = false;\n"
      "  callDBus(REPLY_TO, REPLY_PATH, REPLY_INTERFACE, \"Report\", \"pointer\",\n"
      "           workspace.cursorPos.x, workspace.cursorPos.y,\n"
      "           function() { waiting = false; if (moved) tell(); });\n"
      "}\n"
      "workspace.cursorPosChanged.connect(function() { if (waiting) moved = true; else tell(); });",
      [&](const kde::ScriptReport& r) {
        told = {r.a, r.b};
        ++reports;
      },
      soon());
  ASSERT_TRUE(script);
  const double kwinBeforeMoves = 1000 * cpuSeconds(KWinEnvironment::kwin->pid());
  for (int x = 540; x <= 640; ++x) input->moveTo(x, 360);
  ASSERT_TRUE(input->flush(soon()));
  EXPECT_TRUE(script->waitFor([&] { return told == std::make_pair(640.0, 360.0); }, soon()))
      << told.first << "," << told.second;
  std::printf("101 moves told in %d reports; KWin's CPU %.0f ms\n", reports,
              1000 * cpuSeconds(KWinEnvironment::kwin->pid()) - kwinBeforeMoves);
  EXPECT_LE(reports, 101);
}

TEST(KWinScriptTest, ReportsWindowsBeingRedrawn) {
  int damaged = 0;
  auto script = kde::KWinScript::load(
      KWinEnvironment::kwin->bus(), "quorvane-test-damage",
      "function watch(w) { w.damaged.connect(function() { report(\"damaged\"); }); }\n"
      "workspace.clientList().forEach(watch);\n"
      "workspace.clientAdded.connect(watch);",
      [&](const kde::ScriptReport& r) { damaged += r.what == "damaged"; }, soon());
  ASSERT_TRUE(script);
  // A second script at the same time hears its own reports (here: that it started).
  auto other = kde::KWinScript::load(KWinEnvironment::kwin->bus(), "quorvane-test-other", "", nullptr, soon());
  ASSERT_TRUE(other);
  ASSERT_TRUE(script->dispatch());
  const int before = damaged;
  auto client = showWindows({"--window", "test-damage", "808080"});
  EXPECT_TRUE(script->waitFor([&] { return damaged > before; }, soon()));
  // For the record: what a still screen and a screenshot of it report.
  const int shown = damaged;
  script->waitFor([] { return false; }, Clock::now() + 200ms);
  const int still = damaged;
  kde::KWinScreenShot(KWinEnvironment::kwin->bus()).area(0, 0, 100, 100, false, soon());
  script->waitFor([] { return false; }, Clock::now() + 200ms);
  std::printf("redraw reports: %d for a new window, %d over a still 200 ms, %d after a screenshot\n",
              shown - before, still - shown, damaged - still);
}

// 200 x 100, the left half red and the right half yellow.
void writeHalvesPng(const std::string& path) {
  constexpr int w = 200, h = 100;
  std::vector<std::uint8_t> rgb(w * h * 3, 0);
  for (int i = 0; i < w * h; ++i) {
    rgb[i * 3] = 0xFF;
    rgb[i * 3 + 1] = (i % w) < w / 2 ? 0 : 0xFF;
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = w;
  image.height = h;
  image.format = PNG_FORMAT_RGB;
  ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr));
}

class KWinDesktopMaskTest : public KWinWindowsTest {};

// The layer-shell cover sits over Plasma's desktop and under the windows.
TEST_F(KWinDesktopMaskTest, CoversPlasmasDesktopBelowWindowsWhenItHasAWallpaper) {
  const std::string dir = KWinEnvironment::dir_ + "/gsettings";
  fs::create_directories(dir + "/glib-2.0/settings");
  writeHalvesPng(dir + "/wall.png");
  std::ofstream(dir + "/glib-2.0/settings/keyfile") << "[org/gnome/desktop/background]\npicture-uri='file://" << dir
                                                    << "/wall.png'\npicture-options='stretched'\n";
  const std::vector<std::string> points = {"10,10", "1200,600", "150,100", "350,250"};
  const std::string kRed = "FF0000", kYellow = "FFFF00";
  ASSERT_EQ(KWinEnvironment::kwin->pixels(points),
            (std::vector<std::string>{kDesktopColour, kDesktopColour, kBackColour, kFrontColour}));
  Child mask({binary("quorvane-desktop"), "--mask-desktop"},
             SpawnOptions{.env = {{"GSETTINGS_BACKEND", "keyfile"}, {"XDG_CONFIG_HOME", dir}}});
  ASSERT_EQ(mask.readLine(10s), R"({"type":"ready"})") << mask.readAllStderr(1s);
  EXPECT_EQ(KWinEnvironment::kwin->pixels(points),
            (std::vector<std::string>{kRed, kYellow, kBackColour, kFrontColour}));
  mask.writeStdin("stop\n");
  EXPECT_EQ(mask.wait(5s), 0);
  EXPECT_EQ(KWinEnvironment::kwin->pixels(points),
            (std::vector<std::string>{kDesktopColour, kDesktopColour, kBackColour, kFrontColour}));
}

// Plasma's own wallpaper, read from its desktop containment's settings for the
// screen KWin's output order numbers 0.
TEST_F(KWinDesktopMaskTest, CoversPlasmasDesktopWithTheWallpaperPlasmaIsSetToShow) {
  const std::string dir = KWinEnvironment::dir_ + "/plasma";
  fs::create_directories(dir);
  writeHalvesPng(dir + "/wall.png");
  std::ofstream(dir + "/plasma-org.kde.plasma.desktop-appletsrc")
      << "[Containments][3]\nactivityId=\nlastScreen=0\nlocation=0\nplugin=org.kde.plasma.folder\n"
      << "wallpaperplugin=org.kde.image\n\n[Containments][3][Wallpaper][org.kde.image][General]\nFillMode=0\n"
      << "Image=file://" << dir << "/wall.png\n";
  const std::vector<std::string> points = {"10,10", "1200,600", "150,100", "350,250"};
  Child mask({binary("quorvane-desktop"), "--mask-desktop"},
             SpawnOptions{.env = {{"GSETTINGS_BACKEND", "memory"}, {"XDG_CONFIG_HOME", dir}}});
  ASSERT_EQ(mask.readLine(10s), R"({"type":"ready"})") << mask.readAllStderr(1s);
  EXPECT_EQ(KWinEnvironment::kwin->pixels(points),
            (std::vector<std::string>{"FF0000", "FFFF00", kBackColour, kFrontColour}));
  mask.writeStdin("stop\n");
  EXPECT_EQ(mask.wait(5s), 0);
}

// Neither Plasma's settings nor GSettings name a wallpaper.
TEST(KWinDesktopMaskWithoutWallpaperTest, TodaysMaskEndsForWantOfAWallpaperOnPlasma) {
  Child mask({binary("quorvane-desktop"), "--mask-desktop"},
             SpawnOptions{.env = {{"GSETTINGS_BACKEND", "memory"}, {"XDG_CONFIG_HOME", KWinEnvironment::dir_}}});
  const auto line = mask.readLine(10s);
  const std::string expected =
      std::string(R"({"error":")") + desktop::texts::kUnreadableWallpaper + R"(","type":"error"})";
  EXPECT_EQ(std::make_tuple(line.value_or(""), mask.wait(5s)), std::make_tuple(expected, std::optional<int>(1)));
}

// The streamer started by an application with a window of its own.
class KWinRecordingTest : public KWinWindowsTest {
 protected:
  static std::unique_ptr<Child> stream(const std::string& program) {
    const std::string display = std::to_string(connect()->outputs().at(0)->id);
    return std::make_unique<Child>(std::vector<std::string>{binary("quorvane-wayland-client"), "--window", kApp.appId,
                                                            "FF0000", "--run", program, display, "15"});
  }
};

// Whether KWin holds a script of that name.
std::optional<bool> scriptLoaded(const std::string& name) {
  sd_bus_message* reply = nullptr;
  int loaded = 0;
  int r = sd_bus_call_method(KWinEnvironment::kwin->bus(), "org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting",
                             "isScriptLoaded", nullptr, &reply, "s", name.c_str());
  if (r >= 0) r = sd_bus_message_read(reply, "b", &loaded);
  sd_bus_message_unref(reply);
  return r >= 0 ? std::optional<bool>(loaded != 0) : std::nullopt;
}

TEST_F(KWinRecordingTest, FramesShowTheOutputWithTheApplicationsWindowPaintedOver) {
  auto streamer = stream(binary("quorvane-recording-screen"));
  auto first = readPicture(*streamer);
  ASSERT_TRUE(first) << streamer->readAllStderr(1s);
  // The streamer is the application's child: its change script is named after it.
  std::ifstream children("/proc/" + std::to_string(streamer->pid()) + "/task/" + std::to_string(streamer->pid()) +
                         "/children");
  std::string streamerPid;
  children >> streamerPid;
  const std::string script = "quorvane-recording-screen-changes-" + streamerPid;
  // Desktop, back and front window as they are; the application's window painted over to its
  // corners (JPEG blurs the edges themselves), while the screen shows it.
  const std::uint32_t kCover = 0x404040;
  std::vector<bool> as;
  const std::vector<std::tuple<int, int, std::uint32_t>> points = {
      {10, 10, 0xFF00FF},  {150, 100, 0x00FF00}, {650, 450, 0x0000FF}, {kApp.x + 4, kApp.y + 4, kCover},
      {kApp.x + 150, kApp.y + 100, kCover}, {kApp.x + 295, kApp.y + 195, kCover}, {kApp.x - 4, kApp.y, 0xFF00FF}};
  for (const auto& [x, y, colour] : points) {
    as.push_back(near(first->at(x, y), colour, 12));
  }
  EXPECT_EQ(std::make_tuple(first->width, first->height, as),
            std::make_tuple(1280, 720, std::vector<bool>(7, true)));
  EXPECT_EQ(KWinEnvironment::kwin->pixels({"1050,200"}), std::vector<std::string>{"FF0000"});
  // A request is answered once something changes: a window shown.
  streamer->writeStdin("frame\n");
  auto other = showWindows({"--window", kTarget.appId, "FFFFFF"});
  auto next = readPicture(*streamer);
  ASSERT_TRUE(next);
  EXPECT_TRUE(near(next->at(kTarget.x + 100, kTarget.y + 50), 0xFFFFFF, 12));
  EXPECT_EQ(scriptLoaded(script), true);
  streamer->writeStdin("stop\n");
  EXPECT_EQ(streamer->wait(5s), 0);
  EXPECT_EQ(scriptLoaded(script), false);  // KWin would keep it
}

TEST_F(KWinRecordingTest, WithoutTheGrantTheStreamerAsksForPermission) {
  auto streamer = stream(KWinEnvironment::dir_ + "/ungranted/quorvane-recording-screen");
  const auto status = streamer->wait(10s);
  EXPECT_EQ(std::make_tuple(status, streamer->readAllStderr(1s)),
            std::make_tuple(std::optional<int>(1), std::string(recording::texts::kNoPermission)));
}

// quorvane-input run by the test (its parent), granted as an installed one is.
class KWinInputTest : public KWinWindowsTest {
 protected:
  static Result input(const std::vector<std::string>& args) {
    std::vector<std::string> argv{binary("quorvane-input")};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv);
  }
  static std::vector<wayland::PlasmaWindow> windows() {
    auto c = connect();
    auto list = c ? wayland::PlasmaWindowManagement::open(c->display(), soon()) : nullptr;
    if (!list) ADD_FAILURE() << "no window list";
    return list ? list->windows() : std::vector<wayland::PlasmaWindow>{};
  }
  static std::string idOf(const std::string& appId) {
    auto w = byAppId(windows(), appId);
    return w ? std::to_string(input::kde::windowNumber(w->uuid)) : "none";
  }
  static nlohmann::json bounds(const KWinWindowRule& r) {
    return {{"x", r.x}, {"y", r.y}, {"width", r.width}, {"height", r.height}};
  }
  static nlohmann::json parsed(const std::string& out) { return nlohmann::json::parse(out, nullptr, false); }
};

TEST_F(KWinInputTest, WindowQueriesAnswerFromKWinsListFrontToBackWithoutPlasmasDesktop) {
  auto c = connect();
  ASSERT_TRUE(c);
  auto list = wayland::PlasmaWindowManagement::open(c->display(), soon());
  ASSERT_TRUE(list);
  auto front = byAppId(list->windows(), kFront.appId);
  ASSERT_TRUE(front);
  ASSERT_TRUE(list->activate(front->uuid, soon()));  // as the tests before may have left it
  const std::string frontId = idOf(kFront.appId), backId = idOf(kBack.appId);
  const nlohmann::json frontEntry = {{"id", frontId}, {"name", kFront.appId + " · " + frontId},
                                     {"bounds", bounds(kFront)}};
  const nlohmann::json backEntry = {{"id", backId}, {"name", kBack.appId + " · " + backId}, {"bounds", bounds(kBack)}};
  auto active = input({"--active-window"});
  EXPECT_EQ(std::make_tuple(parsed(active.out), active.status),
            std::make_tuple(nlohmann::json{{"bounds", bounds(kFront)}, {"id", frontId}, {"name", kFront.appId}}, 0));
  auto info = input({"--window-info", backId});
  EXPECT_EQ(std::make_tuple(parsed(info.out), info.status), std::make_tuple(bounds(kBack), 0)) << info.err;
  // Run by the application, whose own window (its pid), in front of all, is left out.
  Result listed = run({binary("quorvane-wayland-client"), "--window", "test-own", "FF0000", "--run",
                       binary("quorvane-input"), "--capture-windows"});
  EXPECT_EQ(std::make_tuple(parsed(listed.out), listed.status),
            std::make_tuple(nlohmann::json::array({frontEntry, backEntry}), 0))
      << listed.err;
}

TEST_F(KWinInputTest, FocusingACoveredWindowBringsItToTheFront) {
  auto focused = input({"--focus-window", idOf(kBack.appId)});
  std::vector<std::string> order;
  for (const auto& w : windows()) order.push_back(w.appId);
  EXPECT_EQ(std::make_tuple(focused.out, focused.status, order),
            std::make_tuple(std::string("{\"focused\":true}\n"), 0,
                            std::vector<std::string>{kBack.appId, kFront.appId, "test-desktop"}))
      << focused.err;
}

TEST_F(KWinInputTest, AutoScrollTurnsTheWheelThroughFakeInputOverTheSelection) {
  auto target = showWindows({"--pointer", "--window", kTarget.appId, "FFFFFF"});
  Child scroll({binary("quorvane-input"), "--scroll", idOf(kTarget.appId), "0.25", "0.5", "0.5", "0.25"});
  ASSERT_EQ(scroll.readLine(10s), R"({"type":"ready"})") << scroll.readAllStderr(1s);
  scroll.writeStdin("step\n");
  EXPECT_EQ(scroll.readLine(5s), R"({"type":"step"})");
  // The selection's centre (100, 62.5) in whole pixels, then 0.25 x 100 x 0.45 pixels down.
  const auto entered = target->readLine(5s);
  const auto turned = target->readLine(5s);
  EXPECT_EQ(std::make_tuple(entered, turned), std::make_tuple(std::optional<std::string>("enter test-pointer 100 62"),
                                                              std::optional<std::string>("axis 0 11")));
  scroll.writeStdin("stop\n");
  EXPECT_EQ(scroll.wait(5s), 0);
}

TEST_F(KWinInputTest, MonitorSamplesThePointerKWinsScriptReportsAndUnloadsIt) {
  input::evdev::testing::EmulatedInput devices;
  const int mouse = devices.add(input::evdev::testing::EmulatedDevice::mouse());
  // A script of the monitor's name left behind by a helper that was killed.
  const std::string leftover = KWinEnvironment::dir_ + "/leftover.js";
  std::ofstream(leftover) << "\n";
  sd_bus_message* reply = nullptr;
  ASSERT_GE(sd_bus_call_method(KWinEnvironment::kwin->bus(), "org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting",
                               "loadScript", nullptr, &reply, "ss", leftover.c_str(), input::kde::kPointerScript),
            0);
  sd_bus_message_unref(reply);
  ASSERT_EQ(scriptLoaded(input::kde::kPointerScript), true);

  auto c = connect();
  ASSERT_TRUE(c);
  auto fake = wayland::FakeInput::open(c->display(), "quorvane tests", "move the pointer", soon());
  ASSERT_TRUE(fake);
  // The application runs the monitor; it ends when the application does. Its grant names no
  // scripting interface: KWin 5.27 lets any client of the session bus load scripts.
  Child app({binary("quorvane-wayland-client"), "--window", "test-monitored", "808080", "--run",
             binary("quorvane-input"), "screen", std::to_string(c->outputs().at(0)->id)});
  ASSERT_EQ(app.readLine(10s), R"({"type":"ready"})") << app.readAllStderr(1s);
  fake->moveTo(123, 456);
  ASSERT_TRUE(fake->flush(soon()));
  const nlohmann::json screen = {{"x", 0}, {"y", 0}, {"width", 1280}, {"height", 720}};
  const nlohmann::json sample = {{"type", "pointer"}, {"x", 123}, {"y", 456}, {"bounds", screen}};
  nlohmann::json seen;
  for (auto until = soon(); seen != sample && Clock::now() < until;) seen = parsed(app.readLine(5s).value_or(""));
  EXPECT_EQ(seen, sample);
  devices.key(mouse, BTN_LEFT, 1);
  devices.key(mouse, BTN_LEFT, 0);
  for (auto until = soon(); !(seen.is_object() && seen.value("type", "") == "click") && Clock::now() < until;) {
    seen = parsed(app.readLine(5s).value_or(""));
  }
  EXPECT_EQ(seen, (nlohmann::json{{"type", "click"}, {"x", 123}, {"y", 456}, {"bounds", screen}}));
  app.kill(SIGTERM);
  app.readAllStdout(5s);  // until the monitor, which holds it too, has ended
  EXPECT_EQ(scriptLoaded(input::kde::kPointerScript), false);
}

// One KWin for the whole binary: it takes a second to start.
const auto* const kKWin = ::testing::AddGlobalTestEnvironment(new KWinEnvironment);

}  // namespace
}  // namespace quorvane::test

int main(int argc, char** argv) {
  quorvane::input::evdev::testing::runUnderUmockdev(argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
