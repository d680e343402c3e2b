// KWin's screenshot service over D-Bus (org.kde.KWin.ScreenShot2): a screen,
// an area or one window, the pixels written by KWin into a pipe we hand it.
// KWin answers only a program whose `.desktop` grant names the interface in
// X-KDE-DBUS-Restricted-Interfaces; anyone else gets NoAuthorized.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "common/kde/session_bus.h"

namespace quorvane::kde {

// Bounds on what KWin may make us hold: a 16K screen at most.
inline constexpr std::uint32_t kMaxShotSide = 16384;
inline constexpr std::uint64_t kMaxShotPixels = 16384ull * 8192;

// QImage's formats that KWin hands out, as numbered by Qt.
enum ShotFormat : std::uint32_t {
  kShotRgb32 = 4,                 // 0xffRRGGBB words
  kShotArgb32 = 5,                // 0xAARRGGBB words
  kShotArgb32Premultiplied = 6,
  kShotRgbx8888 = 16,             // bytes R, G, B, X
  kShotRgba8888 = 17,
  kShotRgba8888Premultiplied = 18,
};

// The results KWin returns beside the pipe: what the bytes are.
using ShotValue = std::variant<std::uint32_t, std::string, double>;
using ShotResults = std::map<std::string, ShotValue>;

struct ShotLayout {
  std::uint32_t width = 0, height = 0, stride = 0, format = 0;
  bool operator==(const ShotLayout&) const = default;
};

// The layout the results describe, when it is a raw image of a format we
// read, within the bounds, with rows that hold their pixels.
std::optional<ShotLayout> shotLayout(const ShotResults& results);

struct Shot {
  ShotLayout layout;
  std::vector<std::uint8_t> bytes;  // stride * height
  // The colour at a pixel as 0xRRGGBB (alpha dropped, premultiplied or not).
  std::uint32_t rgb(std::uint32_t x, std::uint32_t y) const;
};

enum class ShotFailure {
  kNotAuthorized,  // no grant for this program
  kNoAnswer,       // no reply or no whole image by the deadline
  kRefused,        // another D-Bus error (no such screen or window, no service...)
  kBadImage,       // results or bytes that do not make an image we read
};

struct ShotOutcome {
  std::optional<Shot> shot;
  ShotFailure failure = ShotFailure::kNoAnswer;
  std::string detail;  // the D-Bus error, for a log
};

class KWinScreenShot {
 public:
  explicit KWinScreenShot(sd_bus* bus) : bus_(bus) {}

  // A screen by the name KWin gives it (wl_output's / xdg-output's name).
  ShotOutcome screen(const std::string& name, bool withCursor, Deadline deadline);
  // An area of the global space, in logical pixels.
  ShotOutcome area(std::int32_t x, std::int32_t y, std::uint32_t width, std::uint32_t height, bool withCursor,
                   Deadline deadline);
  // A window by its KWin uuid (as Plasma window management names it), without
  // decoration and shadow.
  ShotOutcome window(const std::string& uuid, Deadline deadline);

 private:
  ShotOutcome capture(Message request, Deadline deadline);
  sd_bus* bus_;
};

}  // namespace quorvane::kde
