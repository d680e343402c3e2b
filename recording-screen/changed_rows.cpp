#include "recording-screen/changed_rows.h"

#include <algorithm>

namespace quorvane::recording {

namespace {

void sortByTop(std::vector<RowSpan>& rows) {
  std::sort(rows.begin(), rows.end(), [](const RowSpan& a, const RowSpan& b) { return a.top < b.top; });
}

std::uint32_t mcuRowsOf(std::uint32_t height) { return (height + kMcuSide - 1) / kMcuSide; }

}  // namespace

std::vector<RowSpan> mergeRows(std::vector<RowSpan> rows) {
  sortByTop(rows);
  std::vector<RowSpan> merged;
  for (const auto& r : rows) {
    if (r.bottom <= r.top) continue;
    if (!merged.empty() && r.top <= merged.back().bottom + kMcuSide) {
      merged.back().bottom = std::max(merged.back().bottom, r.bottom);
    } else {
      merged.push_back(r);
    }
  }
  return merged;
}

void keepChanged(std::vector<RowSpan>& kept, RowSpan rows) {
  if (rows.bottom <= rows.top) return;
  kept.push_back(rows);
  if (kept.size() <= kMaxChangedSpans) return;
  kept = mergeRows(std::move(kept));
  if (kept.size() <= kMaxChangedSpans) return;
  kept = {{kept.front().top, kept.back().bottom}};
}

std::vector<bool> changedMcuRows(const std::vector<RowSpan>& changed, std::uint32_t height) {
  std::vector<bool> rows(mcuRowsOf(height), false);
  for (const auto& span : changed) {
    const std::uint32_t bottom = std::min(span.bottom, height);
    for (std::uint32_t r = span.top / kMcuSide; span.top < bottom && r * kMcuSide < bottom; ++r) rows[r] = true;
  }
  return rows;
}

bool mostlyChanged(const std::vector<RowSpan>& changed, std::uint32_t height) {
  const auto rows = changedMcuRows(changed, height);
  return 2 * static_cast<std::size_t>(std::count(rows.begin(), rows.end(), true)) > rows.size();
}

std::vector<RowRun> rowRuns(std::vector<RowSpan> crossed, std::uint32_t height) {
  sortByTop(crossed);
  std::vector<RowRun> runs;
  std::uint32_t row = 0;
  for (const auto& span : crossed) {
    const std::uint32_t top = std::min(span.top, height), bottom = std::min(span.bottom, height);
    if (bottom <= top) continue;
    if (!runs.empty() && runs.back().rebuilt && top <= runs.back().bottom) {
      runs.back().bottom = std::max(runs.back().bottom, bottom);
      row = runs.back().bottom;
      continue;
    }
    if (top > row) runs.push_back({row, top, false});
    runs.push_back({top, bottom, true});
    row = bottom;
  }
  if (row < height) runs.push_back({row, height, false});
  return runs;
}

std::vector<RowRun> runsWithin(const std::vector<RowRun>& runs, std::vector<RowSpan> rows) {
  sortByTop(rows);
  std::vector<RowRun> within;
  for (const auto& run : runs) {
    std::uint32_t from = run.top;  // rows before it are taken already
    for (const auto& span : rows) {
      const std::uint32_t top = std::max(span.top, from), bottom = std::min(span.bottom, run.bottom);
      if (top >= bottom) continue;
      within.push_back({top, bottom, run.rebuilt});
      from = bottom;
    }
  }
  return within;
}

}  // namespace quorvane::recording
