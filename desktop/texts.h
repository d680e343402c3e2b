// quorvane-desktop's texts, shown to the user by the application as they are.
#pragma once

namespace quorvane::desktop::texts {

inline constexpr char kInvalidMode[] = "无效的桌面遮蔽模式";
inline constexpr char kNoDisplay[] = "无法取得有效显示器，桌面图标未遮蔽";
inline constexpr char kInvalidControl[] = "无效的桌面遮蔽控制消息";
inline constexpr char kTimedOut[] = "桌面遮蔽超过 10 秒，已自动恢复";
inline constexpr char kScreensChanged[] = "显示器配置已变化，已恢复桌面，请重新截图";
inline constexpr char kSpaceChanged[] = "桌面空间已变化，已恢复桌面，请重新截图";
inline constexpr char kUnreadableWallpaper[] = "当前壁纸无法读取为静态图像，请关闭隐藏桌面图标后重试";
inline constexpr char kTooManyPixels[] = "壁纸图像总计超过 1.6 亿像素，请关闭隐藏桌面图标后重试";
inline constexpr char kUnsupportedScaling[] = "当前壁纸缩放模式不受支持";
// On standard error, when a Message cannot be encoded.
inline constexpr char kCannotEncode[] = "Cannot encode desktop-mask status\n";

}  // namespace quorvane::desktop::texts
