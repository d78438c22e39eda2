// How pieces are painted. Each piece measures, row by row, the pixels within
// reach of it and between the bisectors of its joints with its neighbours,
// a block of four pixels at a time (or eight, which paint the same); a pixel
// past the piece's ends gets the distance to the end, and its
// pseudo-distance from the coloured edge's tangent there when the piece ends
// an edge.

// GCC and Clang note that the eight-lane helpers' arguments and returns
// would pass differently without AVX; they are only ever inlined into the
// AVX2 function, so no call passes them at all.
#ifdef __GNUC__
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

#include "tools/glyphmint/fields/channel-planes.h"

#include <algorithm>
#include <cmath>

namespace outline {

namespace {

using namespace lanes;

// How far pieces overlap at a joint, so that rounding opens no gap.
constexpr float k_seam = 1.0f / 16;

int to_int(float v) {
  return static_cast<int>(v);
}

/// The planes of the channels a piece sets.
struct Targets {
  float *d2[3], *value[3];
  int count = 0;
  Targets(const Planes &planes, u8 channels) {
    for (size_t k = 0; k < 3; ++k)
      if ((channels >> k & 1) != 0) d2[count] = planes.d2[k], value[count++] = planes.value[k];
  }
};

// Of two pieces at the same distance (to a shared end, computed alike), the
// one the pixel lies more squarely in front of has the larger pseudo-distance.
template <class W, int Count, class V = typename W::V, class M = typename W::M>
[[gnu::always_inline]] inline void keep_nearest(const Targets &targets, size_t at, V d2, V value,
                                                M within) {
  const V tie = d2 * 1e-5f, size = magnitude(value);
  for (int c = 0; c < Count; ++c) {
    float *const pd2 = targets.d2[c] + at, *const pv = targets.value[c] + at;
    const V old_d2 = load<V>(pd2), old_value = load<V>(pv);
    const M nearer = (d2 < old_d2 - tie) | ((d2 <= old_d2 + tie) & (size > magnitude(old_value)));
    const M take = nearer & within;
    store(pd2, take ? d2 : old_d2);
    store(pv, take ? value : old_value);
  }
}

// Narrows [lo, hi] to the x where c_lo ≤ (x - origin) × m ≤ c_hi, on four
// rows at once.
void narrow(Lanes &lo, Lanes &hi, float m, Lanes c_lo, Lanes c_hi, float origin) {
  if (std::fabs(m) < 1e-6f) {
    const Mask empty = (c_lo > 0) | (c_hi < 0);
    lo = empty ? Lanes{} + 1 : lo, hi = empty ? Lanes{} : hi;
    return;
  }
  const Lanes at_lo = origin + c_lo / m, at_hi = origin + c_hi / m;
  // Chosen without a branch: the signs of the pieces' figures are a coin toss.
  const Mask falling = Lanes{} + m < 0;
  const Lanes x0 = (falling ? at_hi : at_lo) - 1e-3f, x1 = (falling ? at_lo : at_hi) + 1e-3f;
  lo = lo < x0 ? x0 : lo, hi = x1 < hi ? x1 : hi;
}

/// Where a piece stops at a joint within a curve: the pixels p with
/// m·(p - at) ≥ -k_seam (past the start) or ≤ k_seam (before the end).
struct Joint {
  Point m, at;
  bool limits = false;
};

// As in the single-channel field: the bisector of the two pieces divides the
// pixels between them exactly where both are long enough that no pixel
// within reach past it is nearer the other; else the piece goes on to reach.
Joint joint(Point from, Point to, float shorter, Point at, float reach) {
  const float cos_turn = dot(from, to), sin_turn = std::fabs(from.x * to.y - from.y * to.x);
  const float tan_half = sin_turn / (1 + cos_turn);
  const float past = reach * (sin_turn + std::max(0.0f, -cos_turn) * tan_half);
  if (shorter <= 0 || cos_turn <= -0.85f || shorter < past) return {};
  return {(from + to) * (1 / length(from + to)), at, true};
}

/// Measures row j's pixels from i within `reach` of the piece, a block at a
/// time, into its Count channels' planes.
template <class W, bool extend_start, bool extend_end, int Count>
[[gnu::always_inline]] inline void paint_row(const EdgePiece &piece, float reach,
                                             const Targets &targets, size_t row, int j, int i,
                                             int to) {
  using V = typename W::V;
  using M = typename W::M;
  // The piece's figures at hand, as the stores into the planes might
  // otherwise change them for the compiler.
  const float ax = piece.a.x, to_b_x = piece.a.x - piece.b.x, len = piece.len;
  const float dy = float(j) - piece.a.y, dy_end = float(j) - piece.b.y;
  const float dir_x = piece.dir.x, dir_dy = dy * piece.dir.y;
  const float inward_x = piece.inward.x, inward_dy = dy * piece.inward.y;
  const float start_x = piece.start_inward.x, start_dy = dy * piece.start_inward.y;
  const float end_x = piece.end_inward.x, end_dy = dy_end * piece.end_inward.y;
  const float dy2 = dy * dy, dy_end2 = dy_end * dy_end;
  const V reach2 = V{} + reach * reach;
  for (; i <= to; i += W::width) {
    // Whole blocks of four: pixels past the span get their true distance to the piece too.
    const V wx = float(i) - ax + W::offsets, vx = wx + to_b_x;
    const V along = wx * dir_x + dir_dy;
    const V across = wx * inward_x + inward_dy;
    const M before = along<0, after = along> len;
    const V to_a = wx * wx + dy2, to_b = vx * vx + dy_end2;
    const V d2 = before ? to_a : after ? to_b : across * across;
    V past_start, past_end;
    if constexpr (!extend_start || !extend_end) {
      const V point = negated_where(sqrt_lanes(d2), across < 0);
      past_start = point, past_end = point;
    }
    if constexpr (extend_start) past_start = wx * start_x + start_dy;
    if constexpr (extend_end) past_end = vx * end_x + end_dy;
    const V value = before ? past_start : after ? past_end : across;
    keep_nearest<W, Count>(targets, row + size_t(i), d2, value, (d2 <= reach2) & reached<W>(i, to));
  }
}

/// Measures the pixels within `reach` of the piece, row by row, on its side
/// of the joints with its neighbours.
template <class W, bool extend_start, bool extend_end>
[[gnu::always_inline]] inline void paint_piece(const EdgePiece &piece, float reach,
                                               Planes &planes) {
  const Point a = piece.a, b = piece.b;
  const Joint start =
      joint(piece.previous_dir, piece.dir, std::min(piece.len, piece.previous_len), a, reach);
  const Joint end = joint(piece.dir, piece.next_dir, std::min(piece.len, piece.next_len), b, reach);
  const int j0 = std::max(0, to_int(std::ceil(std::min(a.y, b.y) - reach)));
  const int j1 = std::min(planes.rows - 1, to_int(std::floor(std::max(a.y, b.y) + reach)));
  const Targets targets(planes, piece.channels);
  // Each row's span, four rows at once.
  for (int j = j0; j <= j1; j += k_block) {
    const Lanes dy = float(j) - a.y + k_lane_offsets, dy_end = float(j) - b.y + k_lane_offsets;
    Lanes lo = Lanes{} + (std::min(a.x, b.x) - reach), hi = Lanes{} + (std::max(a.x, b.x) + reach);
    narrow(lo, hi, piece.inward.x, -reach - dy * piece.inward.y, reach - dy * piece.inward.y, a.x);
    narrow(lo, hi, piece.dir.x, -reach - dy * piece.dir.y, piece.len + reach - dy * piece.dir.y,
           a.x);
    if (start.limits) narrow(lo, hi, start.m.x, -k_seam - dy * start.m.y, Lanes{} + 1e9f, a.x);
    if (end.limits) narrow(lo, hi, end.m.x, Lanes{} - 1e9f, k_seam - dy_end * end.m.y, b.x);
    for (int l = 0; l < k_block && j + l <= j1; ++l) {
      if (hi[l] < 0) continue;
      const int i0 = std::max(0, ceil_int(lo[l]));
      const size_t row = size_t(j + l) * size_t(planes.stride);
      const int i1 = std::min(planes.width - 1, to_int(hi[l]));
      // Known while compiling, the channels' loop leaves the figures in registers.
      if (targets.count == 3)
        paint_row<W, extend_start, extend_end, 3>(piece, reach, targets, row, j + l, i0, i1);
      else if (targets.count == 2)
        paint_row<W, extend_start, extend_end, 2>(piece, reach, targets, row, j + l, i0, i1);
      else if (targets.count == 1)
        paint_row<W, extend_start, extend_end, 1>(piece, reach, targets, row, j + l, i0, i1);
    }
  }
}

template <class W>
[[gnu::always_inline]] inline void paint_with(const EdgePiece &piece, float reach, Planes &planes) {
  if (piece.extend_start)
    piece.extend_end ? paint_piece<W, true, true>(piece, reach, planes)
                     : paint_piece<W, true, false>(piece, reach, planes);
  else
    piece.extend_end ? paint_piece<W, false, true>(piece, reach, planes)
                     : paint_piece<W, false, false>(piece, reach, planes);
}

#ifdef GLYPHMINT_EIGHT_LANES
// Compiled for AVX2 with everything it inlines; called only where the
// processor has it.
[[gnu::target("avx2")]] void paint_in_eight_lanes(const EdgePiece &piece, float reach,
                                                  Planes &planes) {
  paint_with<EightLanes>(piece, reach, planes);
}
#endif

} // namespace

void paint(const EdgePiece &piece, float reach, Planes &planes) {
#ifdef GLYPHMINT_EIGHT_LANES
  if (has_eight_lanes()) return paint_in_eight_lanes(piece, reach, planes);
#endif
  paint_in_four_lanes(piece, reach, planes);
}

void paint_in_four_lanes(const EdgePiece &piece, float reach, Planes &planes) {
  paint_with<FourLanes>(piece, reach, planes);
}

} // namespace outline
