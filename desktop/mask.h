// The desktop mask: covers every screen with its wallpaper until told to stop,
// until the screens or the workspace change, the parent goes, or time runs out.
// It decides; the platform's event loop calls its handlers until one says how
// the process ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/channel.h"
#include "common/clock.h"
#include "common/outcome.h"
#include "common/process.h"
#include "common/ticks.h"
#include "desktop/mask_platform.h"
#include "desktop/texts.h"

namespace quorvane::desktop {

inline constexpr double kMaxLifetimeSeconds = 10.0;
inline constexpr double kWatchInterval = 0.1;
inline constexpr double kReadyDelay = 0.15;
inline constexpr std::size_t kLongestControlChunk = 100;
inline constexpr std::size_t kMostScreens = 16;
// A cover is one pixel larger than its screen and is drawn into an image of
// that size: X window and pixmap sizes, like cairo's images, end at 32767.
inline constexpr std::uint32_t kLargestScreenSide = 32766;
// All covers' pixels together (4 bytes each, 1 GiB): any client may declare
// monitors, and each one's cover is drawn whole in memory.
inline constexpr double kMostCoverPixels = 268'435'456.0;
inline constexpr std::string_view kStopCommand = "stop\n";

// The self-test object: placement arithmetic and stacking, no window.
Json selfTestObject(std::int32_t desktopIconLevel, std::int32_t desktopLevel, std::int32_t normalLevel);

class DesktopMask {
 public:
  // Handlers return how the process ends (nullopt: carry on); the caller
  // reports the end with reportExit. Only `ready` and the self-test object are
  // written here.
  DesktopMask(MaskPlatform& platform, Process& process, Channel& channel, Clock& clock)
      : platform_(platform), process_(process), channel_(channel), clock_(clock) {}

  // The whole program: start, then the platform's event loop if the mask is up.
  Exit run(const std::vector<std::string>& argv);

  // Examines the command line; for the mask, starts the watch, reads every
  // wallpaper, builds the covers and shows them. Ends at once for the
  // self-test, a bad command line or any failure before a cover is shown.
  Outcome start(const std::vector<std::string>& argv);

  // One read of standard input (empty at end of file), judged as a whole.
  Outcome onControlChunk(std::string_view chunk);
  // Every cover is on screen now: the ready delay counts from here.
  Outcome onCoversShown();
  Outcome onScreensChanged() { return finish(texts::kScreensChanged); }
  Outcome onSpaceChanged() { return finish(texts::kSpaceChanged); }
  Outcome onTerminate() { return finish(""); }
  // Runs the watch and the ready Message when the clock says they are due.
  Outcome onTimers();
  // Clock time at which onTimers has something to do next.
  std::optional<double> nextWakeup() const;
  // How long an event loop may wait for input before then, in whole
  // milliseconds rounded up so that it never wakes early and spins; -1: no limit.
  int millisToWakeup();

 private:
  Outcome runMask();
  Outcome prepareCovers();
  Outcome tick();
  Outcome failPreparing(const char* text);
  Outcome finish(std::string text);
  Outcome end(Exit exit);

  MaskPlatform& platform_;
  Process& process_;
  Channel& channel_;
  Clock& clock_;

  double maxLifetime_ = kMaxLifetimeSeconds;
  std::int32_t desktopLevel_ = 0;
  bool finished_ = false;
  Outcome ended_;
  std::optional<ParentWatch> watch_;
  double started_ = 0;
  double armed_ = 0;  // when the timers were armed (the ready delay's earliest base)
  std::optional<TickSchedule> watchTicks_;
  bool coversShown_ = false;
  std::optional<double> readyAt_;
};

}  // namespace quorvane::desktop
