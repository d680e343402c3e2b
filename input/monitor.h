// The global input monitor: while the application records a screen or a
// window, it reports clicks, named shortcuts (never plain typing) and thirty
// pointer samples a second, each click and sample with the recorded frame.
//
// The backend owns the event loop and calls the handlers below; each handler
// writes its Messages and tells the loop whether to carry on or to end (with
// the text of its Error Message, if any).
#pragma once

#include <cstdint>
#include <optional>

#include "common/channel.h"
#include "common/outcome.h"
#include "input/dispatcher.h"
#include "input/key_names.h"
#include "input/window_system.h"

namespace quorvane::input {

inline constexpr double kSampleInterval = 1.0 / 30.0;

inline constexpr const char* kNoPermissionText =
    "需要在系统设置的隐私与安全性 → 输入监控中授权 Quorvane/输入辅助程序，然后重启应用；不采集普通输入文字。";
inline constexpr const char* kCannotStartText = "无法创建全局输入监控，请检查输入监控或辅助功能授权";
inline constexpr const char* kFrameLostText = "录制窗口已关闭或无法取得窗口坐标";
inline constexpr const char* kListeningStoppedText = "系统已暂停输入监控，录制将停止以避免遗漏所选效果";

// Exit statuses of the monitor besides 0 (the application is gone).
inline constexpr int kStatusFrameLost = 1;
inline constexpr int kStatusCannotStart = 2;
inline constexpr int kStatusListeningStopped = 3;

class Monitor {
 public:
  Monitor(const KeyNames& names, InputSource source, Services& services, Channel& channel)
      : names_(names), source_(std::move(source)), s_(services), channel_(channel) {}

  // Checks the permission and the recorded frame, starts listening and sends
  // `ready`. The loop then starts the sampling timer at once.
  Outcome start();

  Outcome onKeyDown(std::int64_t keyCode, std::uint64_t flags);
  // A left, right or other button went down; wheel steps are not clicks.
  Outcome onButtonDown(Point location);
  // The system stopped delivering input.
  Outcome onListeningStopped();
  // One firing of the sampling timer: the parent watch, then a sample.
  Outcome onTick();

  // The recorded frame, read afresh each time.
  std::optional<Rect> bounds();
  // Sends a click or pointer sample with the recorded frame, or ends when
  // the frame can no longer be measured.
  Outcome pointer(const char* type, Point location);

 private:
  Outcome emit(const Json& message);

  const KeyNames& names_;
  InputSource source_;
  Services& s_;
  Channel& channel_;
  std::optional<ParentWatch> parent_;
};

}  // namespace quorvane::input
