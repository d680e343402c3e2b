#include "ocr/reading_plan.h"

#include <algorithm>
#include <array>
#include <numeric>

#include <utf8proc.h>

namespace quorvane::ocr {

std::vector<Strip> stripsFor(std::uint32_t height, std::uint32_t maxHeight, std::uint32_t overlap) {
  if (height <= maxHeight || overlap >= maxHeight) return {Strip{0, height, 0, height}};
  const std::uint32_t step = maxHeight - overlap;
  std::vector<Strip> strips;
  for (std::uint32_t top = 0;; top += step) {
    Strip strip{top, std::min(top + maxHeight, height), 0, 0};
    // The upper strip keeps the middle row of an odd overlap, so that no row has two owners.
    strip.ownTop = strips.empty() ? 0 : top + (overlap - overlap / 2);
    bool last = strip.bottom == height;
    strip.ownBottom = last ? height : strip.bottom - overlap / 2;
    strips.push_back(strip);
    if (last) break;
  }
  return strips;
}

bool stripOwnsLine(const Strip& strip, std::uint32_t lineTop, std::uint32_t lineBottom) {
  std::uint64_t twiceCentre = std::uint64_t{lineTop} + lineBottom;
  return twiceCentre >= 2 * std::uint64_t{strip.ownTop} && twiceCentre < 2 * std::uint64_t{strip.ownBottom};
}

namespace {

// Sparse layout cuts CJK lines at wider character gaps, about half a glyph;
// separate UI labels on one row (a button and its neighbour) stand at least a
// glyph's height apart.
constexpr double kJoinGap = 0.6;
// Lines of one row overlap by most of the smaller height.
constexpr double kSameRow = 0.6;
// Text of one line has nearly one height.
constexpr double kLikeHeight = 1.5;

bool joinable(const PixelBox& a, const PixelBox& b) {
  const double low = std::min(a.height(), b.height()), high = std::max(a.height(), b.height());
  if (low <= 0 || high > kLikeHeight * low) return false;
  const double overlap = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
  if (overlap < kSameRow * low) return false;
  const double gap = std::max(a.left, b.left) - std::min(a.right, b.right);
  return gap <= kJoinGap * high;
}

}  // namespace

std::vector<std::vector<std::size_t>> splitLines(const std::vector<PixelBox>& boxes) {
  std::vector<std::size_t> order(boxes.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return boxes[a].left < boxes[b].left; });
  // Each box joins the group of the first earlier box (left to right) it continues.
  std::vector<std::vector<std::size_t>> groups;
  std::vector<std::size_t> groupOf(boxes.size(), boxes.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    const std::size_t box = order[i];
    for (std::size_t j = i; j-- > 0;) {
      const std::size_t earlier = order[j];
      const std::vector<std::size_t>* group = groupOf[earlier] < groups.size() ? &groups[groupOf[earlier]] : nullptr;
      // Only the rightmost piece of a group can be continued.
      if (group && group->back() != earlier) continue;
      if (!joinable(boxes[earlier], boxes[box])) continue;
      if (!group) {
        groupOf[earlier] = groups.size();
        groups.push_back({earlier});
      }
      groupOf[box] = groupOf[earlier];
      groups[groupOf[box]].push_back(box);
      break;
    }
  }
  return groups;
}

namespace {

// Ascenders and descenders stand out of a line of lowercase letters by about half its height.
constexpr double kGlyphReach = 0.5;

}  // namespace

PixelBox reachOverInk(const PixelBox& line, const std::vector<PixelBox>& ink) {
  const double height = line.height();
  if (height <= 0) return line;
  const double reach = kGlyphReach * height, gap = kJoinGap * height;
  std::vector<PixelBox> row;
  for (const PixelBox& piece : ink) {
    const bool within = piece.top >= line.top - reach && piece.bottom <= line.bottom + reach;
    if (within && piece.bottom > line.top && piece.top < line.bottom) row.push_back(piece);
  }
  PixelBox grown = line;
  // Rightwards in order of left edges, leftwards in order of right edges:
  // each piece taken brings the next one within reach.
  std::sort(row.begin(), row.end(), [](const PixelBox& a, const PixelBox& b) { return a.left < b.left; });
  for (const PixelBox& piece : row) {
    if (piece.left > grown.right + gap) break;
    if (piece.right > grown.right) grown = {grown.left, std::min(grown.top, piece.top), piece.right,
                                            std::max(grown.bottom, piece.bottom)};
  }
  std::sort(row.begin(), row.end(), [](const PixelBox& a, const PixelBox& b) { return a.right > b.right; });
  for (const PixelBox& piece : row) {
    if (piece.right < grown.left - gap) break;
    if (piece.left < grown.left) grown = {piece.left, std::min(grown.top, piece.top), grown.right,
                                          std::max(grown.bottom, piece.bottom)};
  }
  return grown;
}

namespace {

// Narrower than any glyph but a hairline: the engine's echo is a pixel or two wide.
constexpr double kSliver = 0.2;

}  // namespace

bool echoOfNextGlyph(const PixelBox& first, const PixelBox& second, double lineHeight) {
  return first.right - first.left <= kSliver * lineHeight && first.left >= second.left && first.right <= second.right;
}

namespace {

// Confidence differences the engine gives the same text under two settings.
constexpr float kReadingMargin = 0.05f;

}  // namespace

std::size_t bestReading(const std::vector<Reading>& readings) {
  std::size_t best = 0;
  for (std::size_t i = 1; i < readings.size(); ++i) {
    if (readings[i].text.empty()) continue;
    if (readings[best].text.empty() || readings[i].confidence > readings[best].confidence + kReadingMargin) best = i;
  }
  return best;
}

Reading settleReading(std::size_t count, const std::function<Reading(std::size_t)>& read) {
  std::vector<Reading> readings;
  for (std::size_t i = 0; i < count; ++i) {
    readings.push_back(read(i));
    if (!readings.back().text.empty() && readings.back().confidence >= kSettled) break;
  }
  if (readings.empty()) return {};
  return std::move(readings[bestReading(readings)]);
}

namespace {

// Two glyphs side by side at least.
constexpr double kMinWordWidth = 2.0;

}  // namespace

bool worthReadingAgain(float confidence, bool joined, bool besideNetworks) {
  return joined || (!besideNetworks && confidence < kRereadBelow);
}

bool worthReadingAlone(const PixelBox& box) { return box.right - box.left >= kMinWordWidth * box.height(); }

namespace {

constexpr std::array<std::string_view, 4> kCjkLanguages = {"chi_sim", "chi_tra", "jpn", "kor"};

bool isKanaOrHangul(utf8proc_int32_t c) {
  return (c >= 0x3040 && c <= 0x30FF) ||  // kana
         (c >= 0x1100 && c <= 0x11FF) || (c >= 0x3130 && c <= 0x318F) || (c >= 0xAC00 && c <= 0xD7AF);  // Hangul
}

bool isCjk(utf8proc_int32_t c) {
  return isKanaOrHangul(c) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF);  // Han
}

template <typename Count>
void eachCharacter(std::string_view text, Count count) {
  auto bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
  for (std::size_t at = 0; at < text.size();) {
    utf8proc_int32_t c = -1;
    utf8proc_ssize_t length = utf8proc_iterate(bytes + at, utf8proc_ssize_t(text.size() - at), &c);
    if (length <= 0) length = 1;
    at += std::size_t(length);
    count(c);
  }
}

bool anyOf(std::string_view text, bool (*is)(utf8proc_int32_t)) {
  bool found = false;
  eachCharacter(text, [&](utf8proc_int32_t c) { found = found || is(c); });
  return found;
}

}  // namespace

bool mostlyCjk(std::string_view text) {
  std::size_t cjk = 0, other = 0;
  eachCharacter(text, [&](utf8proc_int32_t c) {
    if (c != ' ') ++(isCjk(c) ? cjk : other);
  });
  return cjk > other;
}

bool worthReadingWith(std::string_view language, std::string_view reading) {
  if (std::find(kCjkLanguages.begin(), kCjkLanguages.end(), language) != kCjkLanguages.end()) return true;
  return !mostlyCjk(reading);
}

namespace {

bool sameRowOverlap(const PixelBox& a, const PixelBox& b) {
  const double low = std::min(a.height(), b.height());
  const double rows = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
  const double columns = std::min(a.right, b.right) - std::max(a.left, b.left);
  return low > 0 && rows >= kSameRow * low && columns > 0;
}

// The networks find text the engine finds; where they see none, what the
// engine reads in a list that asks for Chinese is mostly a CJK glyph or an
// icon read as one or two Latin letters ("vr", "4").
constexpr std::size_t kMinLoneCharacters = 3;

bool worthKeepingAlone(std::string_view text) {
  std::size_t characters = 0;
  eachCharacter(text, [&](utf8proc_int32_t c) { characters += c != ' '; });
  return characters >= kMinLoneCharacters;
}

bool engineReadsBetter(const ReadLine& engine, const ReadLine& neural) {
  if (anyOf(engine.reading.text, isKanaOrHangul)) return true;
  return !anyOf(neural.reading.text, isCjk) && !anyOf(engine.reading.text, isCjk) &&
         engine.reading.confidence >= kRereadBelow;
}

}  // namespace

std::vector<ReadLine> mergeReadings(std::vector<ReadLine> neural, std::vector<ReadLine> engine) {
  std::vector<bool> engineKept(engine.size(), true);
  std::vector<ReadLine> merged;
  for (ReadLine& line : neural) {
    std::vector<std::size_t> overlapped;
    for (std::size_t i = 0; i < engine.size(); ++i) {
      if (sameRowOverlap(line.box, engine[i].box)) overlapped.push_back(i);
    }
    const bool engineWins = !overlapped.empty() && std::all_of(overlapped.begin(), overlapped.end(), [&](std::size_t i) {
      return engineReadsBetter(engine[i], line);
    });
    if (engineWins) continue;
    for (std::size_t i : overlapped) engineKept[i] = false;
    merged.push_back(std::move(line));
  }
  for (std::size_t i = 0; i < engine.size(); ++i) {
    if (engineKept[i] && worthKeepingAlone(engine[i].reading.text)) merged.push_back(std::move(engine[i]));
  }
  return merged;
}

namespace {

// The engine reads a short CJK run as a few Latin letters ("RF") with high
// confidence; Latin text of this many characters it reads so only where it is Latin.
constexpr std::size_t kMinSettledLatin = 4;
// A found line's margin on either side, against its height: the detector's
// boxes take in ground around the ink that the engine's leave out.
constexpr double kFoundMargin = 0.4;

bool beyondDoubt(const Reading& reading) {
  if (anyOf(reading.text, isKanaOrHangul)) return true;
  std::size_t characters = 0;
  eachCharacter(reading.text, [&](utf8proc_int32_t c) { characters += c != ' '; });
  return !anyOf(reading.text, isCjk) && reading.confidence >= kSettled && characters >= kMinSettledLatin;
}

}  // namespace

bool settledByEngine(const PixelBox& found, const std::vector<ReadLine>& engine) {
  std::vector<const ReadLine*> row;
  for (const ReadLine& line : engine) {
    if (sameRowOverlap(found, line.box)) row.push_back(&line);
  }
  if (row.empty()) return false;
  std::sort(row.begin(), row.end(), [](const ReadLine* a, const ReadLine* b) { return a->box.left < b->box.left; });
  const double margin = kFoundMargin * found.height();
  double covered = found.left + margin;
  for (const ReadLine* line : row) {
    if (!beyondDoubt(line->reading) || line->box.left > covered + margin) return false;
    covered = std::max(covered, line->box.right);
  }
  return covered >= found.right - margin;
}

std::vector<Observation> observationsOf(std::vector<ReadLine> lines, double width, double height) {
  std::vector<Observation> observations;
  observations.reserve(lines.size());
  for (ReadLine& line : lines) {
    const PixelBox& b = line.box;
    NormalizedBox box{b.left / width, (height - b.bottom) / height, (b.right - b.left) / width, b.height() / height};
    observations.push_back(Observation{box, Candidate{std::move(line.reading.text), line.reading.confidence}});
  }
  return observations;
}

}  // namespace quorvane::ocr
