// Arbitrary bytes on standard input, read in chunks of varying size, against
// a model of the protocol applied to the whole input at once: the same frame
// requests and the same end, however the bytes are cut, and never more held
// than one read and one short unfinished line.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "recording-screen/control.h"

namespace {

using quorvane::recording::ControlReader;
using quorvane::recording::kMaxControlLine;

struct Verdict {
  int frames = 0;
  ControlReader::End end = ControlReader::End::none;
};

// Lines end at a line feed, which takes one carriage return before it along;
// the rest after the last line feed is a line too when not empty.
Verdict model(std::string_view input) {
  Verdict v;
  for (;;) {
    auto feed = input.find('\n');
    bool last = feed == std::string_view::npos;
    if (last && input.empty()) {
      v.end = ControlReader::End::endOfInput;
      return v;
    }
    std::string_view line = input.substr(0, feed);
    if (!last && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line == "frame") {
      ++v.frames;
    } else {
      v.end = line == "stop" ? ControlReader::End::stop : ControlReader::End::invalid;
      return v;
    }
    if (last) {
      v.end = ControlReader::End::endOfInput;
      return v;
    }
    input.remove_prefix(feed + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks the size of the reads; the rest is standard input.
  const std::size_t chunk = data[0] == 0 ? 4096 : 1 + data[0] % 97;
  std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);

  ControlReader reader;
  Verdict got;
  auto frame = [&] { ++got.frames; };
  std::size_t at = 0;
  while (got.end == ControlReader::End::none) {
    if (at < input.size()) {
      got.end = reader.feed(input.substr(at, chunk), frame);
      at += chunk;
      if (got.end == ControlReader::End::none && reader.held() > kMaxControlLine) __builtin_trap();
    } else {
      got.end = reader.finish(frame);
    }
  }
  Verdict want = model(input);
  if (got.frames != want.frames) __builtin_trap();
  // A line too long to be a command may be refused before its end is seen;
  // the verdict is the same, only earlier.
  if (got.end != want.end) __builtin_trap();
  return 0;
}
