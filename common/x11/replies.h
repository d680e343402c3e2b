// Reading what an X reply holds, never past it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include <xcb/xcb.h>

namespace quorvane::x11 {

// Replies as xcb hands them over: the 32-byte header, then as many words as
// the length field says. Every count inside a reply is the server's word as
// well and may claim more than that: readers take only what lies within.
const std::uint8_t* replyEnd(const void* reply);
// How many of the `declared` items of `size` bytes, the first at `first`, lie within the reply.
std::size_t itemsWithin(const void* reply, const void* first, std::size_t declared, std::size_t size);
// Whether `size` bytes at `at` lie within the reply (an item whose size it declares itself).
bool holds(const void* reply, const void* at, std::size_t size);

// The value bytes of a property reply of format 8, 16 or 32; empty for any
// other format, or when the declared length runs past the reply.
std::string_view propertyBytes(const xcb_get_property_reply_t* r);
// The 32-bit values of a property reply of that type; empty when it has
// another type or format, or runs past the reply.
std::vector<std::uint32_t> values32(const xcb_get_property_reply_t* r, xcb_atom_t type);

}  // namespace quorvane::x11
