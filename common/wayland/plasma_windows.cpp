#include "common/wayland/plasma_windows.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "common/wayland/protocols/plasma-window-management-client.h"

namespace quorvane::wayland {

namespace {

// window_with_uuid came with 13; 16 is what our listeners handle.
constexpr std::uint32_t kLowestVersion = 13;
constexpr std::uint32_t kHighestVersion = 16;

std::string bounded(const char* text, std::size_t limit) {
  return text ? std::string(text, strnlen(text, limit)) : std::string();
}

}  // namespace

bool isPlasmaDesktop(std::uint32_t state) {
  return (state & kPlasmaSkipTaskbar) && !(state & (kPlasmaMovable | kPlasmaCloseable));
}

std::vector<std::string> splitStackingOrder(std::string_view uuids, std::size_t limit) {
  std::vector<std::string> out;
  while (!uuids.empty() && out.size() < limit) {
    const auto end = std::min(uuids.find(';'), uuids.size());
    const auto item = uuids.substr(0, end);
    if (!item.empty() && item.size() <= kMaxPlasmaUuid) out.emplace_back(item);
    uuids.remove_prefix(std::min(end + 1, uuids.size()));
  }
  return out;
}

std::vector<PlasmaWindow> frontToBack(const std::vector<PlasmaWindow>& mapped,
                                      const std::vector<std::string>& bottomToTop) {
  std::unordered_map<std::string_view, std::size_t> index;
  for (std::size_t i = 0; i < mapped.size(); ++i) index.emplace(mapped[i].uuid, i);
  std::vector<bool> placed(mapped.size(), false);
  std::vector<std::size_t> stacked;  // front to back
  for (auto uuid = bottomToTop.rbegin(); uuid != bottomToTop.rend(); ++uuid) {
    auto it = index.find(*uuid);
    if (it != index.end() && !placed[it->second]) stacked.push_back(it->second);
    if (it != index.end()) placed[it->second] = true;
  }
  // Newest last in `mapped`: those the order does not name yet are on top.
  std::vector<PlasmaWindow> out;
  for (std::size_t i = mapped.size(); i-- > 0;) {
    if (!placed[i]) out.push_back(mapped[i]);
  }
  for (std::size_t i : stacked) out.push_back(mapped[i]);
  return out;
}

struct PlasmaWindowManagement::Entry {
  PlasmaWindowManagement* owner = nullptr;
  org_kde_plasma_window* proxy = nullptr;
  PlasmaWindow window;
  std::uint64_t mapped = 0;  // announcement order
  bool described = false;    // initial_state arrived
  bool gone = false;         // unmapped
};

// Listener tables: the library calls through them with the manager or an Entry as data.
struct PlasmaEvents {
  using Entry = PlasmaWindowManagement::Entry;
  static Entry& entry(void* data) { return *static_cast<Entry*>(data); }

  static void title(void* data, org_kde_plasma_window*, const char* text) {
    entry(data).window.title = bounded(text, kMaxPlasmaText);
  }
  static void appId(void* data, org_kde_plasma_window*, const char* text) {
    entry(data).window.appId = bounded(text, kMaxPlasmaText);
  }
  static void state(void* data, org_kde_plasma_window*, std::uint32_t flags) { entry(data).window.state = flags; }
  static void unmapped(void* data, org_kde_plasma_window*) { entry(data).gone = true; }
  static void initialState(void* data, org_kde_plasma_window*) { entry(data).described = true; }
  static void geometry(void* data, org_kde_plasma_window*, std::int32_t x, std::int32_t y, std::uint32_t width,
                       std::uint32_t height) {
    PlasmaWindow& w = entry(data).window;
    w.x = x;
    w.y = y;
    w.width = width;
    w.height = height;
    w.hasGeometry = true;
  }
  static void pid(void* data, org_kde_plasma_window*, std::uint32_t pid) { entry(data).window.pid = pid; }

  static void ignoreInt(void*, org_kde_plasma_window*, std::int32_t) {}
  static void ignoreText(void*, org_kde_plasma_window*, const char*) {}
  static void ignoreTexts(void*, org_kde_plasma_window*, const char*, const char*) {}
  static void ignore(void*, org_kde_plasma_window*) {}
  static void ignoreParent(void*, org_kde_plasma_window*, org_kde_plasma_window*) {}

  static PlasmaWindowManagement& manager(void* data) { return *static_cast<PlasmaWindowManagement*>(data); }
  static void showDesktop(void*, org_kde_plasma_window_management*, std::uint32_t) {}
  static void window(void*, org_kde_plasma_window_management*, std::uint32_t) {}  // window_with_uuid says it too
  static void stackingIds(void*, org_kde_plasma_window_management*, wl_array*) {}
  static void stacking(void* data, org_kde_plasma_window_management*, const char* uuids) {
    manager(data).stacking_ = splitStackingOrder(uuids ? uuids : "", kMaxPlasmaWindows);
  }
  static void windowWithUuid(void* data, org_kde_plasma_window_management*, std::uint32_t, const char* uuid) {
    if (uuid && strnlen(uuid, kMaxPlasmaUuid + 1) <= kMaxPlasmaUuid) manager(data).announce(uuid);
  }
};

namespace {

const org_kde_plasma_window_listener kWindowListener = {
    PlasmaEvents::title,        PlasmaEvents::appId,        PlasmaEvents::state,       PlasmaEvents::ignoreInt,
    PlasmaEvents::ignoreText,   PlasmaEvents::unmapped,     PlasmaEvents::initialState, PlasmaEvents::ignoreParent,
    PlasmaEvents::geometry,     PlasmaEvents::ignore,       PlasmaEvents::pid,         PlasmaEvents::ignoreText,
    PlasmaEvents::ignoreText,   PlasmaEvents::ignoreTexts,  PlasmaEvents::ignoreText,  PlasmaEvents::ignoreText,
    PlasmaEvents::ignoreText};
const org_kde_plasma_window_management_listener kManagerListener = {
    PlasmaEvents::showDesktop, PlasmaEvents::window, PlasmaEvents::stackingIds, PlasmaEvents::stacking,
    PlasmaEvents::windowWithUuid};

struct FoundManager {
  std::uint32_t name = 0, version = 0;
};

}  // namespace

std::unique_ptr<PlasmaWindowManagement> PlasmaWindowManagement::open(wl_display* display, Deadline deadline) {
  FoundManager found;
  static const wl_registry_listener listener = {
      [](void* data, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t version) {
        if (std::strcmp(interface, org_kde_plasma_window_management_interface.name) == 0) {
          *static_cast<FoundManager*>(data) = {name, version};
        }
      },
      [](void*, wl_registry*, std::uint32_t) {}};
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &listener, &found);
  const bool listed = roundtripBy(display, deadline);
  std::unique_ptr<PlasmaWindowManagement> m;
  if (listed && found.version >= kLowestVersion) {
    m.reset(new PlasmaWindowManagement(display));
    m->version_ = std::min(found.version, kHighestVersion);
    m->manager_ = static_cast<org_kde_plasma_window_management*>(
        wl_registry_bind(registry, found.name, &org_kde_plasma_window_management_interface, m->version_));
    org_kde_plasma_window_management_add_listener(m->manager_, &kManagerListener, m.get());
  }
  wl_registry_destroy(registry);
  if (m && !m->refresh(deadline)) m.reset();
  return m;
}

PlasmaWindowManagement::PlasmaWindowManagement(wl_display* display) : display_(display) {}

PlasmaWindowManagement::~PlasmaWindowManagement() {
  for (auto& [uuid, e] : entries_) {
    if (e->proxy) org_kde_plasma_window_destroy(e->proxy);
  }
  if (manager_) wl_proxy_destroy(reinterpret_cast<wl_proxy*>(manager_));
  wl_display_flush(display_);
}

void PlasmaWindowManagement::announce(std::string uuid) {
  if (entries_.count(uuid)) return;
  if (entries_.size() >= kMaxPlasmaWindows) {
    overflowed_ = true;
    return;
  }
  auto e = std::make_unique<Entry>();
  e->owner = this;
  e->window.uuid = uuid;
  e->mapped = ++mappedCount_;
  e->proxy = org_kde_plasma_window_management_get_window_by_uuid(manager_, uuid.c_str());
  org_kde_plasma_window_add_listener(e->proxy, &kWindowListener, e.get());
  entries_.emplace(std::move(uuid), std::move(e));
}

PlasmaWindowManagement::Entry* PlasmaWindowManagement::find(const std::string& uuid) {
  auto it = entries_.find(uuid);
  return it == entries_.end() ? nullptr : it->second.get();
}

bool PlasmaWindowManagement::refresh(Deadline deadline) {
  // A window's description follows its proxy within one round trip; windows
  // mapped meanwhile need another.
  for (;;) {
    if (!roundtripBy(display_, deadline)) return false;
    bool complete = true;
    for (auto it = entries_.begin(); it != entries_.end();) {
      if (it->second->gone) {
        org_kde_plasma_window_destroy(it->second->proxy);
        it = entries_.erase(it);
        continue;
      }
      complete = complete && it->second->described;
      ++it;
    }
    if (complete) return true;
  }
}

std::vector<PlasmaWindow> PlasmaWindowManagement::windows() const {
  std::vector<const Entry*> live;
  for (const auto& [uuid, e] : entries_) {
    if (e->described && !e->gone) live.push_back(e.get());
  }
  std::sort(live.begin(), live.end(), [](const Entry* a, const Entry* b) { return a->mapped < b->mapped; });
  std::vector<PlasmaWindow> mapped;
  for (const Entry* e : live) mapped.push_back(e->window);
  return frontToBack(mapped, stacking_);
}

bool PlasmaWindowManagement::activate(const std::string& uuid, Deadline deadline) {
  Entry* e = find(uuid);
  if (!e || e->gone || !e->described) return false;
  org_kde_plasma_window_set_state(e->proxy, kPlasmaActive, kPlasmaActive);
  // The entry stays in the map while we dispatch: only refresh() erases.
  return dispatchUntil(display_, [e] { return e->gone || (e->window.state & kPlasmaActive); }, deadline) && !e->gone;
}

}  // namespace quorvane::wayland
