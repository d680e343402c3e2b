// The streamer's error texts, shown to the user by the application as they are.
#pragma once

namespace quorvane::recording::texts {

inline constexpr char kBadArguments[] = "无效的屏幕预览参数";
inline constexpr char kNoPermission[] = "需要屏幕录制权限，请在系统设置中授权 Quorvane 后重启应用";
// Followed directly by the underlying error's description.
inline constexpr char kCaptureFailed[] = "屏幕录制采集失败：";
inline constexpr char kDisplayGone[] = "录制显示器已断开";
inline constexpr char kCannotExclude[] = "无法排除 Quorvane 窗口，录制预览未启动";
inline constexpr char kBadControlLine[] = "无效的屏幕采集控制指令";
inline constexpr char kTooLarge[] = "屏幕预览超过 1600 万像素，请降低显示器分辨率";
inline constexpr char kEncodeFailed[] = "屏幕帧编码失败或超过安全上限";
inline constexpr char kWriteFailed[] = "屏幕帧传输失败：";

}  // namespace quorvane::recording::texts
