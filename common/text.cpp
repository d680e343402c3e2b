#include "common/text.h"

#include <utf8proc.h>

namespace quorvane {

std::string sanitizeUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  const auto* p = reinterpret_cast<const utf8proc_uint8_t*>(bytes.data());
  utf8proc_ssize_t left = static_cast<utf8proc_ssize_t>(bytes.size());
  while (left > 0) {
    utf8proc_int32_t cp = 0;
    utf8proc_ssize_t n = utf8proc_iterate(p, left, &cp);
    if (n < 0) {
      out += "\xEF\xBF\xBD";  // U+FFFD for the one bad byte, then resynchronise
      ++p;
      --left;
      continue;
    }
    if (cp != 0) out.append(reinterpret_cast<const char*>(p), static_cast<size_t>(n));
    p += n;
    left -= n;
  }
  return out;
}

std::string firstGraphemes(std::string_view utf8, std::size_t limit) {
  const auto* start = reinterpret_cast<const utf8proc_uint8_t*>(utf8.data());
  const auto* p = start;
  utf8proc_ssize_t left = static_cast<utf8proc_ssize_t>(utf8.size());
  utf8proc_int32_t previous = -1;
  utf8proc_int32_t state = 0;
  std::size_t clusters = 0;
  while (left > 0) {
    utf8proc_int32_t cp = 0;
    utf8proc_ssize_t n = utf8proc_iterate(p, left, &cp);
    if (n < 0) break;  // callers pass sanitised text; stop rather than guess
    bool startsCluster = previous < 0 || utf8proc_grapheme_break_stateful(previous, cp, &state);
    if (startsCluster) {
      if (clusters == limit) break;
      ++clusters;
    }
    previous = cp;
    p += n;
    left -= n;
  }
  return std::string(utf8.substr(0, static_cast<size_t>(p - start)));
}

}  // namespace quorvane
