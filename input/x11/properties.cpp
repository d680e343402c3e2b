#include "input/x11/properties.h"

#include <cstring>

#include <xcb/xcb_icccm.h>

#include "common/x11/replies.h"

namespace quorvane::input::x11 {

std::string wmClassName(xcb_get_property_reply_t* r) {
  auto bytes = quorvane::x11::propertyBytes(r);
  xcb_icccm_get_wm_class_reply_t names;
  // The library ends the value with a NUL inside the reply, but reads past an
  // empty one and may point the class one byte past an unterminated one.
  if (bytes.empty() || !xcb_icccm_get_wm_class_from_reply(&names, r)) return {};
  const char* end = bytes.data() + bytes.size();
  if (names.class_name >= end) return {};
  return std::string(names.class_name, strnlen(names.class_name, static_cast<std::size_t>(end - names.class_name)));
}

}  // namespace quorvane::input::x11
