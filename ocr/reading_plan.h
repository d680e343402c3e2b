// How the engine's passes over an image are planned and judged: the strips a
// tall capture is read in, which lines are read again, and which reading of
// a line wins. Pure rules; the Tesseract backend carries them out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ocr/reading_order.h"

namespace quorvane::ocr {

// A horizontal band of a tall image, recognised on its own. Neighbouring
// strips overlap so that every line lies whole in one of them; a line belongs
// to the strip whose owned band holds its vertical centre.
struct Strip {
  std::uint32_t top = 0, bottom = 0;          // rows recognised, [top, bottom)
  std::uint32_t ownTop = 0, ownBottom = 0;    // rows whose lines this strip reports
};

// One strip when the height fits, else strips of at most maxHeight rows that
// overlap by `overlap` rows and own the rows between their overlaps' middles.
std::vector<Strip> stripsFor(std::uint32_t height, std::uint32_t maxHeight, std::uint32_t overlap);

bool stripOwnsLine(const Strip& strip, std::uint32_t lineTop, std::uint32_t lineBottom);

// A line's rectangle in pixels, y down.
struct PixelBox {
  double left = 0, top = 0, right = 0, bottom = 0;
  double height() const { return bottom - top; }
};

// Pieces of one line of text that the engine's sparse layout cut apart: boxes
// on the same row, of like height, with less than a fraction of their height
// between them. Returns groups of two or more indices, each left to right.
std::vector<std::vector<std::size_t>> splitLines(const std::vector<PixelBox>& boxes);

// Sparse layout also leaves thin glyphs (l, i, t, a colon) out of a line and
// may cut it there: "Noah Williams" comes back as "Noah Wil" and "ams". A
// line's box grown over the pieces of ink (connected glyph parts, in pixels)
// on its row that lie within the joining gap of its ends, one after another;
// pieces reaching well above or below the line (a panel's edge, an icon)
// are not its glyphs.
PixelBox reachOverInk(const PixelBox& line, const std::vector<PixelBox>& ink);

// The engine now and then reads the glyph that starts a line's picture twice,
// first as a sliver at the glyph's left edge: "110 March" for "10 March",
// "‘Showing" for "Showing". Whether a line's first symbol is such a sliver,
// given its box, the second symbol's and the line's height.
bool echoOfNextGlyph(const PixelBox& first, const PixelBox& second, double lineHeight);

// A line the engine reads below this confidence (0 to 1) is read again, alone,
// with each listed language and without the ink-on-white preparation.
inline constexpr float kRereadBelow = 0.5f;

// Whether the engine reads a line again: pieces of one line joined always
// (the first pass read only a piece); a line read below kRereadBelow unless
// the networks read beside the engine, since they then read it anyway and
// the engine's reading of it wins only where it reads confidently.
bool worthReadingAgain(float confidence, bool joined, bool besideNetworks);

struct Reading {
  std::string text;
  float confidence = 0;  // 0 to 1
};

// A line found in an image and its reading.
struct ReadLine {
  PixelBox box;
  Reading reading;
};

// The index of the reading that wins, given in priority order (the first pass,
// then the alternatives in the order of the listed languages): the most
// confident one, except that a later reading must beat an earlier one by more
// than a small margin, so that the order given decides where the engine
// cannot tell. Readings without text never win; 0 for an empty list.
std::size_t bestReading(const std::vector<Reading>& readings);

// A second look stops at the first reading at least this confident: each
// further one may cost loading a language.
inline constexpr float kSettled = 0.8f;

// Asks read(0), read(1)... up to read(count - 1) in turn, stopping once a
// reading is settled, and returns the best reading asked for.
Reading settleReading(std::size_t count, const std::function<Reading(std::size_t)>& read);

// Whether a line is worth reading with each language alone: a lone glyph or a
// speck ("1", "|") reads as noise in every language.
bool worthReadingAlone(const PixelBox& box);

// Whether a reading holds more CJK characters (Han, kana, Hangul) than others.
bool mostlyCjk(std::string_view text);

// Whether reading a line with one language alone (a traineddata name) could
// do better: a line already read as mostly CJK characters is not one for a
// language written without them.
bool worthReadingWith(std::string_view language, std::string_view reading);

// Lines read by the neural recogniser merged with the engine's reading of the
// other listed languages, for a list that asks for Chinese. A neural line
// wins, and takes the place of the engine lines on its row that it overlaps,
// unless every one of those reads better with the engine: one in kana or
// Hangul (which the neural model does not know), or Latin text on both sides
// read confidently by the engine (which keeps the blanks between words).
// Engine lines that no neural line overlaps stay when they hold three
// characters or more.
std::vector<ReadLine> mergeReadings(std::vector<ReadLine> neural, std::vector<ReadLine> engine);

// Whether a line the networks found need not be read by them: every engine
// line on its row would win over any neural reading there (one in kana or
// Hangul), or is Latin text of some length read beyond doubt (which a
// neural reading with CJK in it is all but never), and the engine's lines
// span the found line but for its margins.
bool settledByEngine(const PixelBox& found, const std::vector<ReadLine>& engine);

// Observations for lines in pixels of a width x height image.
std::vector<Observation> observationsOf(std::vector<ReadLine> lines, double width, double height);

}  // namespace quorvane::ocr
