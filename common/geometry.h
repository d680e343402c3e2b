// Points and rectangles in global coordinates (pixels, origin top-left, y down),
// and how a rectangle is written in a Message.
#pragma once

#include "common/channel.h"

namespace quorvane {

struct Point {
  double x = 0, y = 0;
  bool operator==(const Point&) const = default;
};

struct Rect {
  double x = 0, y = 0, width = 0, height = 0;

  // Standard form: a negative width or height extends left or up from the origin.
  double minX() const { return width < 0 ? x + width : x; }
  double minY() const { return height < 0 ? y + height : y; }
  double w() const { return width < 0 ? -width : width; }
  double h() const { return height < 0 ? -height : height; }
  double maxX() const { return minX() + w(); }
  double maxY() const { return minY() + h(); }
  // Minimum edges inside, maximum edges outside.
  bool contains(Point p) const { return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY(); }
  bool operator==(const Rect&) const = default;
};

// {"height","width","x","y"} of the rectangle in standard form, integral values as integers.
Json boundsJson(const Rect& r);

}  // namespace quorvane
