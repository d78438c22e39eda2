// How the field is judged between its texels. A cell is the square between
// four texel centres; what a GPU draws there blends those four. Each cell
// near the outline is sampled on a grid of points: where the median of the
// blended channels and the blend of the true distances agree on the side,
// the median is taken as right (the blended true distance is good away from
// corners, and the median is what keeps corners). Where they disagree, the
// fill decides; where it finds the median wrong, each of the cell's texels
// is tried with the true distance in all three channels: it keeps that when
// the cells it touches then draw more of their points on the right side. So a corner the median
// draws sharp keeps its channels, and a crossing or crossbar that the
// channels' interpolation cuts gets the true distance, which does not.
// Then strokes about a texel wide, which the true distance cannot draw
// either, are mended with channels their neighbours hold (see
// mend_thin_strokes). Points that lie exactly on the outline count neither
// way.
#include "tools/glyphmint/fields/sampled-correction.h"

#include "tools/glyphmint/fields/lanes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace outline {

namespace {

using namespace lanes;

// Points per cell along each side: a field drawn at 8 times is looked at
// this finely; 4 points cost a third of the gain at 12 and 16 px.
constexpr int k_grid = 8;
static_assert(k_grid * k_grid <= 64, "a cell's points are the bits of a u64");
static_assert((k_grid & (k_grid - 1)) == 0, "points lie on binary fractions");
// Suspects are found on a coarser grid: a wrong median worth correcting
// spans more than one point of it.
constexpr int k_coarse = 4;
// Closer to the outline than this, the blend of the true distances is no
// evidence: it is good to about a quarter of a pixel, but notches shallower
// than that still cut # at 16 px, so the fill judges from here on.
constexpr float k_blend_error = 0.05f;

/// The bilinear blend of a cell's corner values (top left, top right,
/// bottom left, bottom right) at four points of a line across it, at height
/// v: down the cell's two sides, then across, as a GPU's filter blends.
Lanes blend(const std::array<float, 4> &c, float v, Lanes u) {
  const float left = c[0] + (c[2] - c[0]) * v, right = c[1] + (c[3] - c[1]) * v;
  return left + (right - left) * u;
}

Lanes median(Lanes r, Lanes g, Lanes b) {
  return higher(lower(r, g), lower(higher(r, g), b));
}

/// A cell's four texels: each channel's values and the true distances.
struct Corners {
  std::array<std::array<float, 4>, 3> channel;
  std::array<float, 4> truth;

  [[nodiscard]] Lanes drawn(float v, Lanes u) const {
    return median(blend(channel[0], v, u), blend(channel[1], v, u), blend(channel[2], v, u));
  }
  /// The points, a bit each, where the median drawn is inside.
  [[nodiscard]] u64 drawn_inside() const {
    static_assert(k_grid == 2 * k_block, "a line of points is two vectors");
    constexpr Lanes k_left = {0.5f / k_grid, 1.5f / k_grid, 2.5f / k_grid, 3.5f / k_grid};
    constexpr Lanes k_right = k_left + 4.0f / k_grid;
    u64 inside = 0;
    for (int b = 0; b < k_grid; ++b) {
      const float v = (float(b) + 0.5f) / k_grid;
      inside |= u64(lanes_set(drawn(v, k_left) >= 0)) << (b * k_grid);
      inside |= u64(lanes_set(drawn(v, k_right) >= 0)) << (b * k_grid + k_block);
    }
    return inside;
  }
};

/// Cell (i, j) of the field: its top left texel is (i, j).
Corners corners(const ChannelDistances &f, int i, int j) {
  const size_t w = size_t(f.width), t = size_t(j) * w + size_t(i);
  const float *const at[4] = {f.at(t), f.at(t + 1), f.at(t + w), f.at(t + w + 1)};
  Corners c;
  for (size_t k = 0; k < 3; ++k) c.channel[k] = {at[0][k], at[1][k], at[2][k], at[3][k]};
  c.truth = {f.truth[t], f.truth[t + 1], f.truth[t + w], f.truth[t + w + 1]};
  return c;
}

/// Of the n (at most 16) cells from cell (i, j), as bits, those whose four
/// texels may draw other than their blend: not all on one side, and not
/// all ordering their channels alike.
u32 may_mislead(const TexelSides &sides, size_t width, int i, int j, size_t n) {
  const size_t t = size_t(j) * width + size_t(i);
  const TexelSides::Alike across = sides.alike(t, 1, n), down = sides.alike(t, ptrdiff_t(width), n),
                          diagonal = sides.alike(t, ptrdiff_t(width) + 1, n);
  const u32 one_side = across.one_side & down.one_side & diagonal.one_side;
  const u32 ordered = across.order & down.order & diagonal.order;
  return ~(one_side | ordered) & ((u32(1) << n) - 1);
}

/// Whether the drawn median and the blended true distance disagree
/// somewhere in cell (i, j), and the fill there says the median is wrong.
bool suspect(const FillIndex &fill, const ChannelDistances &f, int i, int j) {
  const Corners c = corners(f, i, j);
  static_assert(k_coarse == k_block, "a line of the coarse grid is a vector");
  constexpr Lanes k_across = {0.5f / k_coarse, 1.5f / k_coarse, 2.5f / k_coarse, 3.5f / k_coarse};
  for (int b = 0; b < k_coarse; ++b) {
    const float v = (float(b) + 0.5f) / k_coarse;
    const Lanes truth = blend(c.truth, v, k_across);
    const Mask drawn = c.drawn(v, k_across) >= 0;
    const Mask wrong = (drawn != (truth >= 0)) & (higher(truth, -truth) > k_blend_error);
    // Where the two disagree, the fill says which is right.
    for (u64 points = u64(lanes_set(wrong)); points != 0; points &= points - 1) {
      const int a = __builtin_ctzll(points);
      const Point point{float(i) + (float(a) + 0.5f) / k_coarse, float(j) + v};
      if (fill.filled(point) != (drawn[a] != 0)) return true;
    }
  }
  return false;
}

/// What a Judge keeps per cell, kept by each thread from glyph to glyph:
/// allocating and faulting it in anew for every glyph cost more than
/// clearing it. A row of cells is cleared when first asked about, as most
/// glyphs ask about few rows or none.
struct JudgeCells {
  std::vector<u64> filled, on_edge;
  std::vector<int> wrong;
  std::vector<u8> rows_known;
  void reset(size_t cells, size_t rows) {
    if (filled.size() < cells) filled.resize(cells), on_edge.resize(cells), wrong.resize(cells);
    rows_known.assign(rows, 0);
  }
  /// Lets go of what a field of some 1000 x 1000 texels or more took.
  void trim() {
    if (filled.size() > size_t(1) << 20) *this = JudgeCells{};
  }
};

class Judge {
public:
  Judge(const FillIndex &fill, ChannelDistances &field, JudgeCells &cells)
      : fill_(fill), f_(field), cells_(cells.filled), rows_known_(cells.rows_known),
        wrong_(cells.wrong), on_edge_(cells.on_edge) {
    cells.reset(size_t(field.width - 1) * size_t(field.rows - 1), size_t(field.rows - 1));
  }

  /// The points drawn on the wrong side in the cells that touch texels
  /// (i0, j0) to (i1, j1).
  [[nodiscard]] int wrong_around(int i0, int j0, int i1, int j1) {
    int wrong = 0;
    for_cells_around(i0, j0, i1, j1, [&](size_t cell, int ci, int cj) {
      (void)filled(ci, cj);
      if (wrong_[cell] < 0) wrong_[cell] = wrong_in(ci, cj);
      wrong += wrong_[cell];
    });
    return wrong;
  }

  /// Whether those cells, as they are now, draw fewer than `before` points
  /// on the wrong side; if so, their counts are kept.
  [[nodiscard]] bool fewer_wrong_around(int i0, int j0, int i1, int j1, int before) {
    int wrong = 0, counts[9], n = 0;
    bool fewer = true;
    for_cells_around(i0, j0, i1, j1, [&](size_t, int ci, int cj) {
      if (fewer) fewer = (wrong += counts[n++] = wrong_in(ci, cj)) < before;
    });
    if (!fewer) return false;
    n = 0;
    for_cells_around(i0, j0, i1, j1, [&](size_t cell, int, int) { wrong_[cell] = counts[n++]; });
    return true;
  }

  /// How many of the medians halfway from texel (i, j) to its neighbours lie
  /// on the other side of the fill: a GPU sampling at other scales than the
  /// cells' points sees those too.
  [[nodiscard]] int wrong_halfway(int i, int j) const {
    const float *const a = f_.at(size_t(j) * size_t(f_.width) + size_t(i));
    int wrong = 0;
    for (int dj = -1; dj <= 1; ++dj) {
      for (int di = -1; di <= 1; ++di) {
        const int i2 = i + di, j2 = j + dj;
        if ((di == 0 && dj == 0) || i2 < 0 || j2 < 0 || i2 >= f_.width || j2 >= f_.rows) continue;
        const float *const b = f_.at(size_t(j2) * size_t(f_.width) + size_t(i2));
        const float m[3] = {(a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2};
        const float drawn = std::max(std::min(m[0], m[1]), std::min(std::max(m[0], m[1]), m[2]));
        wrong += (drawn >= 0) != fill_.filled({float(i) + float(di) / 2, float(j) + float(dj) / 2});
      }
    }
    return wrong;
  }

  /// The points of cell (i, j) the outline fills that the median leaves out.
  [[nodiscard]] int missing_in(int i, int j) {
    const u64 inside = filled(i, j);
    return __builtin_popcountll(inside & ~corners(f_, i, j).drawn_inside() & ~on_edge(i, j));
  }

private:
  template <class Visit> void for_cells_around(int i0, int j0, int i1, int j1, Visit visit) const {
    for (int cj = std::max(0, j0 - 1); cj <= std::min(j1, f_.rows - 2); ++cj)
      for (int ci = std::max(0, i0 - 1); ci <= std::min(i1, f_.width - 2); ++ci)
        visit(size_t(cj) * size_t(f_.width - 1) + size_t(ci), ci, cj);
  }

  int wrong_in(int i, int j) {
    const u64 inside = filled(i, j);
    return __builtin_popcountll((corners(f_, i, j).drawn_inside() ^ inside) & ~on_edge(i, j));
  }

  /// The points of cell (i, j) that lie on the outline, where neither side
  /// is wrong (outline points lie on a grid of 1/64 pixel, the cells'
  /// points on odd sixteenths, so axis-aligned edges meet them often).
  u64 on_edge(int i, int j) {
    (void)filled(i, j);
    return on_edge_[size_t(j) * size_t(f_.width - 1) + size_t(i)];
  }

  /// Which of the cell's points the outline fills, a bit each. A row of
  /// cells is found at once, from where each line of points crosses edges.
  u64 filled(int i, int j) {
    const size_t cells = size_t(f_.width - 1);
    u64 *const row = cells_.data() + size_t(j) * cells;
    if (!rows_known_[size_t(j)]) {
      rows_known_[size_t(j)] = 1;
      u64 *const edge = on_edge_.data() + size_t(j) * cells;
      std::fill_n(row, cells, 0), std::fill_n(edge, cells, 0);
      std::fill_n(wrong_.data() + size_t(j) * cells, cells, -1);
      const i64 points = i64(cells) * k_grid;
      for (int b = 0; b < k_grid; ++b) {
        const float y = float(j) + (float(b) + 0.5f) / k_grid;
        fill_.crossings(y, crossings_);
        int winding = 0;
        for (size_t k = 0; k < crossings_.size(); ++k) {
          const i64 at = first_right_of(crossings_[k].x, points);
          if (at > 0 && point_x(at - 1) == double(crossings_[k].x))
            fill_points(edge, b, at - 1, at);
          winding += crossings_[k].dir;
          if (k + 1 < crossings_.size() && fill_.rule().filled(winding))
            fill_points(row, b, at, first_right_of(crossings_[k + 1].x, points));
        }
        fill_.level_spans(y, spans_);
        for (const auto &[low, high] : spans_)
          fill_points(edge, b, first_right_of(std::nextafter(low, -1e30f), points),
                      first_right_of(high, points));
      }
    }
    return row[i];
  }

  /// The first point of a line of a row's points right of x. Point p lies
  /// at (2p + 1) / 2k, exactly so in floats too: so this is the first point
  /// whose x a crossing's is less than.
  static i64 first_right_of(float x, i64 points) {
    return std::clamp(i64(std::floor((2.0 * k_grid * double(x) - 1) / 2)) + 1, i64{0}, points);
  }
  static double point_x(i64 p) { return (2.0 * double(p) + 1) / (2 * k_grid); }

  /// Sets the bits of points [from, to) of line b in a row of cells' masks.
  static void fill_points(u64 *row, int b, i64 from, i64 to) {
    for (i64 p = from; p < to;) {
      const i64 cell = p / k_grid, end = std::min(to, (cell + 1) * k_grid);
      const u64 run = ((u64{1} << (end - p)) - 1) << (p - cell * k_grid);
      row[cell] |= run << (b * k_grid);
      p = end;
    }
  }

  const FillIndex &fill_;
  ChannelDistances &f_;
  std::vector<u64> &cells_;
  std::vector<u8> &rows_known_;
  std::vector<int> &wrong_; ///< a cell's count of wrong points, -1 until counted
  std::vector<u64> &on_edge_;
  std::vector<std::pair<float, float>> spans_;
  std::vector<Crossing> crossings_;
};

// A stroke about as narrow as the texels' spacing puts the true distance's
// peak between two texels that lie within half a pixel of the outline; where
// the median loses it (as where a thin bar meets a body, whose edges take the
// channels that kept the bar's sides apart), a side of the cell takes the
// channels of the opposite side or of the texels beyond it, which still draw
// it, when that draws its cells closer to the fill.
constexpr float k_thin = 0.5f;
constexpr int k_missing = 4;

/// Whether the true distance peaks between the two texel columns or rows of
/// cell (i, j): the signature of a stroke that passes between them.
bool ridge(const ChannelDistances &f, int i, int j) {
  const auto truth = [&](int x, int y) {
    return f.truth[size_t(std::clamp(y, 0, f.rows - 1)) * size_t(f.width) +
                   size_t(std::clamp(x, 0, f.width - 1))];
  };
  for (int k = 0; k < 2; ++k) {
    if (truth(i - 1, j + k) < truth(i, j + k) && truth(i + 2, j + k) < truth(i + 1, j + k))
      return true;
    if (truth(i + k, j - 1) < truth(i + k, j) && truth(i + k, j + 2) < truth(i + k, j + 1))
      return true;
  }
  return false;
}

struct Texel {
  int i, j;
};

/// Gives texels `to[0, n)` the channels of `from[0, n)`, and keeps them when
/// the cells around draw fewer points on the wrong side.
bool take_channels(Judge &judge, ChannelDistances &f, const Texel (&to)[2], const Texel (&from)[2],
                   int n) {
  for (int k = 0; k < n; ++k)
    if (std::min(from[k].i, from[k].j) < 0 || from[k].i >= f.width || from[k].j >= f.rows)
      return false;
  const auto at = [&](Texel t) { return f.at(size_t(t.j) * size_t(f.width) + size_t(t.i)); };
  const Texel low{std::min(to[0].i, to[n - 1].i), std::min(to[0].j, to[n - 1].j)};
  const Texel high{std::max(to[0].i, to[n - 1].i), std::max(to[0].j, to[n - 1].j)};
  const int before = judge.wrong_around(low.i, low.j, high.i, high.j);
  // Nor may a move put more of the medians halfway to its texels'
  // neighbours on the wrong side: the cells' points lie off those lines.
  const auto halfway = [&] {
    int wrong = 0;
    for (int k = 0; k < n; ++k) wrong += judge.wrong_halfway(to[k].i, to[k].j);
    return wrong;
  };
  const int halfway_before = halfway();
  float kept[2][3];
  for (int k = 0; k < n; ++k) std::copy_n(at(to[k]), 3, kept[k]);
  for (int k = 0; k < n; ++k) std::copy_n(at(from[k]), 3, at(to[k]));
  if (halfway() <= halfway_before && judge.fewer_wrong_around(low.i, low.j, high.i, high.j, before))
    return true;
  for (int k = 0; k < n; ++k) std::copy_n(kept[k], 3, at(to[k]));
  return false;
}

/// Tries the moves that may draw cell (i, j)'s lost stroke again.
void mend_cell(Judge &judge, ChannelDistances &f, int i, int j) {
  // First a side of the cell, as a pair, takes the channels of the
  // opposite side or of the pair beyond it; then each texel, those of a
  // neighbour.
  const std::pair<Texel, Texel> sides[] = {
      {{i, j}, {0, 1}},  {{i, j + 1}, {0, -1}}, {{i, j}, {1, 0}},  {{i + 1, j}, {-1, 0}},
      {{i, j}, {0, -1}}, {{i, j + 1}, {0, 1}},  {{i, j}, {-1, 0}}, {{i + 1, j}, {1, 0}}};
  for (const auto &[first, step] : sides) {
    const Texel second{first.i + (step.i == 0), first.j + (step.j == 0)};
    if (take_channels(
            judge, f, {first, second},
            {{first.i + step.i, first.j + step.j}, {second.i + step.i, second.j + step.j}}, 2))
      break;
  }
  for (const Texel corner : {Texel{i, j}, Texel{i + 1, j}, Texel{i, j + 1}, Texel{i + 1, j + 1}})
    for (const Texel step : {Texel{1, 0}, Texel{-1, 0}, Texel{0, 1}, Texel{0, -1}, Texel{1, 1},
                             Texel{-1, -1}, Texel{1, -1}, Texel{-1, 1}})
      if (take_channels(judge, f, {corner, corner}, {{corner.i + step.i, corner.j + step.j}, {}},
                        1))
        break;
}

// Of the n (at most a block) cells from cell (i, j), as bits, those whose
// innermost texel lies within k_thin of the outline, inside or out.
int near_outline(const ChannelDistances &f, int i, int j, size_t n) {
  const size_t w = size_t(f.width), t = size_t(j) * w + size_t(i);
  const float *const truth = f.truth.data();
  if (n == k_block) {
    const Lanes nearest = higher(higher(load(truth + t), load(truth + t + 1)),
                                 higher(load(truth + t + w), load(truth + t + w + 1)));
    return lanes_set(magnitude(nearest) < k_thin);
  }
  int near = 0;
  for (size_t l = 0; l < n; ++l) {
    const size_t c = t + l;
    const float nearest = std::max({truth[c], truth[c + 1], truth[c + w], truth[c + w + 1]});
    near |= int(std::fabs(nearest) < k_thin) << l;
  }
  return near;
}

void mend_thin_strokes(Judge &judge, ChannelDistances &f) {
  for (int j = 0; j + 1 < f.rows; ++j) {
    for (int i0 = 0; i0 + 1 < f.width; i0 += k_block) {
      const size_t n = size_t(std::min(k_block, f.width - 1 - i0));
      for (int near = near_outline(f, i0, j, n); near != 0; near &= near - 1) {
        const int i = i0 + __builtin_ctz(unsigned(near));
        if (ridge(f, i, j) && judge.missing_in(i, j) >= k_missing) mend_cell(judge, f, i, j);
      }
    }
  }
}

} // namespace

void TexelSides::update(const ChannelDistances &field, size_t t) {
  const float *c = field.at(t);
  const float low = std::min(std::min(c[0], c[1]), std::min(c[2], field.truth[t]));
  const float high = std::max(std::max(c[0], c[1]), std::max(c[2], field.truth[t]));
  side[t] = low >= 0 ? 1 : high < 0 ? 2 : 0;
  order[t] = u8((c[0] < c[1]) | (c[0] < c[2]) << 1 | (c[1] < c[2]) << 2);
}

void correct_between_texels(const FillIndex &fill, ChannelDistances &field,
                            const TexelSides &sides) {
  if (field.width < 2 || field.rows < 2) return;
  const size_t width = size_t(field.width);
  thread_local JudgeCells cells;
  thread_local std::vector<u8> candidate;
  candidate.assign(field.truth.size(), 0);
  bool any = false;
  for (int j = 0; j + 1 < field.rows; ++j) {
    for (int i0 = 0; i0 + 1 < field.width; i0 += 16) {
      const size_t n = size_t(std::min(16, field.width - 1 - i0));
      for (u32 misleading = may_mislead(sides, width, i0, j, n); misleading != 0;
           misleading &= misleading - 1) {
        const int i = i0 + __builtin_ctz(misleading);
        if (!suspect(fill, field, i, j)) continue;
        const size_t t = size_t(j) * width + size_t(i);
        candidate[t] = candidate[t + 1] = candidate[t + width] = candidate[t + width + 1] = true;
        any = true;
      }
    }
  }
  Judge judge(fill, field, cells);
  for (size_t t = 0; any && t < candidate.size(); ++t) {
    if (!candidate[t]) continue;
    const int i = int(t % width), j = int(t / width);
    float *const rgb = field.at(t);
    const float kept[3] = {rgb[0], rgb[1], rgb[2]};
    if (kept[0] == field.truth[t] && kept[1] == field.truth[t] && kept[2] == field.truth[t])
      continue;
    const int before = judge.wrong_around(i, j, i, j);
    std::fill_n(rgb, 3, field.truth[t]);
    if (!judge.fewer_wrong_around(i, j, i, j, before)) std::copy_n(kept, 3, rgb);
  }
  mend_thin_strokes(judge, field);
  cells.trim();
  if (candidate.size() > size_t(1) << 20) candidate = {};
}

} // namespace outline
