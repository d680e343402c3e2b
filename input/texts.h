// quorvane-input's texts: the error texts the application shows the user as
// they are, and the note on standard error when a Message cannot be encoded.
#pragma once

namespace quorvane::input::texts {

// No mode matches the command line.
inline constexpr char kInvalidSource[] = "无效的原生输入来源";

// Window queries.
inline constexpr char kListUnreadable[] = "无法读取当前桌面窗口边界";
inline constexpr char kListUnencodable[] = "无法编码窗口边界";
inline constexpr char kActiveUnreadable[] = "无法读取当前桌面窗口";
inline constexpr char kNoActiveWindow[] = "没有找到可截取的当前窗口";
inline constexpr char kWindowInfoFailed[] = "目标窗口已关闭、最小化或无法读取坐标";
// A window's name when its owner has none, and what joins a name to its number in the list.
inline constexpr char kUnnamedWindow[] = "窗口";
inline constexpr char kNameNumberSeparator[] = " · ";

// Focusing.
inline constexpr char kFocusInvalidWindow[] = "所选窗口已关闭、最小化或无效";
inline constexpr char kFocusNeedsAccessibility[] =
    "自动显示所选窗口需要辅助功能授权。"
    "请到系统设置 → 隐私与安全性 → 辅助功能允许 Quorvane/输入辅助程序，"
    "或先手动显示目标窗口后重试。";
inline constexpr char kFocusCannotLocate[] = "无法定位所选窗口";
inline constexpr char kFocusNotUnique[] = "无法唯一确认并显示所选窗口，请手动显示该窗口后重试";
inline constexpr char kFocusNotInFront[] = "所选窗口未能切换到前台，录制尚未开始";

// The input monitor.
inline constexpr char kMonitorNoPermission[] =
    "需要在系统设置的隐私与安全性 → 输入监控中授权 Quorvane/输入辅助程序，"
    "然后重启应用；不采集普通输入文字。";
// The same where the input devices are read directly (Wayland sessions).
inline constexpr char kMonitorNeedsInputGroup[] =
    "需要读取输入设备的权限：请把当前用户加入 input 组（sudo usermod -aG input $USER），"
    "重新登录后重启应用；不采集普通输入文字。";
inline constexpr char kMonitorCannotStart[] =
    "无法创建全局输入监控，请检查输入监控或辅助功能授权";
inline constexpr char kMonitorFrameLost[] = "录制窗口已关闭或无法取得窗口坐标";
inline constexpr char kMonitorListeningStopped[] =
    "系统已暂停输入监控，录制将停止以避免遗漏所选效果";

// Auto-scroll.
inline constexpr char kScrollBadArguments[] = "无效的自动滚动参数";
inline constexpr char kScrollOutsideWindow[] = "自动滚动选区必须位于目标窗口内";
inline constexpr char kScrollBadWindow[] = "目标窗口已关闭、最小化或无效";
inline constexpr char kScrollNeedsPermission[] =
    "自动滚动需要系统设置 → 隐私与安全性 → 辅助功能授权 Quorvane/输入辅助程序，"
    "然后重启应用；不需要读取输入监控。";
inline constexpr char kScrollNotInFront[] =
    "所选窗口未在前台或选区被遮挡，请先显示目标窗口后重试";
inline constexpr char kScrollStopped[] =
    "已停止：鼠标被移动、目标窗口被遮挡/移动/关闭或滚动请求无效";
inline constexpr char kScrollNoWheelEvent[] = "无法创建自动滚轮事件";

// Who asks KWin for synthetic input, and why (KWin may show them to the user).
inline constexpr char kFakeInputApplication[] = "Quorvane";
inline constexpr char kFakeInputReason[] = "自动滚动";

// Standard error, before the encoder's description and a line feed.
inline constexpr char kCannotEncode[] = "Cannot encode input event: ";

}  // namespace quorvane::input::texts
