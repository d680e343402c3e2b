// How the neural detector and recogniser are fed and how their outputs are
// read: detector input sizes, recogniser widths, box growth and CTC decoding.
// Pure rules; the PP-OCR backend (ppocr/) runs the networks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ocr/reading_plan.h"

namespace quorvane::ocr {

// Whether a list of traineddata names asks for what the neural recogniser
// reads best (Simplified Chinese), and the names the engine reads beside it.
bool readsNeurally(const std::vector<std::string>& names);
std::vector<std::string> engineLanguagesBeside(const std::vector<std::string>& names);

// The detector's input: the image scaled by `scale`, cut into bands of whole
// rows (Strip) that overlap, each given to the network padded to one shape
// whose sides are multiples of 32 (the network's stride). One shape: a
// network allocates its buffers on its first run, and on a fresh process that
// costs twice the run itself, so later bands reuse the first one's.
struct DetectorPlan {
  double scale = 1;
  std::uint32_t width = 0;           // scaled and padded to a multiple of 32
  std::uint32_t bandHeight = 0;      // rows of every band as given to the network
  std::vector<Strip> bands;          // rows of the scaled image, before padding
};

// A band's buffers grow with its pixels (about 250 MB a megapixel); the
// detector also crashed (SIGSEGV) on some inputs of 3 Mpx and more, and no
// side goes past what it was seen to take.
inline constexpr std::uint64_t kMaxDetectorPixels = std::uint64_t{512} << 10;
inline constexpr std::uint32_t kMaxDetectorWidth = 3200;

// The detector finds UI text as well with glyphs of this height (the typical
// glyph height, pixels) as with larger ones, for less work: larger text is
// scaled down to it.
inline constexpr double kDetectorGlyph = 10;

// Rows shared by neighbouring bands, in typical glyphs: a line and the ground
// around it lie whole in the band that owns its centre.
inline constexpr double kOverlapGlyphs = 6;
inline constexpr std::uint32_t kMinDetectorOverlap = 64, kMaxDetectorOverlap = 128;

DetectorPlan detectorPlan(std::uint32_t width, std::uint32_t height, std::uint32_t typicalGlyph);
// The bands of an image already scaled by plan.scale (and squeezed), width x
// height pixels as scaled, in the plan's `width`, `bandHeight` and `bands`.
void planBands(DetectorPlan& plan, std::uint32_t width, std::uint32_t height, std::uint32_t typicalGlyph);
// The network's stride: its input's sides are multiples of it.
inline constexpr std::uint32_t kDetectorStride = 32;

// A screenshot is mostly flat ground: rows (and columns) that repeat the ones
// before them hold no text, and the detector need not see more than a few
// of them in a row. Of each run of repeating rows longer than `keep`, whole
// steps of rows go (the network's stride: what stays lies at the same place
// within its stride, and the detector sees it as it would have), the first
// half of those left stays at the run's start and the rest at its end, so
// that text on either side keeps the ground around it. Squeeze maps the
// squeezed image's coordinates back to the image's.
struct Squeeze {
  std::vector<std::uint32_t> kept;  // the image's rows (or columns) that stay, in order

  // Where a box's start (its top or left) and its end (bottom or right,
  // exclusive) at a squeezed coordinate lie in the image. Coordinates before
  // the first kept row or past the last one keep their distance to it.
  double start(double at) const;
  double end(double at) const;
};
// repeats[i]: whether row i repeats the rows before it (repeatingRows; the
// first never does).
Squeeze squeeze(const std::vector<bool>& repeats, std::uint32_t keep, std::uint32_t step);

// Which of `count` rows repeat the one before them: alike(a, b) tells
// whether rows a and b look the same. A row is compared with the first of
// the run it would extend, not its neighbour, so that a slow gradient is cut
// into runs and squeezing it leaves no step larger than alike allows.
std::vector<bool> repeatingRows(std::size_t count, const std::function<bool(std::size_t, std::size_t)>& alike);

// Repeating ground the detector still sees between text, in typical glyphs.
inline constexpr std::uint32_t kGroundKeptGlyphs = 4;
inline constexpr std::uint32_t kMinGroundKept = 32;
std::uint32_t groundKept(std::uint32_t typicalGlyph);

// The recogniser reads lines 48 pixels high; its input width is one of these.
inline constexpr std::uint32_t kLineHeight = 48;
inline constexpr std::uint32_t kLineWidths[] = {256, 512, 768, 1152, 2048};

// The width a line of w x h pixels takes once scaled to kLineHeight, and the
// smallest shipped width that holds it (the largest when none does: the line
// is then squeezed into it).
std::uint32_t scaledLineWidth(double width, double height);
std::uint32_t lineWidthFor(std::uint32_t scaledWidth);

// Which of the lines waiting to be read (their recogniser widths, in the
// order they were found) a thread takes next, given the widths it holds
// networks for and those the other thread holds: the first of a width it
// holds; else the first of a width no thread holds; else the first of the
// width with the most lines waiting, when there are enough of them to pay
// for reading its network a second time (which costs about as much as
// reading two lines); else none, and the other thread reads them.
inline constexpr std::size_t kLinesForASecondNetwork = 3;
std::optional<std::size_t> nextLineFor(const std::vector<std::uint32_t>& waiting, const std::vector<std::uint32_t>& held,
                                       const std::vector<std::uint32_t>& heldElsewhere);

// Which of the lines found the recogniser threads read, in what order. A
// line the engine reads beyond doubt needs no reading; until the engine's
// reading is known, a thread with nothing else to do reads ahead, and its
// reading counts only if the engine then leaves the line to the networks.
class LineSchedule {
 public:
  explicit LineSchedule(std::size_t threads);
  // A line found, with its recogniser width; its index is the count before.
  void add(std::uint32_t width);
  // The engine's reading is known: `settled` tells which lines, found so far
  // or later, it reads beyond doubt.
  void engineKnown(std::function<bool(std::size_t line)> settled);
  bool engineKnown() const { return static_cast<bool>(settled_); }
  // The line `thread` reads next (taken for it, its width held from then
  // on), by nextLineFor among those neither taken nor settled; none when
  // there is none for it now.
  std::optional<std::size_t> next(std::size_t thread);
  // Whether a reading of the line counts.
  bool counts(std::size_t line) const;

 private:
  enum class State { kOpen, kTaken, kSettled };
  void settle(std::size_t line);
  std::vector<std::uint32_t> widths_;
  std::vector<State> states_;
  std::vector<std::vector<std::uint32_t>> held_;
  std::function<bool(std::size_t)> settled_;
};

// DB post-processing: a detected region grows by area * ratio / perimeter on
// every side, which brings back the margin the network was trained to leave out.
inline constexpr double kUnclipRatio = 1.6;
PixelBox unclip(const PixelBox& box, double ratio = kUnclipRatio);

// The recogniser's best class and its probability at each step, and the
// probability it gives the blank space there.
struct Step {
  std::size_t symbol = 0;  // 0 is the CTC blank
  float probability = 0;
  float space = 0;
};

// The widest gap in the line's ink between two steps, as a fraction of the
// ink's height.
using WordGap = std::function<double(std::size_t fromStep, std::size_t toStep)>;

// A gap this wide is a blank.
inline constexpr double kBlankWidth = 0.22;
// Where the script changes (CJK beside Latin or digits), a narrower gap is a
// blank when the recogniser also sees one there: it gives the space this
// much probability in the gap at least. A line's ink reaches from the top of
// its CJK glyphs to the bottom of its descenders, so "Export 设置" has a
// narrower gap for its height than "Ctrl+A 开始"; dates ("2024年3月10日")
// have gaps as wide without a blank, but there the space gets next to none.
inline constexpr double kScriptChangeBlankWidth = 0.15;
inline constexpr float kSpaceHint = 0.01f;

// Greedy CTC: repeats merged, blanks dropped; symbols[i - 1] is the text of
// class i, and the class after the last symbol is a blank space. Confidence
// is the mean probability of the characters kept (0 for none).
// The recogniser often leaves out the blank between words and around Latin
// text in a Chinese line: one goes in where wordGap finds one between two
// characters (above), unless both are CJK or either is full-width
// punctuation (which carries its own room). ASCII punctuation with a blank's
// room between it and a CJK character is given in its full-width form, and
// so is the other bracket of a full-width one.
Reading decodeCtc(const std::vector<Step>& steps, const std::vector<std::string>& symbols, const WordGap& wordGap = {});

// A recognised line is kept only at this mean confidence or more.
inline constexpr float kMinLineConfidence = 0.5f;

}  // namespace quorvane::ocr
