// One entry of the platform's window list: a record of optional, dynamically
// typed values, one per key. Backends fill what the window server tells them
// and leave a key out when it does not know it; the readers below are the one
// place that decides what "missing, or of another type" means.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "common/geometry.h"

namespace quorvane::input {

enum class WindowKey { Number, OwnerPid, Layer, Alpha, Bounds, OwnerName, IsOnscreen };

// The scalar values a bounds dictionary may hold.
using Scalar = std::variant<std::int64_t, double, bool, std::string>;
// A bounds dictionary: "X", "Y", "Width", "Height" when well formed.
using Dict = std::map<std::string, Scalar>;
using Value = std::variant<std::int64_t, double, bool, std::string, Dict>;

class WindowDescription {
 public:
  WindowDescription& set(WindowKey key, Value value) {
    values_[key] = std::move(value);
    return *this;
  }
  const Value* find(WindowKey key) const {
    auto it = values_.find(key);
    return it == values_.end() ? nullptr : &it->second;
  }

 private:
  std::map<WindowKey, Value> values_;
};

// Front to back: the first entry is the frontmost window.
using WindowList = std::vector<WindowDescription>;

// Typed readers: nothing when the key is missing or holds another type (or an
// integer out of the type's range).
std::optional<std::uint32_t> asU32(const WindowDescription& d, WindowKey key);
std::optional<std::int32_t> asI32(const WindowDescription& d, WindowKey key);
std::optional<std::int64_t> asInteger(const WindowDescription& d, WindowKey key);
std::optional<double> asDouble(const WindowDescription& d, WindowKey key);
std::optional<bool> asBool(const WindowDescription& d, WindowKey key);
std::optional<std::string> asString(const WindowDescription& d, WindowKey key);
// A dictionary whose X, Y, Width and Height are all numbers (integer or real).
std::optional<Rect> asRect(const WindowDescription& d, WindowKey key);

// The dictionary a backend stores for a frame.
Dict boundsDict(const Rect& r);

}  // namespace quorvane::input
