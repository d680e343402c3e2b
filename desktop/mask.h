// The desktop mask: covers every screen with its wallpaper until told to stop,
// until the screens or the workspace change, the parent goes, or time runs out.
// It decides; the backend's event loop calls its handlers and ends the process
// when a handler says so.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/channel.h"
#include "common/clock.h"
#include "desktop/platform.h"

namespace quorvane::desktop {

inline constexpr char kInvalidModeText[] = "无效的桌面遮蔽模式";
inline constexpr char kNoDisplayText[] = "无法取得有效显示器，桌面图标未遮蔽";
inline constexpr char kInvalidControlText[] = "无效的桌面遮蔽控制消息";
inline constexpr char kTimedOutText[] = "桌面遮蔽超过 10 秒，已自动恢复";
inline constexpr char kScreensChangedText[] = "显示器配置已变化，已恢复桌面，请重新截图";
inline constexpr char kSpaceChangedText[] = "桌面空间已变化，已恢复桌面，请重新截图";

inline constexpr double kMaxLifetimeSeconds = 10.0;
inline constexpr double kWatchInterval = 0.1;
inline constexpr double kReadyDelay = 0.15;
inline constexpr std::size_t kLongestControlChunk = 100;
inline constexpr std::size_t kMostScreens = 16;
inline constexpr std::string_view kStopCommand = "stop\n";

// What the event loop does after a handler: carry on, or end with a status.
struct Verdict {
  bool end = false;
  int status = 0;
  static Verdict carryOn() { return {}; }
  static Verdict endWith(int status) { return {true, status}; }
};

// The self-test object: placement arithmetic and stacking, no window.
Json selfTestObject(std::int32_t desktopIconLevel, std::int32_t desktopLevel, std::int32_t normalLevel);

class DesktopMask {
 public:
  DesktopMask(Platform& platform, Channel& channel, Clock& clock)
      : platform_(platform), channel_(channel), clock_(clock) {}

  // Examines the command line; for the mask, reads every wallpaper, builds the
  // covers, shows them and arms the timers. Ends at once for the self-test, a
  // bad command line or any failure before a cover is shown.
  Verdict start(const std::vector<std::string>& argv);

  // One read of standard input (empty at end of file), judged as a whole.
  Verdict onControlChunk(std::string_view chunk);
  // Every cover is on screen now: the ready delay counts from here.
  Verdict onCoversShown();
  Verdict onScreensChanged() { return finish(kScreensChangedText); }
  Verdict onSpaceChanged() { return finish(kSpaceChangedText); }
  Verdict onTerminate() { return finish(nullptr); }
  // Runs the watch and the ready Message when the clock says they are due.
  Verdict onTimers();
  // Clock time at which onTimers has something to do next.
  std::optional<double> nextWakeup() const;

  bool finished() const { return finished_; }
  std::int32_t desktopLevel() const { return desktopLevel_; }
  std::size_t coverCount() const { return covers_; }

 private:
  Verdict runMask();
  Verdict prepareCovers();
  Verdict tick();
  Verdict finish(const char* text);
  Verdict finish(const char* text, int status);

  Platform& platform_;
  Channel& channel_;
  Clock& clock_;

  double maxLifetime_ = kMaxLifetimeSeconds;
  std::int32_t desktopLevel_ = 0;
  bool finished_ = false;
  std::optional<Verdict> ended_;
  std::size_t covers_ = 0;
  std::int32_t parent_ = 0;
  double started_ = 0;
  double armed_ = 0;  // when the timers were armed (the ready delay's earliest base)
  std::optional<double> nextTick_;
  bool coversShown_ = false;
  std::optional<double> readyAt_;
};

}  // namespace quorvane::desktop
