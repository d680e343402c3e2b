// The in-process stand-in for the window server and the process, for unit
// tests: any window list, malformed entries included, and counters of what
// the core asked.
#pragma once

#include <functional>
#include <map>

#include "input/platform.h"

namespace quorvane::input {

class FakeWindowServer : public WindowServer {
 public:
  std::optional<WindowList> onScreenWindows() override {
    ++listCalls;
    if (beforeList) beforeList(listCalls);
    return onScreen;
  }
  std::optional<WindowList> windowById(std::uint32_t number) override {
    ++lookupCalls;
    if (unreadable) return std::nullopt;
    auto it = byId.find(number);
    if (it == byId.end()) return WindowList{};
    return WindowList{it->second};
  }

  std::optional<WindowList> onScreen = WindowList{};
  std::map<std::uint32_t, WindowDescription> byId;
  bool unreadable = false;  // the window server cannot be asked at all
  int listCalls = 0;
  int lookupCalls = 0;
  std::function<void(int)> beforeList;  // called with the list call's ordinal (1 = the first)
};

class FakeProcess : public Process {
 public:
  std::int32_t parentPid() override { return parent; }
  std::int32_t ownPid() override { return self; }
  std::int32_t parent = 500;
  std::int32_t self = 900;
};

class FakePermissions : public Permissions {
 public:
  bool listenAccess() override { return listen; }
  void requestListenAccess() override { ++listenRequests; }
  bool listen = true;
  int listenRequests = 0;
};

// A well-formed on-screen entry of a normal window.
inline WindowDescription normalWindow(std::int64_t number, std::int64_t pid, Rect bounds,
                                      std::string owner = "Editor") {
  WindowDescription d;
  d.set(WindowKey::Number, number)
      .set(WindowKey::OwnerPid, pid)
      .set(WindowKey::Layer, std::int64_t{0})
      .set(WindowKey::Alpha, 1.0)
      .set(WindowKey::Bounds, boundsDict(bounds))
      .set(WindowKey::OwnerName, std::move(owner))
      .set(WindowKey::IsOnscreen, true);
  return d;
}

}  // namespace quorvane::input
