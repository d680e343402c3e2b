// Which pixel rows of a picture changed, kept as the read-back and the JPEG
// encoder both want them. JPEG codes 4:2:0 pictures in MCUs of 16 x 16 pixels,
// so rows less than one MCU row apart cost as much read or encoded together as
// apart, and a picture most of whose MCU rows changed is read and encoded whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "recording-screen/capture.h"

namespace quorvane::recording {

inline constexpr std::uint32_t kMcuSide = 16;
// Stretches of changed rows kept for the next picture, however long none is
// asked for: beyond this many they are merged, and at worst become one.
inline constexpr std::size_t kMaxChangedSpans = 64;

// The rows in order, overlapping ones and those at most an MCU row apart
// joined, empty ones dropped: fewer, larger reads and encodes.
std::vector<RowSpan> mergeRows(std::vector<RowSpan> rows);

// Adds `rows` to those kept, within kMaxChangedSpans stretches.
void keepChanged(std::vector<RowSpan>& kept, RowSpan rows);

// The MCU rows (the last one possibly shorter) that the changed pixel rows
// touch, for a picture `height` rows high.
std::vector<bool> changedMcuRows(const std::vector<RowSpan>& changed, std::uint32_t height);

// Whether more than half of the picture's MCU rows changed.
bool mostlyChanged(const std::vector<RowSpan>& changed, std::uint32_t height);

// A stretch of rows [top, bottom) read either straight from the screen or from
// a picture rebuilt without some windows.
struct RowRun {
  std::uint32_t top = 0, bottom = 0;
  bool rebuilt = false;
  bool operator==(const RowRun&) const = default;
};

// The picture's rows in order, each in exactly one run: the rows in `crossed`
// are rebuilt, the others are the screen as it is.
std::vector<RowRun> rowRuns(std::vector<RowSpan> crossed, std::uint32_t height);

// The parts of the runs that lie in the given rows, in order: what is read
// back when only those rows may have changed.
std::vector<RowRun> runsWithin(const std::vector<RowRun>& runs, std::vector<RowSpan> rows);

}  // namespace quorvane::recording
