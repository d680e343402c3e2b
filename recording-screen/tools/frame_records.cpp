#include "recording-screen/tools/frame_records.h"

namespace quorvane::recording {

void RecordReader::feed(std::string_view bytes) {
  if (badLength_) return;
  // Drop what was already handed out before growing.
  if (offset_ > 0) {
    buffer_.erase(0, offset_);
    offset_ = 0;
  }
  buffer_.append(bytes);
}

std::optional<std::string> RecordReader::next() {
  if (badLength_ || pending() < 4) return std::nullopt;
  const auto* p = reinterpret_cast<const unsigned char*>(buffer_.data() + offset_);
  std::uint32_t length = std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
  if (length < kMinLength || length > kMaxLength) {
    badLength_ = length;
    return std::nullopt;
  }
  if (pending() - 4 < length) return std::nullopt;
  std::string jpeg = buffer_.substr(offset_ + 4, length);
  offset_ += 4 + std::size_t{length};
  return jpeg;
}

}  // namespace quorvane::recording
