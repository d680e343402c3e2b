// What recognition finds, and the order in which a person reads it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quorvane::ocr {

// Fractions of the image's width and height, origin at the bottom-left corner,
// y growing upwards: y + height is the line's top edge.
struct NormalizedBox {
  double x = 0, y = 0, width = 0, height = 0;
  double top() const { return y + height; }
};

struct Candidate {
  std::string text;
  float confidence = 0;  // 0 to 1
};

// One recognised line of text.
struct Observation {
  NormalizedBox box;
  std::optional<Candidate> top;  // the best reading, if recognition offered one
};

// Lines whose top edges lie within this fraction of the image height form one
// row and are read left to right.
inline constexpr double kRowTolerance = 0.01;

// Whether a is read before b: higher rows first, then left to right.
bool readBefore(const Observation& a, const Observation& b);

// Stable sort by readBefore. The row rule is not transitive (a chain of lines
// each within the tolerance of the next), so it is no strict weak ordering and
// std::sort would be undefined; this merge sort gives a defined order for any
// input: an element moves ahead of an earlier one only when readBefore says so
// for the pair that meets in a merge.
void sortReadingOrder(std::vector<Observation>& observations);

}  // namespace quorvane::ocr
