#include "input/window_description.h"

#include <limits>

namespace quorvane::input {

std::optional<std::int64_t> asInteger(const WindowDescription& d, WindowKey key) {
  const Value* v = d.find(key);
  if (!v) return std::nullopt;
  if (const auto* i = std::get_if<std::int64_t>(v)) return *i;
  return std::nullopt;
}

std::optional<std::uint32_t> asU32(const WindowDescription& d, WindowKey key) {
  auto i = asInteger(d, key);
  if (!i || *i < 0 || *i > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  return static_cast<std::uint32_t>(*i);
}

std::optional<std::int32_t> asI32(const WindowDescription& d, WindowKey key) {
  auto i = asInteger(d, key);
  if (!i || *i < std::numeric_limits<std::int32_t>::min() || *i > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(*i);
}

std::optional<double> asDouble(const WindowDescription& d, WindowKey key) {
  const Value* v = d.find(key);
  if (!v) return std::nullopt;
  if (const auto* x = std::get_if<double>(v)) return *x;
  return std::nullopt;
}

std::optional<bool> asBool(const WindowDescription& d, WindowKey key) {
  const Value* v = d.find(key);
  if (!v) return std::nullopt;
  if (const auto* b = std::get_if<bool>(v)) return *b;
  return std::nullopt;
}

std::optional<std::string> asString(const WindowDescription& d, WindowKey key) {
  const Value* v = d.find(key);
  if (!v) return std::nullopt;
  if (const auto* s = std::get_if<std::string>(v)) return *s;
  return std::nullopt;
}

namespace {

std::optional<double> number(const Dict& dict, const char* name) {
  auto it = dict.find(name);
  if (it == dict.end()) return std::nullopt;
  if (const auto* i = std::get_if<std::int64_t>(&it->second)) return static_cast<double>(*i);
  if (const auto* x = std::get_if<double>(&it->second)) return *x;
  return std::nullopt;
}

}  // namespace

std::optional<Rect> asRect(const WindowDescription& d, WindowKey key) {
  const Value* v = d.find(key);
  if (!v) return std::nullopt;
  const auto* dict = std::get_if<Dict>(v);
  if (!dict) return std::nullopt;
  auto x = number(*dict, "X"), y = number(*dict, "Y"), w = number(*dict, "Width"), h = number(*dict, "Height");
  if (!x || !y || !w || !h) return std::nullopt;
  return Rect{*x, *y, *w, *h};
}

Dict boundsDict(const Rect& r) {
  return Dict{{"X", r.x}, {"Y", r.y}, {"Width", r.width}, {"Height", r.height}};
}

}  // namespace quorvane::input
