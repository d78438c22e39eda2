#include "tools/glyphmint/fields/outline-polylines.h"

#include FT_OUTLINE_H

#include <algorithm>

namespace outline {

namespace {

constexpr int k_max_chords = 1024;
// How far below the pixel centres rows are sampled.
constexpr float k_row_offset = 1.0f / 1024;
// Crossings this close together are one place on the row.
constexpr float k_same_crossing = 1.0f / 1024;

int to_int(float v) {
  return static_cast<int>(v);
}

/// FT_Outline_Decompose's user data: flattens the outline into Polylines.
struct Flattener {
  Polylines &lines;
  float flatness;
  FT_Pos origin_x; ///< 26.6 x of the centres of column 0
  FT_Pos origin_y; ///< 26.6 y of the centres of row 0
  size_t contour_start = 0;

  [[nodiscard]] Point map(const FT_Vector &v) const {
    return {static_cast<float>(v.x - origin_x) / 64, static_cast<float>(origin_y - v.y) / 64};
  }
  void add(Point p) { lines.points.push_back(p); }
  [[nodiscard]] Point last() const { return lines.points.back(); }
  void close_contour() {
    if (lines.points.size() == contour_start) return;
    const Point first = lines.points[contour_start];
    if (last().x != first.x || last().y != first.y) add(first);
    lines.ends.push_back(lines.points.size());
  }
};

// Chords for a curve whose single chord could stray `deviation` pixels: the
// error falls with the square of the count.
int chord_count(float deviation, float flatness) {
  const float n = std::ceil(std::sqrt(deviation / flatness));
  return n < 1 ? 1 : n > k_max_chords ? k_max_chords : to_int(n);
}

int move_to(const FT_Vector *to, void *user) {
  auto &f = *static_cast<Flattener *>(user);
  f.close_contour();
  f.contour_start = f.lines.points.size();
  f.add(f.map(*to));
  return 0;
}

int line_to(const FT_Vector *to, void *user) {
  auto &f = *static_cast<Flattener *>(user);
  f.add(f.map(*to));
  return 0;
}

int conic_to(const FT_Vector *control, const FT_Vector *to, void *user) {
  auto &f = *static_cast<Flattener *>(user);
  conic_points(f.last(), f.map(*control), f.map(*to), f.flatness, f.lines.points);
  return 0;
}

int cubic_to(const FT_Vector *control1, const FT_Vector *control2, const FT_Vector *to,
             void *user) {
  auto &f = *static_cast<Flattener *>(user);
  cubic_points(f.last(), f.map(*control1), f.map(*control2), f.map(*to), f.flatness,
               f.lines.points);
  return 0;
}

/// Calls visit(a, b) for every edge of every contour.
template <typename Visit> void for_each_edge(const Polylines &lines, Visit visit) {
  size_t begin = 0;
  for (const size_t end : lines.ends) {
    for (size_t k = begin; k + 1 < end; ++k) visit(lines.points[k], lines.points[k + 1]);
    begin = end;
  }
}

// Calls visit(row, crossing) for each crossing of the rows 0..rows-1.
template <typename Visit> void for_each_crossing(const Polylines &lines, int rows, Visit visit) {
  for_each_edge(lines, [&](Point a, Point b) {
    if (a.y == b.y) return;
    // Rows whose line y = j + k_row_offset meets the edge, lower end included.
    const int j0 = std::max(0, ceil_int(std::min(a.y, b.y) - k_row_offset));
    const int j1 = std::min(rows, ceil_int(std::max(a.y, b.y) - k_row_offset));
    const float slope = (b.x - a.x) / (b.y - a.y);
    const int dir = b.y > a.y ? 1 : -1;
    for (int j = j0; j < j1; ++j)
      visit(j, Crossing{a.x + (static_cast<float>(j) + k_row_offset - a.y) * slope, dir});
  });
}

} // namespace

// A chord lies on the inner side of its curve, at most B'' h² / 8 from it
// for parameter steps h. Points between the ends move half that way out, so
// that the chords straddle the curve and stray half as far.
void conic_points(Point p0, Point p1, Point p2, float flatness, std::vector<Point> &out) {
  const Point bend = p0 - p1 * 2 + p2; // half the second derivative
  const int n = chord_count(length(bend) / 4, flatness);
  const Point outward = bend * (-1 / (8.0f * static_cast<float>(n * n)));
  for (int k = 1; k < n; ++k) {
    const float t = static_cast<float>(k) / static_cast<float>(n), s = 1 - t;
    out.push_back(p0 * (s * s) + p1 * (2 * s * t) + p2 * (t * t) + outward);
  }
  out.push_back(p2);
}

void cubic_points(Point p0, Point p1, Point p2, Point p3, float flatness, std::vector<Point> &out) {
  // The second derivative is 6 × ((1 - t) × bend0 + t × bend1).
  const Point bend0 = p0 - p1 * 2 + p2, bend1 = p1 - p2 * 2 + p3;
  const int n = chord_count(0.75f * std::max(length(bend0), length(bend1)), flatness);
  const float outward = -6 / (16.0f * static_cast<float>(n * n));
  for (int k = 1; k < n; ++k) {
    const float t = static_cast<float>(k) / static_cast<float>(n), s = 1 - t;
    out.push_back(p0 * (s * s * s) + p1 * (3 * s * s * t) + p2 * (3 * s * t * t) +
                  p3 * (t * t * t) + (bend0 * s + bend1 * t) * outward);
  }
  out.push_back(p3);
}

FT_Error flatten(const FT_Outline &outline, i32 left, i32 top, float flatness, Polylines &out) {
  out = Polylines{};
  Flattener flattener{out, flatness, FT_Pos{left} * 64 + 32, FT_Pos{top} * 64 - 32};
  const FT_Outline_Funcs funcs{move_to, line_to, conic_to, cubic_to, 0, 0};
  if (const FT_Error e =
          FT_Outline_Decompose(const_cast<FT_Outline *>(&outline), &funcs, &flattener))
    return e;
  flattener.close_contour();
  return 0;
}

Polylines transposed(const Polylines &lines) {
  Polylines out = lines;
  for (Point &p : out.points) p = transposed(p);
  return out;
}

bool contours_meet(const Polylines &lines) {
  struct Box {
    Point low, high;
  };
  std::vector<Box> boxes;
  size_t begin = 0;
  for (const size_t end : lines.ends) {
    Box box{lines.points[begin], lines.points[begin]};
    for (size_t k = begin; k < end; ++k) {
      box.low = {std::min(box.low.x, lines.points[k].x), std::min(box.low.y, lines.points[k].y)};
      box.high = {std::max(box.high.x, lines.points[k].x), std::max(box.high.y, lines.points[k].y)};
    }
    boxes.push_back(box);
    begin = end;
  }
  const auto inside = [](const Box &in, const Box &out) {
    return in.low.x > out.low.x && in.low.y > out.low.y && in.high.x < out.high.x &&
           in.high.y < out.high.y;
  };
  for (size_t i = 0; i < boxes.size(); ++i) {
    for (size_t j = i + 1; j < boxes.size(); ++j) {
      const Box &a = boxes[i], &b = boxes[j];
      const bool apart =
          a.high.x < b.low.x || b.high.x < a.low.x || a.high.y < b.low.y || b.high.y < a.low.y;
      if (!apart && !inside(a, b) && !inside(b, a)) return true;
    }
  }
  return false;
}

RowCrossings row_crossings(const Polylines &lines, int rows) {
  // One walk finds the crossings, a counting sort files them by row.
  std::vector<std::pair<int, Crossing>> found;
  found.reserve(lines.points.size() + static_cast<size_t>(rows) * 4);
  for_each_crossing(lines, rows, [&](int j, Crossing c) { found.push_back({j, c}); });
  RowCrossings out;
  out.start.assign(static_cast<size_t>(rows) + 1, 0);
  for (const auto &[j, c] : found) ++out.start[size_t(j) + 1];
  for (size_t j = 1; j < out.start.size(); ++j) out.start[j] += out.start[j - 1];
  out.list.resize(found.size());
  std::vector<u32> next(out.start.begin(), out.start.end() - 1);
  for (const auto &[j, c] : found) out.list[next[size_t(j)]++] = c;
  for (size_t j = 0; j + 1 < out.start.size(); ++j) {
    if (out.start[j + 1] - out.start[j] < 2) continue;
    Crossing *const first = out.list.data() + out.start[j];
    Crossing *const last = out.list.data() + out.start[j + 1];
    // A row holds a handful of crossings: insertion sort.
    for (Crossing *c = first + 1; c < last; ++c)
      for (Crossing *d = c; d > first && d[-1].x > d->x; --d) std::swap(d[-1], *d);
  }
  return out;
}

// Whether a row crosses an edge without the fill changing across it: an edge
// inside the filled region, where contours overlap or coincide.
bool has_inner_edges(const RowCrossings &rows, FillRule rule) {
  for (size_t j = 0; j + 1 < rows.start.size(); ++j) {
    int winding = 0;
    for (u32 k = rows.start[j]; k < rows.start[j + 1];) {
      const bool before = rule.filled(winding);
      const float x = rows.list[k].x;
      while (k < rows.start[j + 1] && rows.list[k].x - x <= k_same_crossing)
        winding += rows.list[k++].dir;
      if (rule.filled(winding) == before) return true;
    }
  }
  return false;
}

FillIndex::FillIndex(const Polylines &lines, FillRule rule) : rule_(rule) {
  float low = 0, high = 0;
  for (const Point p : lines.points) low = std::min(low, p.y), high = std::max(high, p.y);
  first_ = to_int(std::floor(low));
  start_.assign(static_cast<size_t>(to_int(std::floor(high)) - first_) + 2, 0);
  for (int pass = 0; pass < 2; ++pass) {
    std::vector<u32> next(start_.begin(), start_.end() - 1);
    for_each_edge(lines, [&](Point a, Point b) {
      if (a.y == b.y && a.x != b.x && pass == 0) level_.push_back({a, b});
      if (a.y == b.y) return;
      for (size_t k = band(std::min(a.y, b.y)); k <= band(std::max(a.y, b.y)); ++k)
        pass == 0 ? void(++start_[k + 1]) : void(edges_[next[k]++] = {a, b});
    });
    if (pass == 0) {
      for (size_t k = 1; k < start_.size(); ++k) start_[k] += start_[k - 1];
      edges_.resize(start_.back());
    }
  }
}

namespace {

// Where the edge from a to b crosses the line at y, if it does. Both queries
// of the fill compute it so, so that they agree on every point.
bool crossing_at(Point a, Point b, float y, Crossing &out) {
  const bool down = b.y > a.y;
  if (down ? !(a.y <= y && y < b.y) : !(b.y <= y && y < a.y)) return false;
  out = {a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y), down ? 1 : -1};
  return true;
}

} // namespace

bool FillIndex::filled(Point p) const {
  if (p.y < static_cast<float>(first_) || band(p.y) + 1 >= start_.size()) return false;
  int winding = 0;
  Crossing c;
  for (u32 k = start_[band(p.y)]; k < start_[band(p.y) + 1]; ++k)
    if (crossing_at(edges_[k].first, edges_[k].second, p.y, c) && c.x < p.x) winding += c.dir;
  return rule_.filled(winding);
}

void FillIndex::crossings(float y, std::vector<Crossing> &out) const {
  out.clear();
  if (y < static_cast<float>(first_) || band(y) + 1 >= start_.size()) return;
  Crossing c;
  for (u32 k = start_[band(y)]; k < start_[band(y) + 1]; ++k)
    if (crossing_at(edges_[k].first, edges_[k].second, y, c)) out.push_back(c);
  std::sort(out.begin(), out.end(), [](Crossing l, Crossing r) { return l.x < r.x; });
}

void FillIndex::level_spans(float y, std::vector<std::pair<float, float>> &out) const {
  out.clear();
  for (const auto &[a, b] : level_)
    if (a.y == y) out.push_back({std::min(a.x, b.x), std::max(a.x, b.x)});
}

size_t FillIndex::band(float y) const {
  return static_cast<size_t>(floor_int(y) - first_);
}

} // namespace outline
