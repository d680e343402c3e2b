#include "input/x11/properties.h"

#include <cstring>

#include <xcb/xcb_icccm.h>

namespace quorvane::input::x11 {

std::string_view propertyBytes(const xcb_get_property_reply_t* r) {
  if (!r || (r->format != 8 && r->format != 16 && r->format != 32)) return {};
  // xcb's own accessor multiplies the declared count in 32 bits and trusts it.
  const std::uint64_t declared = std::uint64_t{r->value_len} * (r->format / 8);
  if (declared > std::uint64_t{r->length} * 4) return {};
  return {static_cast<const char*>(xcb_get_property_value(r)), static_cast<std::size_t>(declared)};
}

std::vector<std::uint32_t> values32(const xcb_get_property_reply_t* r, xcb_atom_t type) {
  auto bytes = propertyBytes(r);
  if (bytes.empty() || r->type != type || r->format != 32) return {};
  std::vector<std::uint32_t> values(bytes.size() / 4);
  std::memcpy(values.data(), bytes.data(), values.size() * 4);
  return values;
}

std::string wmClassName(xcb_get_property_reply_t* r) {
  auto bytes = propertyBytes(r);
  xcb_icccm_get_wm_class_reply_t names;
  // The library ends the value with a NUL inside the reply, but reads past an
  // empty one and may point the class one byte past an unterminated one.
  if (bytes.empty() || !xcb_icccm_get_wm_class_from_reply(&names, r)) return {};
  const char* end = bytes.data() + bytes.size();
  if (names.class_name >= end) return {};
  return std::string(names.class_name, strnlen(names.class_name, static_cast<std::size_t>(end - names.class_name)));
}

}  // namespace quorvane::input::x11
