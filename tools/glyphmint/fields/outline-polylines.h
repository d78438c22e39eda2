// A glyph outline flattened into closed polylines in the coordinates of a
// pixel grid, and where those cross each row of it: the shape the distance
// field measures, and what tells its inside from its outside.
#pragma once

#include "core/types.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <vector>

namespace outline {

struct Point {
  float x = 0;
  float y = 0;
};

inline Point operator-(Point a, Point b) {
  return {a.x - b.x, a.y - b.y};
}
inline Point operator+(Point a, Point b) {
  return {a.x + b.x, a.y + b.y};
}
inline Point operator*(Point a, float s) {
  return {a.x * s, a.y * s};
}
inline float dot(Point a, Point b) {
  return a.x * b.x + a.y * b.y;
}
inline float length(Point v) {
  return std::sqrt(dot(v, v));
}
inline Point transposed(Point p) {
  return {p.y, p.x};
}

// std::ceil and std::floor, without SSE4.1's instructions for them, are slow
// sequences; these take floats within int's range.
inline int ceil_int(float v) {
  const int i = static_cast<int>(v);
  return static_cast<float>(i) < v ? i + 1 : i;
}
inline int floor_int(float v) {
  const int i = static_cast<int>(v);
  return static_cast<float>(i) > v ? i - 1 : i;
}

/// The outline's contours as closed polylines: pixel (i, j) of the grid has
/// its centre at (i, j), y down.
struct Polylines {
  std::vector<Point> points;
  std::vector<size_t> ends; ///< one past each contour's last point, which repeats its first
};

/// Flattens an outline (26.6 pixels, y up) for the grid whose top left corner
/// is at (left, top) in whole pixels, curves into chords within `flatness`
/// pixels of them. 0, or FT_Outline_Decompose's error.
[[nodiscard]] FT_Error flatten(const FT_Outline &outline, i32 left, i32 top, float flatness,
                               Polylines &out);

/// Appends the chords of a conic or cubic Bézier curve from p0 (not
/// appended) to its last point, within `flatness` pixels of it.
void conic_points(Point p0, Point p1, Point p2, float flatness, std::vector<Point> &out);
void cubic_points(Point p0, Point p1, Point p2, Point p3, float flatness, std::vector<Point> &out);

/// The same polylines with x and y swapped: their rows are the grid's columns.
[[nodiscard]] Polylines transposed(const Polylines &lines);

/// Whether the boxes of two contours overlap or touch, but for one lying
/// strictly inside the other: where edges along a row may coincide or cross.
[[nodiscard]] bool contours_meet(const Polylines &lines);

/// Whether a winding number is inside: the non-zero or the even-odd rule.
struct FillRule {
  bool even_odd = false;
  [[nodiscard]] bool filled(int winding) const {
    return even_odd ? (winding & 1) != 0 : winding != 0;
  }
};

struct Crossing {
  float x = 0;
  int dir = 0; ///< +1 where the edge runs down, -1 up
};

/// Where the edges cross each row's line, just below its pixel centres (no
/// outline point, on the 1/64 pixel grid, lies on one), sorted along it: row
/// j's crossings are list[start[j]] to list[start[j + 1]]. A pixel's winding
/// number sums the crossings left of its centre.
struct RowCrossings {
  std::vector<u32> start;
  std::vector<Crossing> list;
};
[[nodiscard]] RowCrossings row_crossings(const Polylines &lines, int rows);

/// Whether some row crosses edges without the fill changing across them:
/// edges inside the filled region, where contours overlap or coincide.
[[nodiscard]] bool has_inner_edges(const RowCrossings &rows, FillRule rule);

/// Whether any point lies in the filled region: the edges filed by the unit
/// bands of y they span, for points off the rows' lines.
class FillIndex {
public:
  FillIndex(const Polylines &lines, FillRule rule);
  [[nodiscard]] bool filled(Point p) const;
  /// The edges crossing the line at `y`, sorted along it: the point (x, y)
  /// is filled by the winding of those whose x is less than its.
  void crossings(float y, std::vector<Crossing> &out) const;
  /// The spans [low, high] of x that level edges cover on the line at `y`.
  void level_spans(float y, std::vector<std::pair<float, float>> &out) const;
  [[nodiscard]] FillRule rule() const { return rule_; }

private:
  [[nodiscard]] size_t band(float y) const;

  FillRule rule_;
  int first_ = 0;
  std::vector<u32> start_;
  std::vector<std::pair<Point, Point>> edges_;
  std::vector<std::pair<Point, Point>> level_; ///< the edges along a line of y, not in bands
};

} // namespace outline
