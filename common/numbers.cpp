#include "common/numbers.h"

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <string>

namespace quorvane {

namespace {

struct Decimal {
  bool negative = false;
  std::uint64_t magnitude = 0;
};

// Sign and digits; nullopt on any other character or on a magnitude past 2^32
// (no argument type here needs more, and it keeps the arithmetic exact).
std::optional<Decimal> parseDecimal(std::string_view text) {
  Decimal d;
  size_t i = 0;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    d.negative = text[0] == '-';
    i = 1;
  }
  if (i == text.size()) return std::nullopt;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    d.magnitude = d.magnitude * 10 + static_cast<unsigned>(c - '0');
    if (d.magnitude > (std::uint64_t{1} << 32)) return std::nullopt;
  }
  return d;
}

}  // namespace

std::optional<std::uint32_t> parseU32(std::string_view text) {
  auto d = parseDecimal(text);
  if (!d || d->magnitude > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  if (d->negative && d->magnitude != 0) return std::nullopt;
  return static_cast<std::uint32_t>(d->magnitude);
}

std::optional<std::int32_t> parseI32(std::string_view text) {
  auto d = parseDecimal(text);
  if (!d) return std::nullopt;
  if (d->negative) {
    if (d->magnitude > std::uint64_t{1} << 31) return std::nullopt;
    return static_cast<std::int32_t>(-static_cast<std::int64_t>(d->magnitude));
  }
  if (d->magnitude > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  return static_cast<std::int32_t>(d->magnitude);
}

std::optional<double> parseDouble(std::string_view text) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return std::nullopt;
  // strtod needs a terminated string and honours the process locale; read in "C".
  static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  std::string copy(text);
  if (copy.find('\0') != std::string::npos) return std::nullopt;
  char* end = nullptr;
  double value = strtod_l(copy.c_str(), &end, cLocale);
  if (end != copy.c_str() + copy.size()) return std::nullopt;
  return value;
}

}  // namespace quorvane
