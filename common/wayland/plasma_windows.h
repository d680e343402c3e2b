// KWin's window list (org_kde_plasma_window_management): every window with its
// owner pid, geometry, app_id, title and state, in stacking order, and a way
// to activate one. KWin offers the global only to a program its `.desktop`
// grant names; without the grant open() finds nothing.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/wayland/dispatch.h"

struct org_kde_plasma_window;
struct org_kde_plasma_window_management;

namespace quorvane::wayland {

// The protocol's state bits.
enum PlasmaState : std::uint32_t {
  kPlasmaActive = 1u << 0,
  kPlasmaMinimized = 1u << 1,
  kPlasmaMaximized = 1u << 2,
  kPlasmaFullscreen = 1u << 3,
  kPlasmaKeepAbove = 1u << 4,
  kPlasmaKeepBelow = 1u << 5,
  kPlasmaOnAllDesktops = 1u << 6,
  kPlasmaCloseable = 1u << 8,
  kPlasmaSkipTaskbar = 1u << 12,
  kPlasmaMovable = 1u << 15,
  kPlasmaSkipSwitcher = 1u << 18,
};

// Bounds on what another program's window may make us hold.
inline constexpr std::size_t kMaxPlasmaWindows = 4096;
inline constexpr std::size_t kMaxPlasmaText = 4096;  // bytes of a title or app_id
inline constexpr std::size_t kMaxPlasmaUuid = 64;     // KWin's are 38: "{8-4-4-4-12}"

struct PlasmaWindow {
  std::string uuid;  // KWin's internal id, also ScreenShot2's window handle
  std::string appId, title;
  std::uint32_t pid = 0;  // 0 until told
  std::int32_t x = 0, y = 0;
  std::uint32_t width = 0, height = 0;
  bool hasGeometry = false;
  std::uint32_t state = 0;
  bool operator==(const PlasmaWindow&) const = default;
};

// Plasma's own desktop (the wallpaper and icons) is a window too: the only
// one kept off the taskbar that can be neither moved nor closed.
bool isPlasmaDesktop(std::uint32_t state);

// The uuids of a stacking-order event (";"-separated, bottom to top), at most
// `limit` of them; empty and over-long entries are dropped.
std::vector<std::string> splitStackingOrder(std::string_view uuids, std::size_t limit);

// The windows front to back: the stacking order reversed, then any window it
// does not name yet (just mapped), newest first.
std::vector<PlasmaWindow> frontToBack(const std::vector<PlasmaWindow>& mapped,
                                      const std::vector<std::string>& bottomToTop);

class PlasmaWindowManagement {
 public:
  // nullptr when the compositor does not offer the global to this program, or
  // the first list is not complete by the deadline.
  static std::unique_ptr<PlasmaWindowManagement> open(wl_display* display, Deadline deadline);
  ~PlasmaWindowManagement();
  PlasmaWindowManagement(const PlasmaWindowManagement&) = delete;
  PlasmaWindowManagement& operator=(const PlasmaWindowManagement&) = delete;

  // Takes in what changed since the last look (windows mapped and unmapped,
  // their state, the stacking order), each new window completely described;
  // false when the compositor did not answer by the deadline.
  bool refresh(Deadline deadline);
  // Every described window, front to back.
  std::vector<PlasmaWindow> windows() const;
  // More windows exist than we keep (kMaxPlasmaWindows): the list is partial.
  bool overflowed() const { return overflowed_; }

  // Asks KWin to activate the window and waits until it says the window is
  // active; false when the window is unknown, goes away or is not activated
  // by the deadline.
  bool activate(const std::string& uuid, Deadline deadline);

 private:
  struct Entry;
  friend struct PlasmaEvents;
  explicit PlasmaWindowManagement(wl_display* display);
  void announce(std::string uuid);
  Entry* find(const std::string& uuid);

  wl_display* display_;
  org_kde_plasma_window_management* manager_ = nullptr;
  std::uint32_t version_ = 0;
  std::map<std::string, std::unique_ptr<Entry>> entries_;
  std::vector<std::string> stacking_;  // bottom to top
  std::uint64_t mappedCount_ = 0;     // announcement order, for windows not yet stacked
  bool overflowed_ = false;
};

}  // namespace quorvane::wayland
