// Wallpaper files: the header is read on opening, so the pixel budget is known
// before any pixel is decoded; JPEG decodes at reduced scale when the picture
// is drawn smaller than it is. JPEG and PNG, the formats desktops ship.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "desktop/mask_platform.h"

namespace quorvane::desktop {

// Larger files are refused unread: no wallpaper within the pixel budget needs more.
inline constexpr std::size_t kMaxWallpaperFileBytes = std::size_t{512} << 20;
// Coefficient memory of a progressive JPEG (see image_file.cpp); beyond it the
// picture is refused unread.
inline constexpr std::uint64_t kMostCoefficientBytes = std::uint64_t{512} << 20;

// nullptr when the bytes are no JPEG or PNG or their header is unreadable.
std::unique_ptr<WallpaperImage> openImageBytes(std::string bytes);

// A regular file only (never a pipe or a device, which could block or never
// end), read whole; nullptr when it cannot be read or recognised.
std::unique_ptr<WallpaperImage> openImageFile(const std::string& path);

}  // namespace quorvane::desktop
