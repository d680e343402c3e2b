// The window questions the application asks before a capture or recording:
// which windows can be captured, which one is in front, where one window is.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/channel.h"
#include "input/window_system.h"

namespace quorvane::input {

struct WindowInfo {
  Rect bounds;
  std::int32_t ownerPid = 0;
  bool operator==(const WindowInfo&) const = default;
};

// One window by number: on screen, with a readable frame and owner; nothing otherwise.
std::optional<WindowInfo> scrollWindowInfo(WindowSystem& system, std::uint32_t number);

// The size test that tells the two list queries apart.
enum class SizeTest { NonEmpty, ActiveMinimum };
// The entry's frame when it is a capturable window of another process.
std::optional<Rect> capturableBounds(const WindowDescription& d, std::int32_t parentPid, SizeTest size);

// Owner name for display: the owner's name or "窗口", cut to 160 characters.
std::string displayName(const WindowDescription& d);

// Each mode writes its answer and gives the exit status.
int runCaptureWindows(Services& s, Channel& channel);
int runActiveWindow(Services& s, Channel& channel);
int runWindowInfo(WindowSystem& system, const std::vector<std::string>& args, Channel& channel);
int runCheck(WindowSystem& system, Channel& channel);

inline constexpr std::size_t kMaxListedWindows = 128;
inline constexpr std::size_t kMaxNameCharacters = 160;
inline constexpr double kActiveMinimumSide = 80.0;

}  // namespace quorvane::input
