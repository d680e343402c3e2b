// quorvane-split-frames: cuts a frame-record stream (standard input) into JPEG
// files PREFIX-001.jpg, PREFIX-002.jpg, ... so that a person can look at them.
//   quorvane-split-frames [--count N] PREFIX
// Ends after N records (or at the end of the stream). Status 0 when every
// record was whole, 1 on a broken or truncated stream, 2 on bad usage.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "common/numbers.h"
#include "recording-screen/frame_record.h"

namespace {

bool save(const std::string& path, const std::string& jpeg) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(jpeg.data(), 1, jpeg.size(), f) == jpeg.size();
  return std::fclose(f) == 0 && ok;
}

std::string numbered(const std::string& prefix, int n) {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "-%03d.jpg", n);
  return prefix + suffix;
}

}  // namespace

int main(int argc, char** argv) {
  long limit = -1;
  bool badCount = false;
  std::string prefix;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--count") == 0 && i + 1 < argc) {
      auto n = quorvane::parseI32(argv[++i]);
      badCount = badCount || !n || *n < 1;
      limit = n.value_or(0);
    } else if (prefix.empty()) {
      prefix = argv[i];
    } else {
      prefix.clear();
      break;
    }
  }
  if (prefix.empty() || badCount) {
    std::fprintf(stderr, "usage: quorvane-split-frames [--count N] PREFIX\n");
    return 2;
  }
  quorvane::recording::RecordReader reader;
  int saved = 0;
  char chunk[65536];
  for (;;) {
    while (auto jpeg = reader.next()) {
      std::string path = numbered(prefix, ++saved);
      if (!save(path, *jpeg)) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return 1;
      }
      std::printf("%s (%zu bytes)\n", path.c_str(), jpeg->size());
      std::fflush(stdout);
      if (saved == limit) return 0;
    }
    if (auto bad = reader.badLength()) {
      std::fprintf(stderr, "broken stream: record length %u\n", *bad);
      return 1;
    }
    ssize_t n = read(0, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    reader.feed(std::string_view(chunk, static_cast<std::size_t>(n)));
  }
  if (reader.pending() > 0) {
    std::fprintf(stderr, "stream ends inside a record (%zu bytes)\n", reader.pending());
    return 1;
  }
  return limit > 0 && saved < limit ? 1 : 0;
}
