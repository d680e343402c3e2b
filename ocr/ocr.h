// quorvane-ocr: one image on standard input, its text on standard output.
// The core decides everything; reading, decoding and recognising go through
// the seam in recognition.h so that tests drive them with a fake.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/channel.h"
#include "ocr/reading_order.h"
#include "ocr/recognition.h"

namespace quorvane::ocr {

// Standard input beyond this is refused as no usable image. A long scrolling
// capture as PNG or JPEG is a few tens of MiB; reading stops at the cap.
inline constexpr size_t kMaxInputBytes = size_t{256} << 20;

inline constexpr int kStatusDone = 0;
inline constexpr int kStatusFailed = 1;

// Writes the Error Message { message, type: "error" } and gives the failure
// status; writes nothing when even that cannot be encoded.
int fail(Output& out, std::string_view message);

// The text of the lines, one per line, without white space or line breaks at
// either end (Unicode white space: blanks, U+3000, line and paragraph separators...).
std::string joinLines(const std::vector<std::string>& lines);

// The result Message for observations already in reading order.
Json resultMessage(const std::vector<Observation>& sorted, double imageWidth, double imageHeight,
                   bool layout);

// The whole run; `args` are the process arguments, the program path first.
// Returns the exit status.
int runOcr(const std::vector<std::string>& args, OcrPlatform& platform, Output& out);

}  // namespace quorvane::ocr
