// What a frame of KWin's screenshot service needs before the encoder takes
// it: its pixels in the encoder's byte order, the application's windows from
// KWin's window list, and the rows that changed (ScreenShot2 tells none).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "common/kde/kwin_screenshot.h"
#include "common/wayland/plasma_windows.h"
#include "recording-screen/capture.h"
#include "recording-screen/wayland/parent_windows.h"

namespace quorvane::recording::kde {

// Turns a shot's pixels into blue, green, red, then an ignored byte, in place.
void toBgrx(quorvane::kde::Shot& shot);

// Ids for KWin's window uuids that stay the same from one look to the next.
class WindowIds {
 public:
  std::int64_t of(const std::string& uuid);

 private:
  std::map<std::string, std::int64_t> ids_;
};

// The shown windows of `pids` (KWin's list front to back), bottom to top, as
// the painting over takes them. Only theirs are listed: whether another
// window is on the current desktop is not told, so none is trusted to cover
// theirs, and their whole rectangles are painted over.
std::vector<wayland::ListedWindow> plasmaWindows(const std::vector<quorvane::wayland::PlasmaWindow>& frontToBack,
                                                 const std::vector<std::int32_t>& pids, WindowIds& ids);

// The pids owning windows in the list, each once.
std::vector<std::int32_t> windowPids(const std::vector<quorvane::wayland::PlasmaWindow>& windows);

// The rows of `now` that differ from `before` (both `height` rows of `stride`
// bytes, `width` pixels of 4 bytes each), as spans.
std::vector<RowSpan> rowsChanged(const std::uint8_t* before, const std::uint8_t* now, std::size_t stride,
                                 std::uint32_t width, std::uint32_t height);

}  // namespace quorvane::recording::kde
