// How edges are coloured. The outline's lines and curves (its segments) come
// as FT_Outline_Decompose gives them; a corner is where one ends and the next
// starts in a direction turned by more than about 8°. A contour without
// corners is white (every channel). With two or more, the colour switches
// among cyan, magenta and yellow at each corner (any two of them share
// exactly one channel), the last run's differing from the first's, and the
// runs of all such contours are then recoloured so that runs lying close
// together differ where they can (run-colours.h). A contour
// with one corner (a teardrop) is cut by length into three runs of the three
// colours. Segments are flattened into chords as for the single-channel
// field, but four times as close to the curve.
//
// Which side of a piece is filled is judged against the fill rule, not the
// contour's direction: reversed and nested contours under either rule come
// out right. Where contours overlap, pieces are judged in short steps as the
// single-channel field judges them and only the runs that bound the filled
// region are kept, their cut ends not extended, so that no edge of one
// contour reaches into another's filled region (which opens a hole there).
#include "tools/glyphmint/fields/coloured-edges.h"

#include "tools/glyphmint/fields/run-colours.h"

#include FT_OUTLINE_H

#include <algorithm>

namespace outline {

namespace {

// Chords straddle their curves within half this: bilinear filtering carries
// the error of coarser ones into the corners the median keeps sharp.
constexpr float k_flatness = 1.0f / 32;
// sin(3 radians): a turn of about 8° or more is a corner.
constexpr float k_corner_sin = 0.141f;
constexpr float k_degenerate = 1.0f / 8192;
// Where contours overlap, edges are judged in pieces this long, from points
// this far to either side of a piece's middle.
constexpr float k_step = 0.5f;
constexpr float k_side = 1.0f / 256;

int to_int(float v) {
  return static_cast<int>(v);
}
float cross(Point a, Point b) {
  return a.x * b.y - a.y * b.x;
}
Point normal(Point u) {
  return {-u.y, u.x};
}
Point unit(Point v) {
  const float l = length(v);
  return l > 0 ? v * (1 / l) : Point{1, 0};
}

/// A line (order 1) or a conic (2) or cubic (3) Bézier curve.
struct Segment {
  Point p[4];
  int order = 1;
  [[nodiscard]] Point end() const { return p[order]; }
};
using Contour = std::vector<Segment>;

/// FT_Outline_Decompose's user data: the outline's segments, contour by contour.
struct Reader {
  std::vector<Contour> contours;
  FT_Pos origin_x = 0, origin_y = 0;
  Point last;

  [[nodiscard]] Point map(const FT_Vector &v) const {
    return {static_cast<float>(v.x - origin_x) / 64, static_cast<float>(origin_y - v.y) / 64};
  }
  void add(Segment s) {
    s.p[0] = last;
    last = s.end();
    for (int k = 1; k <= s.order; ++k)
      if (length(s.p[k] - s.p[0]) >= k_degenerate) return contours.back().push_back(s);
  }
};

int move_to(const FT_Vector *to, void *user) {
  auto &r = *static_cast<Reader *>(user);
  r.contours.emplace_back();
  r.last = r.map(*to);
  return 0;
}
int line_to(const FT_Vector *to, void *user) {
  auto &r = *static_cast<Reader *>(user);
  r.add({{{}, r.map(*to)}, 1});
  return 0;
}
int conic_to(const FT_Vector *control, const FT_Vector *to, void *user) {
  auto &r = *static_cast<Reader *>(user);
  r.add({{{}, r.map(*control), r.map(*to)}, 2});
  return 0;
}
int cubic_to(const FT_Vector *control1, const FT_Vector *control2, const FT_Vector *to,
             void *user) {
  auto &r = *static_cast<Reader *>(user);
  r.add({{{}, r.map(*control1), r.map(*control2), r.map(*to)}, 3});
  return 0;
}

Point start_direction(const Segment &s) {
  for (int k = 1; k <= s.order; ++k)
    if (length(s.p[k] - s.p[0]) >= k_degenerate) return unit(s.p[k] - s.p[0]);
  return {1, 0};
}
Point end_direction(const Segment &s) {
  for (int k = s.order - 1; k >= 0; --k)
    if (length(s.end() - s.p[k]) >= k_degenerate) return unit(s.end() - s.p[k]);
  return {1, 0};
}

/// Where each segment starts at a corner.
std::vector<bool> corners_of(const Contour &contour) {
  std::vector<bool> corner(contour.size());
  for (size_t k = 0; k < contour.size(); ++k) {
    const Point in = end_direction(contour[k == 0 ? contour.size() - 1 : k - 1]);
    const Point out = start_direction(contour[k]);
    corner[k] = dot(in, out) <= 0 || std::fabs(cross(in, out)) > k_corner_sin;
  }
  return corner;
}

u8 next_colour(u8 previous, u8 avoid) {
  for (const u8 c : k_corner_colours)
    if (c != previous && c != avoid) return c;
  return k_white;
}

/// The contour's segments' colours, the first starting at a corner, for
/// contours without corners or with two or more.
std::vector<u8> segment_colours(const std::vector<bool> &corner, size_t corners) {
  std::vector<u8> colours(corner.size(), k_white);
  if (corners < 2) return colours;
  u8 colour = k_corner_colours[0];
  for (size_t k = 0, run = 0; k < corner.size(); ++k) {
    if (k > 0 && corner[k])
      colour = next_colour(colour, ++run == corners - 1 ? k_corner_colours[0] : 0);
    colours[k] = colour;
  }
  return colours;
}

// Marks a piece's end as the end of a coloured edge, its tangent there for now.
void extend_start(EdgePiece &piece, Point tangent) {
  piece.extend_start = true, piece.start_inward = tangent;
}
void extend_end(EdgePiece &piece, Point tangent) {
  piece.extend_end = true, piece.end_inward = tangent;
}

/// Flattens a segment into pieces of its colour, and its points into `lines`.
void add_segment(const Segment &s, u8 colour, std::vector<EdgePiece> &pieces, Polylines &lines) {
  const size_t first_point = lines.points.size() - 1, first_piece = pieces.size();
  if (s.order == 1) lines.points.push_back(s.p[1]);
  if (s.order == 2) conic_points(s.p[0], s.p[1], s.p[2], k_flatness, lines.points);
  if (s.order == 3) cubic_points(s.p[0], s.p[1], s.p[2], s.p[3], k_flatness, lines.points);
  for (size_t k = first_point; k + 1 < lines.points.size(); ++k) {
    const Point a = lines.points[k], b = lines.points[k + 1];
    const float len = length(b - a);
    if (len < k_degenerate) continue;
    EdgePiece piece;
    piece.a = a, piece.b = b, piece.dir = (b - a) * (1 / len), piece.len = len;
    piece.channels = colour;
    pieces.push_back(piece);
  }
  if (pieces.size() == first_piece) return;
  for (size_t k = first_piece + 1; k < pieces.size(); ++k) {
    pieces[k].previous_dir = pieces[k - 1].dir, pieces[k].previous_len = pieces[k - 1].len;
    pieces[k - 1].next_dir = pieces[k].dir, pieces[k - 1].next_len = pieces[k].len;
  }
  extend_start(pieces[first_piece], start_direction(s));
  extend_end(pieces.back(), end_direction(s));
}

// A teardrop's pieces, from its corner, in three runs of about equal length.
void colour_teardrop(EdgePiece *pieces, size_t count) {
  float total = 0, walked = 0;
  for (size_t k = 0; k < count; ++k) total += pieces[k].len;
  for (size_t k = 0; k < count; ++k) {
    const float middle = walked + pieces[k].len / 2;
    walked += pieces[k].len;
    pieces[k].channels = k_corner_colours[std::min(2, to_int(3 * middle / total))];
    if (k > 0 && pieces[k].channels != pieces[k - 1].channels) {
      extend_end(pieces[k - 1], pieces[k - 1].dir);
      extend_start(pieces[k], pieces[k].dir);
      pieces[k - 1].next_len = pieces[k].previous_len = 0;
    }
  }
}

/// Adds the contour's pieces and, for a contour with two or more corners,
/// its runs between them.
void add_contour(const Contour &contour, std::vector<EdgePiece> &pieces, Polylines &lines,
                 std::vector<Run> &runs) {
  if (contour.empty()) return;
  const std::vector<bool> corner = corners_of(contour);
  const size_t corners = size_t(std::count(corner.begin(), corner.end(), true));
  // Walked from its first corner, if it has one.
  const size_t start = size_t(std::find(corner.begin(), corner.end(), true) - corner.begin());
  std::vector<bool> from_start(contour.size());
  for (size_t k = 0; k < contour.size(); ++k) from_start[k] = corner[(start + k) % contour.size()];
  const std::vector<u8> colours = segment_colours(from_start, corners);
  const size_t first_piece = pieces.size(), first_point = lines.points.size();
  lines.points.push_back(contour[start % contour.size()].p[0]);
  const size_t first_run = runs.size();
  for (size_t k = 0; k < contour.size(); ++k) {
    if (corners >= 2 && from_start[k] &&
        (runs.size() == first_run || runs.back().first < pieces.size()))
      runs.push_back({pieces.size(), 0});
    add_segment(contour[(start + k) % contour.size()], colours[k], pieces, lines);
  }
  const Point first = lines.points[first_point], last = lines.points.back();
  if (last.x != first.x || last.y != first.y)
    add_segment({{last, first}}, colours.back(), pieces, lines);
  lines.ends.push_back(lines.points.size());
  for (size_t r = first_run; r < runs.size(); ++r)
    runs[r].end = r + 1 < runs.size() ? runs[r + 1].first : pieces.size();
  if (runs.size() > first_run && runs.back().first == runs.back().end) runs.pop_back();
  if (corners == 1) colour_teardrop(pieces.data() + first_piece, pieces.size() - first_piece);
}

/// Which side of a piece is filled: +1 its normal's, -1 the other, 0 both or neither.
int filled_side(const FillIndex &fill, Point a, Point b, Point dir) {
  const Point middle = (a + b) * 0.5f, side = normal(dir) * k_side;
  const bool left = fill.filled(middle + side), right = fill.filled(middle - side);
  return left == right ? 0 : left ? 1 : -1;
}

// Appends the runs of a piece that bound the filled region, judged in short steps.
void cut(const EdgePiece &piece, const FillIndex &fill, std::vector<EdgePiece> &kept) {
  const int n = std::max(1, to_int(std::ceil(piece.len / k_step)));
  const Point d = piece.b - piece.a;
  const auto at = [&](int k) { return k == n ? piece.b : piece.a + d * (float(k) / float(n)); };
  int run_side = 0;
  for (int k = 0; k < n; ++k) {
    const int side = filled_side(fill, at(k), at(k + 1), piece.dir);
    if (side != 0 && side == run_side) {
      kept.back().b = at(k + 1);
    } else if (side != 0) {
      kept.push_back(piece);
      EdgePiece &run = kept.back();
      run.a = at(k), run.b = at(k + 1), run.inward = normal(piece.dir) * float(side);
      run.extend_start = piece.extend_start && k == 0, run.extend_end = false;
      // A neighbour may be cut away: every end of a run is measured past it.
      run.previous_len = run.next_len = 0;
    }
    run_side = side;
  }
  // Only a run that reaches the piece's end keeps what lies past it.
  if (run_side != 0) kept.back().extend_end = piece.extend_end;
}

// Turns the ends' tangents into inward normals, once the filled side is known.
void finish(EdgePiece &piece) {
  const float side = dot(piece.inward, normal(piece.dir));
  piece.len = length(piece.b - piece.a);
  piece.start_inward = normal(piece.start_inward) * side;
  piece.end_inward = normal(piece.end_inward) * side;
}

bool has_overlaps(const Polylines &lines, FillRule rule, int width, int rows) {
  return has_inner_edges(row_crossings(lines, rows), rule) ||
         (contours_meet(lines) && has_inner_edges(row_crossings(transposed(lines), width), rule));
}

} // namespace

FT_Error coloured_outline(const FT_Outline &outline, i32 left, i32 top, int width, int rows,
                          ColouredOutline &out) {
  out = ColouredOutline{};
  Reader reader;
  reader.origin_x = FT_Pos{left} * 64 + 32, reader.origin_y = FT_Pos{top} * 64 - 32;
  const FT_Outline_Funcs funcs{move_to, line_to, conic_to, cubic_to, 0, 0};
  if (const FT_Error e = FT_Outline_Decompose(const_cast<FT_Outline *>(&outline), &funcs, &reader))
    return e;
  // Reused by the thread from glyph to glyph: growing it costs more than its pieces.
  thread_local std::vector<EdgePiece> pieces;
  pieces.clear();
  std::vector<size_t> contour_ends, run_ends;
  std::vector<Run> runs;
  for (const Contour &contour : reader.contours) {
    const size_t first_run = runs.size();
    add_contour(contour, pieces, out.lines, runs);
    contour_ends.push_back(pieces.size());
    if (runs.size() > first_run) run_ends.push_back(runs.size());
  }
  separate_close_runs(pieces, runs, run_ends);
  const FillRule rule{(outline.flags & FT_OUTLINE_EVEN_ODD_FILL) != 0};
  out.fill = std::make_unique<FillIndex>(out.lines, rule);
  out.pieces.reserve(pieces.size());
  if (has_overlaps(out.lines, rule, width, rows)) {
    for (const EdgePiece &piece : pieces) cut(piece, *out.fill, out.pieces);
  } else {
    // Each contour bounds the region on one side throughout: its longest piece tells which.
    size_t begin = 0;
    for (const size_t end : contour_ends) {
      const auto longest =
          std::max_element(pieces.begin() + long(begin), pieces.begin() + long(end),
                           [](const EdgePiece &p, const EdgePiece &q) { return p.len < q.len; });
      const int side = longest == pieces.begin() + long(end)
                           ? 0
                           : filled_side(*out.fill, longest->a, longest->b, longest->dir);
      for (size_t k = begin; k < end && side != 0; ++k) {
        out.pieces.push_back(pieces[k]);
        out.pieces.back().inward = normal(pieces[k].dir) * float(side);
      }
      begin = end;
    }
  }
  for (EdgePiece &piece : out.pieces) finish(piece);
  return 0;
}

} // namespace outline
