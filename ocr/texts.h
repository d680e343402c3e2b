// The OCR helper's error texts, shown to the user by the application as they are.
#pragma once

namespace quorvane::ocr::texts {

inline constexpr char kUsage[] = "用法：quorvane-ocr <languages> [layout]";
inline constexpr char kNoLanguage[] = "未找到有效的识别语言";
inline constexpr char kNoImageData[] = "未收到图片数据";
inline constexpr char kUndecodable[] = "无法解析图片数据";
inline constexpr char kNoBitmap[] = "无法获取图片位图数据";
// Followed directly by the engine's description of the failure (below).
inline constexpr char kEngineFailed[] = "文字识别引擎失败：";
inline constexpr char kNoResults[] = "文字识别引擎未返回结果";
// Followed directly by the encoder's description.
inline constexpr char kUnencodable[] = "无法编码识别结果：";

// The engine's descriptions. A language's data that cannot be loaded:
// kLoadFailed, the language tag, kLoadFailedData, the data's name,
// kLoadFailedPackage, its Debian package's name, kLoadFailedEnd.
inline constexpr char kLoadFailed[] = "无法加载 ";
inline constexpr char kLoadFailedData[] = " 的语言数据 ";
inline constexpr char kLoadFailedPackage[] = ".traineddata（请安装 ";
inline constexpr char kLoadFailedEnd[] = "）";
// Around a language tag no data is known for.
inline constexpr char kNoDataFor[] = "没有 ";
inline constexpr char kNoDataForEnd[] = " 的语言数据";
inline constexpr char kReadingFailed[] = "识别过程出错";
// Followed by the model file's path.
inline constexpr char kModelMissing[] = "缺少文字识别模型文件 ";
inline constexpr char kModelCorrupt[] = "文字识别模型文件已损坏 ";

}  // namespace quorvane::ocr::texts
