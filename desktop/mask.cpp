#include "desktop/mask.h"

#include <algorithm>
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

}  // namespace

Verdict DesktopMask::start(const std::vector<std::string>& argv) {
  maxLifetime_ = kMaxLifetimeSeconds;
  desktopLevel_ = levelAbove(platform_.desktopIconLevel());
  if (argv.size() == 2 && argv[1] == "--self-test") {
    if (!channel_.emit(selfTestObject(platform_.desktopIconLevel(), desktopLevel_, platform_.normalWindowLevel()))) {
      return Verdict::endWith(1);
    }
    return Verdict::endWith(0);
  }
  if (argv.size() == 2 && argv[1] == "--mask-desktop") return runMask();
  return finish(kInvalidModeText);
}

Verdict DesktopMask::runMask() {
  // Taken before the (possibly slow) wallpaper reads: an application that dies
  // meanwhile must not leave the cover up until the time-out.
  parent_ = platform_.parentPid();
  if (Verdict v = prepareCovers(); v.end) return v;
  started_ = clock_.now();
  platform_.showCovers();
  armed_ = clock_.now();
  nextTick_ = armed_ + kWatchInterval;
  return Verdict::carryOn();
}

Verdict DesktopMask::prepareCovers() {
  platform_.becomeAccessory();
  finished_ = false;
  std::vector<Screen> screens = platform_.screens();
  bool anyEmpty = std::any_of(screens.begin(), screens.end(),
                              [](const Screen& s) { return s.width == 0 || s.height == 0; });
  if (screens.empty() || screens.size() > kMostScreens || anyEmpty) return finish(kNoDisplayText);

  // Nothing is shown until every screen has its wallpaper: a failure on a later
  // screen must not leave a half-covered desktop.
  PixelBudget budget;
  for (const Screen& screen : screens) {
    WallpaperResult result = loadWallpaper(platform_, screen, budget);
    if (const char* const* failure = std::get_if<const char*>(&result)) return finish(*failure);
    platform_.prepareCover(std::get<CoverPlan>(result), desktopLevel_);
    ++covers_;
  }
  return Verdict::carryOn();
}

Verdict DesktopMask::onControlChunk(std::string_view chunk) {
  if (chunk.empty()) return finish(nullptr);
  // A chunk is judged whole: "stop\n" must arrive alone in one read.
  if (chunk.size() <= kLongestControlChunk && chunk == kStopCommand) return finish(nullptr);
  return finish(kInvalidControlText);
}

Verdict DesktopMask::onCoversShown() {
  if (finished_) return *ended_;
  if (coversShown_ || !nextTick_) return Verdict::carryOn();
  coversShown_ = true;
  readyAt_ = std::max(armed_, clock_.now()) + kReadyDelay;
  return Verdict::carryOn();
}

Verdict DesktopMask::onTimers() {
  if (finished_) return *ended_;
  double now = clock_.now();
  if (nextTick_ && now >= *nextTick_) {
    // A late loop skips the missed ticks rather than running them in a burst.
    while (*nextTick_ <= now) *nextTick_ += kWatchInterval;
    if (Verdict v = tick(); v.end) return v;
  }
  if (readyAt_ && now >= *readyAt_) {
    readyAt_.reset();
    if (!channel_.emit(Json{{"type", "ready"}})) return finish(nullptr, 1);
  }
  return Verdict::carryOn();
}

std::optional<double> DesktopMask::nextWakeup() const {
  if (finished_) return std::nullopt;
  std::optional<double> next = nextTick_;
  if (readyAt_) next = next ? std::min(*next, *readyAt_) : *readyAt_;
  return next;
}

Verdict DesktopMask::tick() {
  if (platform_.parentPid() != parent_) return finish(nullptr);
  if (!platform_.processExists(parent_)) return finish(nullptr);
  if (clock_.now() - started_ >= maxLifetime_) return finish(kTimedOutText);
  return Verdict::carryOn();
}

Verdict DesktopMask::finish(const char* text) { return finish(text, text ? 1 : 0); }

Verdict DesktopMask::finish(const char* text, int status) {
  if (finished_ && ended_) return *ended_;
  // A Message that cannot be encoded has already been reported on standard error.
  if (text && !channel_.emit(Json{{"type", "error"}, {"error", text}})) status = 1;
  finished_ = true;
  ended_ = Verdict::endWith(status);
  return *ended_;
}

}  // namespace quorvane::desktop
