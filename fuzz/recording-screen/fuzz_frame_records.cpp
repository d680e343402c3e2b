// Arbitrary bytes as a frame-record stream, fed to the reader in chunks of
// varying size and read the way the splitting tool reads it, against a parse
// of the whole stream at once: the same records, the same bad length, the
// same truncated rest, and nothing held beyond one record and one chunk.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recording-screen/frame_record.h"

namespace {

using quorvane::recording::RecordReader;
using quorvane::recording::recordLength;
using quorvane::recording::validRecordLength;

struct Parse {
  std::vector<std::string_view> records;
  std::optional<std::uint32_t> badLength;
  std::size_t rest = 0;
};

Parse model(std::string_view stream) {
  Parse p;
  while (stream.size() >= 4) {
    std::uint32_t length = recordLength(stream);
    if (!validRecordLength(length)) {
      p.badLength = length;
      return p;
    }
    if (stream.size() - 4 < length) break;
    p.records.push_back(stream.substr(4, length));
    stream.remove_prefix(4 + std::size_t{length});
  }
  p.rest = stream.size();
  return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t chunk = data[0] == 0 ? 65536 : 1 + data[0] % 61;
  std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);

  RecordReader reader;
  Parse want = model(stream);
  std::size_t taken = 0;
  for (std::size_t at = 0; at < stream.size(); at += chunk) {
    reader.feed(stream.substr(at, chunk));
    while (auto record = reader.next()) {
      if (taken >= want.records.size() || *record != want.records[taken]) __builtin_trap();
      ++taken;
    }
    if (reader.badLength()) break;
    // Only an unfinished record (header included) and the last chunk are held.
    if (reader.pending() > 4 + quorvane::recording::kMaxJpegBytes + chunk) __builtin_trap();
  }
  if (taken != want.records.size() || reader.badLength() != want.badLength) __builtin_trap();
  if (!want.badLength && reader.pending() != want.rest) __builtin_trap();
  return 0;
}
