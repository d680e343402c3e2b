// The frame sink: one request flag, and the handling of every captured frame.
// A complete frame that arrives while the flag is set becomes one frame record
// on standard output; every other frame is dropped.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/outcome.h"
#include "recording-screen/capture.h"

namespace quorvane::recording {

class Frames {
 public:
  Frames(Encoder& encoder, RecordOutput& output) : encoder_(encoder), output_(output) {}

  // Asks for one frame; any number of requests before the next complete frame
  // count as one. Safe from any thread.
  void request();

  // Called serially for every captured frame.
  Outcome handle(const Sample& sample);

 private:
  static bool answersRequests(const Sample& sample);
  bool takeRequest();
  Outcome writeRecord(const std::vector<std::string_view>& jpeg, std::uint32_t size);

  Encoder& encoder_;
  RecordOutput& output_;
  std::mutex lock_;
  // Set at the start, so the first complete frame is written unasked.
  bool requested_ = true;
};

}  // namespace quorvane::recording
