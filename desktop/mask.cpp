#include "desktop/mask.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "desktop/wallpaper.h"

namespace quorvane::desktop {

Json selfTestObject(std::int32_t desktopIconLevel, std::int32_t desktopLevel, std::int32_t normalLevel) {
  constexpr Size kImage{200, 100};
  constexpr Size kBounds{100, 100};
  return Json{{"aboveDesktopIcons", desktopIconLevel < desktopLevel},
              {"belowNormalWindows", desktopLevel < normalLevel},
              {"maxLifetimeSeconds", jsonNumber(kMaxLifetimeSeconds)},
              {"fill", rectValue(imageRect(kImage, kBounds, kScaleUpOrDown, true))},
              {"fit", rectValue(imageRect(kImage, kBounds, kScaleUpOrDown, false))}};
}

namespace {

std::int32_t levelAbove(std::int32_t level) {
  return level == std::numeric_limits<std::int32_t>::max() ? level : level + 1;
}

bool validScreens(const std::vector<Screen>& screens) {
  if (screens.empty() || screens.size() > kMostScreens) return false;
  double pixels = 0;
  for (const Screen& s : screens) {
    if (s.width == 0 || s.height == 0 || s.width > kLargestScreenSide || s.height > kLargestScreenSide) return false;
    pixels += (s.width + 1.0) * (s.height + 1.0);
  }
  return pixels <= kMostCoverPixels;
}

}  // namespace

Exit DesktopMask::run(const std::vector<std::string>& argv) {
  if (Outcome ended = start(argv)) return *ended;
  return platform_.run(*this);
}

Outcome DesktopMask::start(const std::vector<std::string>& argv) {
  maxLifetime_ = kMaxLifetimeSeconds;
  desktopLevel_ = levelAbove(platform_.desktopIconLevel());
  if (argv.size() == 2 && argv[1] == "--self-test") {
    if (!channel_.emit(selfTestObject(platform_.desktopIconLevel(), desktopLevel_, platform_.normalWindowLevel()))) {
      return Exit{1, {}};
    }
    return quietExit();
  }
  if (argv.size() == 2 && argv[1] == "--mask-desktop") return runMask();
  return finish(texts::kInvalidMode);
}

Outcome DesktopMask::runMask() {
  // The watch and the time limit start before the (possibly slow) wallpaper
  // reads: an application that dies meanwhile must not get a cover at all.
  watch_.emplace(process_);
  started_ = clock_.now();
  watchTicks_.emplace(started_ + kWatchInterval, kWatchInterval);
  if (Outcome o = prepareCovers()) return o;
  if (Outcome o = tick()) return o;
  platform_.showCovers();
  armed_ = clock_.now();
  return std::nullopt;
}

Outcome DesktopMask::prepareCovers() {
  finished_ = false;
  std::vector<Screen> screens = platform_.screens();
  if (!validScreens(screens)) return failPreparing(texts::kNoDisplay);

  // Nothing is shown until every screen has its wallpaper: a failure on a later
  // screen must not leave a half-covered desktop.
  PixelBudget budget;
  for (const Screen& screen : screens) {
    if (Outcome o = tick()) return o;
    WallpaperResult result = loadWallpaper(platform_, screen, budget);
    if (const char* const* failure = std::get_if<const char*>(&result)) return failPreparing(*failure);
    platform_.prepareCover(std::get<CoverPlan>(result));
  }
  return std::nullopt;
}

Outcome DesktopMask::onControlChunk(std::string_view chunk) {
  if (chunk.empty()) return finish("");
  // A chunk is judged whole: "stop\n" must arrive alone in one read.
  if (chunk.size() <= kLongestControlChunk && chunk == kStopCommand) return finish("");
  return finish(texts::kInvalidControl);
}

Outcome DesktopMask::onCoversShown() {
  if (finished_) return ended_;
  if (coversShown_ || !watchTicks_) return std::nullopt;
  coversShown_ = true;
  readyAt_ = std::max(armed_, clock_.now()) + kReadyDelay;
  return std::nullopt;
}

Outcome DesktopMask::onTimers() {
  if (finished_) return ended_;
  double now = clock_.now();
  if (watchTicks_ && watchTicks_->due(now)) {
    watchTicks_->fired(now);
    if (Outcome o = tick()) return o;
  }
  if (readyAt_ && now >= *readyAt_) {
    readyAt_.reset();
    if (!channel_.emit(Json{{"type", "ready"}})) return end(Exit{1, {}});
  }
  return std::nullopt;
}

std::optional<double> DesktopMask::nextWakeup() const {
  if (finished_) return std::nullopt;
  std::optional<double> next;
  if (watchTicks_) next = watchTicks_->next();
  if (readyAt_) next = next ? std::min(*next, *readyAt_) : *readyAt_;
  return next;
}

int DesktopMask::millisToWakeup() {
  std::optional<double> next = nextWakeup();
  if (!next) return -1;
  return static_cast<int>(std::ceil(std::max(0.0, *next - clock_.now()) * 1000.0));
}

Outcome DesktopMask::tick() {
  // SIGTERM is seen here too while the wallpapers are read, before any loop runs.
  if (watch_->gone() || platform_.terminationRequested()) return finish("");
  if (clock_.now() - started_ >= maxLifetime_) return finish(texts::kTimedOut);
  return std::nullopt;
}

// A failure while the covers are prepared, unless an end came meanwhile: that
// is why the window system or a read failed, or it matters more.
Outcome DesktopMask::failPreparing(const char* text) {
  if (Outcome o = tick()) return o;
  return finish(text);
}

Outcome DesktopMask::finish(std::string text) {
  int status = text.empty() ? 0 : 1;
  return end(Exit{status, std::move(text)});
}

Outcome DesktopMask::end(Exit exit) {
  // The first end stands: one Message at most, whatever comes after.
  if (!finished_) ended_ = std::move(exit);
  finished_ = true;
  return ended_;
}

}  // namespace quorvane::desktop
