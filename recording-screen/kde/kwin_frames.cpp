#include "recording-screen/kde/kwin_frames.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace quorvane::recording::kde {

void toBgrx(quorvane::kde::Shot& shot) {
  const auto format = shot.layout.format;
  // Qt's 32-bit word formats are B, G, R, A in memory already.
  if (format != quorvane::kde::kShotRgbx8888 && format != quorvane::kde::kShotRgba8888 &&
      format != quorvane::kde::kShotRgba8888Premultiplied) {
    return;
  }
  for (std::uint32_t y = 0; y < shot.layout.height; ++y) {
    std::uint8_t* p = shot.bytes.data() + std::size_t{y} * shot.layout.stride;
    for (std::uint32_t x = 0; x < shot.layout.width; ++x, p += 4) std::swap(p[0], p[2]);
  }
}

std::int64_t WindowIds::of(const std::string& uuid) {
  return ids_.emplace(uuid, static_cast<std::int64_t>(ids_.size()) + 1).first->second;
}

std::vector<wayland::ListedWindow> plasmaWindows(const std::vector<quorvane::wayland::PlasmaWindow>& frontToBack,
                                                 const std::vector<std::int32_t>& pids, WindowIds& ids) {
  std::vector<wayland::ListedWindow> listed;
  for (auto w = frontToBack.rbegin(); w != frontToBack.rend(); ++w) {
    const auto pid = static_cast<std::int32_t>(w->pid);
    // A window whose owner is not told yet may be theirs.
    const bool theirs = w->pid == 0 || std::find(pids.begin(), pids.end(), pid) != pids.end();
    if (!theirs || (w->state & quorvane::wayland::kPlasmaMinimized)) continue;
    wayland::ListedWindow window{ids.of(w->uuid), std::nullopt, std::nullopt};
    if (w->pid != 0) window.pid = pid;
    if (w->hasGeometry) {
      window.boxes = {{double(w->x), double(w->y), double(w->x) + w->width, double(w->y) + w->height}};
    }
    listed.push_back(std::move(window));
  }
  return listed;
}

std::vector<std::int32_t> windowPids(const std::vector<quorvane::wayland::PlasmaWindow>& windows) {
  std::vector<std::int32_t> pids;
  for (const auto& w : windows) {
    const auto pid = static_cast<std::int32_t>(w.pid);
    if (w.pid != 0 && std::find(pids.begin(), pids.end(), pid) == pids.end()) pids.push_back(pid);
  }
  return pids;
}

std::vector<RowSpan> rowsChanged(const std::uint8_t* before, const std::uint8_t* now, std::size_t stride,
                                 std::uint32_t width, std::uint32_t height) {
  std::vector<RowSpan> spans;
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::size_t at = std::size_t{y} * stride;
    if (std::memcmp(before + at, now + at, std::size_t{width} * 4) == 0) continue;
    if (!spans.empty() && spans.back().bottom == y) {
      spans.back().bottom = y + 1;
    } else {
      spans.push_back({y, y + 1});
    }
  }
  return spans;
}

}  // namespace quorvane::recording::kde
