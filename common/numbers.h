// Readers of decimal arguments. The application passes numbers as plain
// decimal text; anything else (blanks, trailing letters, overflow) is refused
// rather than half-read.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quorvane {

// An optional "+" or "-" and one or more ASCII digits, nothing else; the value
// must fit. A minus sign is accepted only before a zero value ("-0").
std::optional<std::uint32_t> parseU32(std::string_view text);
std::optional<std::int32_t> parseI32(std::string_view text);

// The whole text as a C-locale floating-point number (decimal or hexadecimal,
// optional exponent, the words for NaN and infinity). No surrounding blanks.
std::optional<double> parseDouble(std::string_view text);

}  // namespace quorvane
