// Auto-scroll's command reader: any byte stream, cut into reads at points the
// input chooses, must give the lines of a model that sees the whole stream.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "input/command_lines.h"

using quorvane::input::LineReader;

namespace {

std::vector<std::string> model(const std::string& stream) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < stream.size()) {
    std::size_t nl = stream.find('\n', start);
    const bool last = nl == std::string::npos;
    std::string line = stream.substr(start, (last ? stream.size() : nl) - start);
    if (line.size() > LineReader::kMaxLine) line.resize(LineReader::kMaxLine);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (last) break;
    start = nl + 1;
  }
  return lines;
}

}  // namespace

// The first bytes choose the cut points (one byte each: the next read's
// length); the rest is the stream.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t cuts = data[0] % 16;
  if (size < 1 + cuts) return 0;
  const std::string stream(reinterpret_cast<const char*>(data + 1 + cuts), size - 1 - cuts);
  LineReader reader;
  std::vector<std::string> seen;
  std::size_t at = 0;
  for (std::size_t i = 0; at < stream.size(); ++i) {
    // Reads of 1..256 bytes as chosen, then the rest in one.
    std::size_t n = i < cuts ? 1 + data[1 + i] : stream.size() - at;
    n = std::min(n, stream.size() - at);
    reader.feed(std::string_view(stream).substr(at, n));
    at += n;
    while (auto line = reader.take()) seen.push_back(*line);
  }
  reader.end();
  while (auto line = reader.take()) seen.push_back(*line);
  if (seen != model(stream)) std::abort();
  return 0;
}
