#include "common/x11/replies.h"

#include <algorithm>
#include <cstring>

namespace quorvane::x11 {

const std::uint8_t* replyEnd(const void* reply) {
  constexpr std::size_t kFixedPart = 32;  // every reply's, its length field counting the words after it
  const auto* r = static_cast<const xcb_generic_reply_t*>(reply);
  return static_cast<const std::uint8_t*>(reply) + kFixedPart + std::size_t{r->length} * 4;
}

std::size_t itemsWithin(const void* reply, const void* first, std::size_t declared, std::size_t size) {
  const auto* at = static_cast<const std::uint8_t*>(first);
  const std::uint8_t* end = replyEnd(reply);
  if (at > end) return 0;
  return std::min(declared, static_cast<std::size_t>(end - at) / size);
}

bool holds(const void* reply, const void* at, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(at);
  const std::uint8_t* end = replyEnd(reply);
  return p <= end && static_cast<std::size_t>(end - p) >= size;
}

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

}  // namespace quorvane::x11
