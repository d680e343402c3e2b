// WM_CLASS as another client wrote it: any type, format and length may arrive.
#pragma once

#include <string>

#include <xcb/xcb.h>

namespace quorvane::input::x11 {

// The class part of WM_CLASS ("instance\0class\0"); empty when absent.
std::string wmClassName(xcb_get_property_reply_t* r);

}  // namespace quorvane::input::x11
