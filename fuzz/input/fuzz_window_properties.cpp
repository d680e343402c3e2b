// Window properties as other clients write them: any declared format, type
// and length, any bytes, through every reader quorvane-input applies to them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/x11/replies.h"
#include "input/x11/properties.h"

using namespace quorvane::x11;
using quorvane::input::x11::wmClassName;

// The first 12 bytes are the reply's format, type and declared length; the
// rest is the value the reply really carries.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 12) return 0;
  const std::size_t valueBytes = size - 12;
  // Exactly the reply's size, so that a read past it is caught.
  std::vector<std::uint8_t> buffer(sizeof(xcb_get_property_reply_t) + (valueBytes + 3) / 4 * 4);
  auto* r = reinterpret_cast<xcb_get_property_reply_t*>(buffer.data());
  r->format = data[0];
  std::memcpy(&r->type, data + 4, 4);
  std::memcpy(&r->value_len, data + 8, 4);
  r->length = static_cast<std::uint32_t>((valueBytes + 3) / 4);
  std::memcpy(buffer.data() + sizeof(xcb_get_property_reply_t), data + 12, valueBytes);

  const auto bytes = propertyBytes(r);
  if (bytes.size() > std::size_t{r->length} * 4) std::abort();
  const auto values = values32(r, r->type);
  if (values.size() * 4 > bytes.size()) std::abort();
  const auto name = wmClassName(r);
  if (name.size() > bytes.size()) std::abort();
  return 0;
}
