// How a field is made. The outline is flattened into straight pieces, curves
// into chords that straddle them within k_flatness. Each piece lowers the
// squared distance of the pixels in its band: those within the spread of the
// piece's line whose foot lies on the piece, and its share of the wedge at
// each end where pixels are nearest the corner itself. The bands together
// cover every pixel within the spread with the piece nearest to it, so the
// distance to the pieces is exact while the work is the bands' area rather
// than pixels times pieces. Bands are painted along their short side, a row
// at a time in blocks of four pixels (pieces running more across than down
// go into a transposed grid). The sign is the fill rule applied to the
// winding number at each pixel centre, summed from the edges' crossings of
// its row.
//
// Contours may overlap (composite glyphs, variable fonts), and an edge with
// the filled region on both sides is no edge of the shape. When a row or
// column crosses one without the fill changing, every edge is judged in short
// steps against the fill, and only the runs that bound the region get bands.
#include "tools/glyphmint/fields/distance-field.h"

#include "tools/glyphmint/fields/lanes.h"
#include "tools/glyphmint/fields/outline-polylines.h"

#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

using namespace outline;
using namespace outline::lanes;

// How far a chord may stray from its curve, in pixels: well inside the
// field's error budget, with few enough chords to stay fast.
constexpr float k_flatness = 1.0f / 8;
// How far bands overlap where they meet, so that rounding opens no gap.
constexpr float k_seam = 1.0f / 16;
// Pieces shorter than this are dropped: their ends are one point.
constexpr float k_degenerate = 1.0f / 8192;
// Where contours overlap, edges are judged in pieces this long, from points
// this far to either side of a piece's middle.
constexpr float k_piece = 0.5f;
constexpr float k_side = 1.0f / 256;
// The largest coverage bitmap FreeType's rasteriser makes, either way.
constexpr u32 k_max_coverage = 0x7FFF;

const char *const k_call_field = "distance_field(slot, spread, field)";
const char *const k_call_decompose = "FT_Outline_Decompose(&slot->outline, &funcs, &flattener)";

int to_int(float v) {
  return static_cast<int>(v);
}

/// A straight piece of a contour; `kept` when it bounds the filled region.
struct Piece {
  Point a, b, dir;
  float len = 0;
  bool kept = true;
};

/// Where a band stops at one end: it keeps to the pixels p with m·p ≥ c.
struct Limit {
  Point m;
  float c = 0;
};

/// The pixels a piece a→b sets distances for: those within `reach` of its
/// line, inside the limits at its two ends.
struct Band {
  Point a, b;
  Limit start, end;
};

// Appends the edge a→b as one piece or, where contours overlap (`inner`
// given), as the runs of it that do and do not bound the filled region,
// judged in short steps.
void cut(Point a, Point b, const FillIndex *inner, std::vector<Piece> &pieces) {
  const Point d = b - a;
  const float len = length(d);
  if (len < k_degenerate) return;
  const Point dir = d * (1 / len);
  if (inner == nullptr) return pieces.push_back({a, b, dir, len, true});
  const int n = std::max(1, to_int(std::ceil(len / k_piece)));
  const Point side = Point{-dir.y, dir.x} * k_side;
  const auto at = [&](int k) { return k == n ? b : a + d * (float(k) / float(n)); };
  for (int k = 0, run = 0; k < n; ++k) {
    const Point middle = (at(k) + at(k + 1)) * 0.5f;
    const bool bounds = inner->filled(middle + side) != inner->filled(middle - side);
    if (k > run && bounds != pieces.back().kept) run = k;
    if (k == run)
      pieces.push_back({at(k), at(k + 1), dir, len / float(n), bounds});
    else
      pieces.back().b = at(k + 1), pieces.back().len = len * float(k + 1 - run) / float(n);
  }
}

/// The limits of two neighbouring pieces' bands at the corner they share.
struct Corner {
  Limit end_of_from, start_of_to;
};

// On the outer side of a corner the pixels between the two pieces' normals
// are nearest the corner itself. Where both pieces are long enough that no
// pixel nearest one of them lies past the corner's bisector on the inner side
// (within `reach`, a pixel past it projects onto the other piece, which is
// then nearer), the bisector divides the pixels between the bands exactly.
// Otherwise each band runs on past the corner far enough to cover half of the
// outer wedge (reach × sin(turn / 2)), and past an end whose neighbour is left
// out, across the whole half disc.
Corner corner(const Piece &from, const Piece &to, float reach) {
  const Point v = from.b;
  float ext = reach + k_seam;
  if (from.kept && to.kept) {
    const float cos_turn = dot(from.dir, to.dir);
    const float sin_turn = std::fabs(from.dir.x * to.dir.y - from.dir.y * to.dir.x);
    const float tan_half = sin_turn / (1 + cos_turn);
    const float past = reach * (sin_turn + std::max(0.0f, -cos_turn) * tan_half);
    if (cos_turn > -0.85f && std::min(from.len, to.len) >= past) {
      const Point m = (from.dir + to.dir) * (1 / length(from.dir + to.dir));
      return {{m * -1, -dot(m, v) - k_seam}, {m, dot(m, v) - k_seam}};
    }
    ext = reach * length(from.dir - to.dir) / 2 + k_seam;
  }
  return {{from.dir * -1, -dot(from.dir, v) - ext}, {to.dir, dot(to.dir, v) - ext}};
}

void add_bands(const std::vector<Piece> &pieces, float reach, std::vector<Band> &bands) {
  const size_t n = pieces.size();
  if (n == 0) return;
  Corner before = corner(pieces[n - 1], pieces[0], reach);
  for (size_t k = 0; k < n; ++k) {
    const Corner after = corner(pieces[k], pieces[k + 1 == n ? 0 : k + 1], reach);
    if (pieces[k].kept)
      bands.push_back({pieces[k].a, pieces[k].b, before.start_of_to, after.end_of_from});
    before = after;
  }
}

std::vector<Band> bands_of(const Polylines &lines, float reach, const FillIndex *inner) {
  std::vector<Band> bands;
  std::vector<Piece> pieces;
  bands.reserve(lines.points.size());
  size_t begin = 0;
  for (const size_t end : lines.ends) {
    pieces.clear();
    for (size_t k = begin; k + 1 < end; ++k)
      cut(lines.points[k], lines.points[k + 1], inner, pieces);
    add_bands(pieces, reach, bands);
    begin = end;
  }
  return bands;
}

/// Squared distances to the outline, row by row, in a buffer the thread
/// reuses; rows are padded so that a block may start at any pixel.
struct Grid {
  static constexpr int k_block = lanes::k_block;
  int width = 0;
  int rows = 0;
  int stride = 0;
  std::vector<float> &d2;

  Grid(int width_, int rows_, float initial, std::vector<float> &scratch)
      : width(width_), rows(rows_), stride(width_ + k_block - 1), d2(scratch) {
    d2.assign(size_t(stride) * size_t(rows_), initial);
  }
  [[nodiscard]] float *row(int j) { return d2.data() + size_t(j) * size_t(stride); }
  [[nodiscard]] const float *row(int j) const { return d2.data() + size_t(j) * size_t(stride); }
};

/// A limit across a row: a lowest or highest x, which moves by a fixed step
/// from row to row. A level limit only bounds the rows.
struct Bound {
  float low = -1e9f;
  float high = 1e9f;
  float low_step = 0;
  float high_step = 0;
  void next_row() {
    low += low_step;
    high += high_step;
  }
};

Bound bound(const Limit &limit, float y) {
  Bound b;
  if (std::fabs(limit.m.x) < 1e-6f) return b;
  const float x = (limit.c - limit.m.y * y) / limit.m.x, step = -limit.m.y / limit.m.x;
  if (limit.m.x > 0)
    b.low = x, b.low_step = step;
  else
    b.high = x, b.high_step = step;
  return b;
}

/// The columns from..to of a row.
struct Span {
  int row = 0;
  int from = 0;
  int to = 0;
};

/// The rows' spans of a band: the quadrilateral between the lines at `reach`
/// on either side of its piece and its end limits (less, where they cross).
void band_spans(const Band &band, float reach, const Grid &grid, std::vector<Span> &spans) {
  const Point u = (band.b - band.a) * (1 / length(band.b - band.a)), n{-u.y, u.x};
  float top = 1e9f, bottom = -1e9f;
  for (const Limit &limit : {band.start, band.end}) {
    for (const float side : {-reach, reach}) {
      const float along =
          (limit.c - dot(limit.m, band.a) - side * dot(limit.m, n)) / dot(limit.m, u);
      const float y = band.a.y + along * u.y + side * n.y;
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  const int j0 = std::max(0, to_int(std::ceil(top)));
  const int j1 = std::min(grid.rows - 1, to_int(std::floor(bottom)));
  // Across a row, each side's bound moves by a fixed step from row to row.
  const float y0 = static_cast<float>(j0);
  Bound left = bound({n, dot(n, band.a) - reach}, y0);
  Bound right = bound({n * -1, -dot(n, band.a) - reach}, y0);
  Bound start = bound(band.start, y0), end = bound(band.end, y0);
  const float last_column = static_cast<float>(grid.width - 1);
  spans.clear();
  for (int j = j0; j <= j1; ++j) {
    const float lo = std::max(std::max(left.low, right.low), std::max(start.low, end.low));
    const float hi = std::min(std::min(left.high, right.high), std::min(start.high, end.high));
    left.next_row();
    right.next_row();
    start.next_row();
    end.next_row();
    if (hi >= 0 && lo <= last_column && lo <= hi)
      spans.push_back({j, to_int(std::max(lo, 0.0f)), to_int(std::min(hi, last_column))});
  }
}

/// Lowers the squared distances of the grid to the band's piece, over the
/// band. The spans are found first, so that painting them keeps few values
/// at hand.
void paint(const Band &band, float reach, Grid &grid, std::vector<Span> &spans) {
  band_spans(band, reach, grid, spans);
  const float len = length(band.b - band.a);
  const Point u = (band.b - band.a) * (1 / len), n{-u.y, u.x};
  const Lanes along_lanes = k_lane_offsets * u.x, across_lanes = k_lane_offsets * u.y;
  const float along_block = Grid::k_block * u.x, across_block = Grid::k_block * u.y;
  for (const Span &span : spans) {
    // Along the piece from its start, and across it, at the span's first pixel.
    const Point first = Point{static_cast<float>(span.from), static_cast<float>(span.row)} - band.a;
    Lanes along = dot(first, u) + along_lanes, across = dot(first, n) - across_lanes;
    float *const row = grid.row(span.row);
    // Whole blocks are painted: pixels past the band get their true distance
    // to the piece too, which is harmless.
    for (int i = span.from; i <= span.to;
         i += Grid::k_block, along += along_block, across -= across_block) {
      const Lanes past = along - len;
      const Lanes before = along < 0 ? along : Lanes{}, after = past > 0 ? past : Lanes{};
      const Lanes d2 = across * across + (before + after) * (before + after);
      const Lanes old = load(row + i);
      store(row + i, d2 < old ? d2 : old);
    }
  }
}

Band transposed(const Band &band) {
  const auto limit = [](const Limit &l) { return Limit{transposed(l.m), l.c}; };
  return {transposed(band.a), transposed(band.b), limit(band.start), limit(band.end)};
}

/// Folds the transposed grid into the other: the lesser distance.
void fold_transposed(const Grid &across, Grid &grid) {
  for (int i = 0; i < grid.width; ++i) {
    const float *const column = across.row(i);
    for (int j = 0; j < grid.rows; ++j) grid.row(j)[i] = std::min(grid.row(j)[i], column[j]);
  }
}

/// Writes the field's bytes from the squared distances, with the sign the
/// fill rule gives between each row's crossings.
void compose(const RowCrossings &rows, FillRule rule, Grid &grid, float spread, u8 *out) {
  // Inside pixels are marked first by a negative sign on their squared
  // distance; one long loop over every pixel then takes them in blocks.
  for (int j = 0; j < grid.rows; ++j) {
    float *const row = grid.row(j);
    int winding = 0, from = 0;
    for (u32 k = rows.start[size_t(j)]; k < rows.start[size_t(j) + 1]; ++k) {
      // Pixels left of or on the crossing do not count it.
      const float x = std::clamp(rows.list[k].x, -1.0f, static_cast<float>(grid.width));
      const int to = std::max(from, std::min(grid.width, to_int(x + 1)));
      if (rule.filled(winding))
        for (int i = from; i < to; ++i) row[i] = -row[i];
      from = to;
      winding += rows.list[k].dir;
    }
  }
  const float scale = 128 / spread;
  const std::unique_ptr<u8[]> padded(new u8[grid.d2.size()]);
  const float *const d2 = grid.d2.data();
  // 128 + the distance, inside's negative mark turned positive, and a half
  // for rounding: with no distance above the spread, 0 to 256. (A mark on a
  // zero distance gives 128.5 either way.) Four at once, then the rest.
  const size_t n = grid.d2.size();
  size_t k = 0;
  for (; k + k_block <= n; k += k_block) {
    const Lanes d = load(d2 + k);
    const Lanes level = 128.5f - negated_where(scale * sqrt_lanes(magnitude(d)), d < 0);
    const Mask whole = __builtin_convertvector(level, Mask);
    store_bytes(&padded[k], whole > 255 ? Mask{} + 255 : whole);
  }
  for (; k < n; ++k) {
    const int level = to_int(128.5f - std::copysign(scale * std::sqrt(std::fabs(d2[k])), d2[k]));
    padded[k] = static_cast<u8>(level > 255 ? 255 : level);
  }
  for (size_t j = 0; j < size_t(grid.rows); ++j)
    std::memcpy(out + j * size_t(grid.width), &padded[j * size_t(grid.stride)], size_t(grid.width));
}

// The bands of the edges that bound the filled region. Inner edges that
// cross no row (along one, or in a sliver between two) are sought along the
// columns, where contours meet.
std::vector<Band> boundary_bands(const Polylines &lines, const RowCrossings &rows, FillRule rule,
                                 int width, float reach) {
  if (has_inner_edges(rows, rule) ||
      (contours_meet(lines) && has_inner_edges(row_crossings(transposed(lines), width), rule))) {
    const FillIndex inner(lines, rule);
    return bands_of(lines, reach, &inner);
  }
  return bands_of(lines, reach, nullptr);
}

FieldPlacement coverage_placement(const FT_Outline &outline) {
  FT_BBox box;
  FT_Outline_Get_CBox(&outline, &box);
  // The normal render's box: the control box out to whole pixels.
  const FT_Pos left = box.xMin >> 6, right = (box.xMax + 63) >> 6;
  const FT_Pos bottom = box.yMin >> 6, top = (box.yMax + 63) >> 6;
  return {static_cast<u32>(right - left), static_cast<u32>(top - bottom), static_cast<i32>(left),
          static_cast<i32>(top)};
}

} // namespace

FieldPlacement distance_field_placement(const FT_Outline &outline, int spread) {
  const FieldPlacement coverage = coverage_placement(outline);
  if (coverage.width == 0 || coverage.rows == 0) return coverage;
  const u32 grow = 2 * static_cast<u32>(spread);
  return {coverage.width + grow, coverage.rows + grow, coverage.bearing_x - spread,
          coverage.bearing_y + spread};
}

namespace {

FtFailure slot_failure(FT_GlyphSlot slot) {
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return {FT_Err_Invalid_Glyph_Format, k_call_field};
  return {};
}

bool is_empty(const FieldPlacement &coverage) {
  return coverage.width == 0 || coverage.rows == 0;
}

// What a field of that spread and coverage fails on before its outline is
// read; an empty coverage has no size to overflow.
FtFailure size_failure(int spread, const FieldPlacement &coverage) {
  if (spread < 1 || spread > 32) return {FT_Err_Invalid_Argument, k_call_field};
  if (is_empty(coverage)) return {};
  if (coverage.width > k_max_coverage || coverage.rows > k_max_coverage)
    return {FT_Err_Raster_Overflow, k_call_field};
  return {};
}

} // namespace

FtFailure distance_field_failure(FT_GlyphSlot slot, int spread) {
  if (const FtFailure failure = slot_failure(slot); failure.error != 0) return failure;
  const FT_Outline &outline = slot->outline;
  const FieldPlacement coverage = coverage_placement(outline);
  if (const FtFailure failure = size_failure(spread, coverage);
      failure.error != 0 || is_empty(coverage))
    return failure;
  // Every callback of the field's own reading returns 0, so the outline
  // fails this reading exactly when it fails that one.
  const FT_Outline_Funcs nothing{
      [](const FT_Vector *, void *) { return 0; },
      [](const FT_Vector *, void *) { return 0; },
      [](const FT_Vector *, const FT_Vector *, void *) { return 0; },
      [](const FT_Vector *, const FT_Vector *, const FT_Vector *, void *) { return 0; },
      0,
      0};
  if (const FT_Error e =
          FT_Outline_Decompose(const_cast<FT_Outline *>(&outline), &nothing, nullptr))
    return {e, k_call_decompose};
  return {};
}

FtFailure distance_field(FT_GlyphSlot slot, int spread, DistanceField &out) {
  if (const FtFailure failure = slot_failure(slot); failure.error != 0) {
    out = DistanceField{};
    return failure;
  }
  return distance_field(slot->outline, spread, out);
}

FtFailure distance_field(const FT_Outline &outline, int spread, DistanceField &out) {
  out = DistanceField{};
  const FieldPlacement coverage = coverage_placement(outline);
  if (const FtFailure failure = size_failure(spread, coverage); failure.error != 0) return failure;
  const FieldPlacement place = distance_field_placement(outline, spread);
  if (is_empty(coverage)) {
    static_cast<FieldPlacement &>(out) = place;
    return {};
  }

  Polylines lines;
  if (const FT_Error e = flatten(outline, place.bearing_x, place.bearing_y, k_flatness, lines))
    return {e, k_call_decompose};
  static_cast<FieldPlacement &>(out) = place;

  const int width = static_cast<int>(out.width), height = static_cast<int>(out.rows);
  const float reach = static_cast<float>(spread);
  const FillRule rule{(outline.flags & FT_OUTLINE_EVEN_ODD_FILL) != 0};
  const RowCrossings rows = row_crossings(lines, height);
  const std::vector<Band> bands = boundary_bands(lines, rows, rule, width, reach + k_seam);

  // A band is painted along its short side: those of pieces running more
  // across than down into a transposed grid, folded in at the end.
  // Allocated anew for each glyph, the grids were faulted in page by page
  // each time; beyond some 1000 x 1000 pixels they are let go after it.
  thread_local std::vector<float> scratch[2];
  Grid grid(width, height, reach * reach, scratch[0]);
  Grid across(height, width, reach * reach, scratch[1]);
  std::vector<Span> spans;
  for (const Band &band : bands) {
    if (std::fabs(band.b.y - band.a.y) >= std::fabs(band.b.x - band.a.x))
      paint(band, reach + k_seam, grid, spans);
    else
      paint(transposed(band), reach + k_seam, across, spans);
  }
  fold_transposed(across, grid);
  out.pixels.resize(size_t(width) * size_t(height));
  compose(rows, rule, grid, reach, out.pixels.data());
  for (std::vector<float> &kept : scratch)
    if (kept.size() > size_t(1) << 20) kept = {};
  return {};
}
