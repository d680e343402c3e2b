// Text from other programs (window properties, process names) is untrusted
// bytes; these make it safe to put into a Message.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvane {

// Valid UTF-8: every ill-formed sequence becomes U+FFFD, NUL bytes are dropped.
std::string sanitizeUtf8(std::string_view bytes);

// The first `limit` user-perceived characters (extended grapheme clusters) of
// valid UTF-8 text; never cuts inside a character or a cluster.
std::string firstGraphemes(std::string_view utf8, std::size_t limit);

}  // namespace quorvane
