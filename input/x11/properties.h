// Reading window properties that other clients wrote: any type, format and
// length may arrive, and a reply's declared length is checked against the
// bytes it really carries.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <xcb/xcb.h>

namespace quorvane::input::x11 {

// The value bytes of a reply of format 8, 16 or 32; empty for any other
// format or when the declared length exceeds the reply.
std::string_view propertyBytes(const xcb_get_property_reply_t* r);
// The 32-bit values of a property of that type; empty when it has another
// type or format.
std::vector<std::uint32_t> values32(const xcb_get_property_reply_t* r, xcb_atom_t type);
// The class part of WM_CLASS ("instance\0class\0"); empty when absent.
std::string wmClassName(xcb_get_property_reply_t* r);

}  // namespace quorvane::input::x11
