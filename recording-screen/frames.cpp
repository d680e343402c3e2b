#include "recording-screen/frames.h"

#include "recording-screen/frame_record.h"
#include "recording-screen/texts.h"

namespace quorvane::recording {

void Frames::request() {
  std::lock_guard<std::mutex> guard(lock_);
  requested_ = true;
}

bool Frames::answersRequests(const Sample& sample) {
  return sample.valid && sample.status == kFrameComplete && sample.image != nullptr;
}

bool Frames::takeRequest() {
  std::lock_guard<std::mutex> guard(lock_);
  bool was = requested_;
  requested_ = false;
  return was;
}

Outcome Frames::handle(const Sample& sample) {
  // Frames that cannot answer leave a pending request for the next one.
  if (!answersRequests(sample) || !takeRequest()) return std::nullopt;
  // The lock is not held from here on: encoding is the slow part.
  auto pixels = sample.image->pixels();
  if (!pixels) return failure(texts::kEncodeFailed);
  auto jpeg = encoder_.encodeJpeg(*pixels);
  if (!jpeg || jpeg->size() > kMaxJpegBytes || !validRecordLength(static_cast<std::uint32_t>(jpeg->size())))
    return failure(texts::kEncodeFailed);
  return writeRecord(*jpeg);
}

Outcome Frames::writeRecord(const std::string& jpeg) {
  std::string header = recordHeader(static_cast<std::uint32_t>(jpeg.size()));
  const std::string_view parts[] = {header, jpeg};
  if (auto error = output_.write(parts)) return failure(texts::kWriteFailed + *error);
  return std::nullopt;
}

}  // namespace quorvane::recording
