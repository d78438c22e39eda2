// How a multi-channel field is made. We write it ourselves because the
// published generators take 150 times a coverage bake and leave holes where
// contours overlap. The edges are coloured (coloured-edges.h); each piece then
// lowers, for each of its channels, the distance held by the pixels within
// reach of it. A channel keeps the piece nearest to the pixel (of two at the
// same distance, as at a corner, the one the pixel lies more squarely in
// front of) and stores its pseudo-distance: the signed distance to the piece
// or, past the end of a coloured edge, to that edge's tangent line there. The
// single-channel field (distance-field.h) is made too: it gives the sign of
// channels no edge reaches, the corrections and mtsdf's alpha.
//
// Where this differs from the published method, and why:
// - Curves are measured as chords that straddle them within 1/64 pixel
//   rather than solved exactly, with their true tangents past their ends: far
//   cheaper, and closer than the bytes' step at the usual spreads. (Chords
//   within 1/16, as the single-channel field's, cost a third of the corners'
//   gain at 24 px.)
// - Only pixels within the spread of a piece are measured, and a curve's
//   pieces stop at the bisectors of their joints, so the work is the
//   outline's neighbourhood rather than pixels times edges; a channel that no
//   edge reaches saturates on the side the true field says.
// - Which side of an edge is inside comes from the fill, not the contour's
//   direction, and where contours overlap only the parts of edges that bound
//   the filled region count (see coloured-edges.cpp).
// - Error correction checks the reconstruction exactly rather than by
//   thresholds: a texel whose median lies on the wrong side of the true field,
//   and any two neighbours (across, down and diagonally) between which
//   bilinear filtering makes a median on the wrong side of the outline, at a
//   place more than half a pixel from it, take the true distance in all three
//   channels. Corners need no protection: their texels reconstruct correctly.
//   Then the field is judged between its texels as a GPU draws it
//   (sampled-correction.h): near a wrong median closer to the outline than
//   that, as where a crossing or a crossbar is cut, a texel takes the true
//   distance when that draws its cells closer to the fill; and where a stroke
//   thinner than a texel is lost (as where the bar of $ meets the S, whose
//   edges take the channels that kept the bar's sides apart), texels take the
//   channels of their neighbours along it.
// - Runs of edges lying close together (a thin stroke's sides) get different
//   colours where a contour's corners allow (run-colours.h), so that the
//   median keeps strokes narrower than the texels' spacing.
#include "tools/glyphmint/fields/multi-channel-field.h"

#include "tools/glyphmint/fields/coloured-edges.h"
#include "tools/glyphmint/fields/lanes.h"
#include "tools/glyphmint/fields/sampled-correction.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

using namespace outline;
using namespace outline::lanes;

const char *const k_call_field = "multi_channel_field(slot, spread, field)";
const char *const k_call_decompose = "FT_Outline_Decompose(&slot->outline, &funcs, &reader)";

// A wrong median this close to the outline is filtering's blur, not an artefact.
constexpr float k_clash_margin = 0.5f;
// The true field is good to about this much at texels, and between them
// their linear blend, away from corners.
constexpr float k_suspect = 0.25f;
constexpr float k_none = 1e30f;
// How far pieces overlap at a joint, so that rounding opens no gap.
constexpr float k_seam = 1.0f / 16;

int to_int(float v) {
  return static_cast<int>(v);
}

/// Each channel's nearest piece so far, per pixel: its squared distance and
/// pseudo-distance, in the thread's scratch. Rows are padded so that a block
/// may start at any pixel. A value is only read where its d2 is set.
struct Planes {
  int width = 0, rows = 0, stride = 0;
  float *d2[3], *value[3];
  Planes(int width_, int rows_, std::vector<float> &scratch)
      : width(width_), rows(rows_), stride(width_ + k_block - 1) {
    const size_t plane = size_t(stride) * size_t(rows);
    scratch.resize(6 * plane);
    std::fill_n(scratch.data(), 3 * plane, k_none);
    for (size_t k = 0; k < 3; ++k)
      d2[k] = scratch.data() + k * plane, value[k] = scratch.data() + (3 + k) * plane;
  }
};

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
[[gnu::always_inline]] inline void keep_nearest(const Targets &targets, size_t at, Lanes d2,
                                                Lanes value, Mask within) {
  const Lanes tie = d2 * 1e-5f, size = magnitude(value);
  for (int c = 0; c < targets.count; ++c) {
    float *const pd2 = targets.d2[c] + at, *const pv = targets.value[c] + at;
    const Lanes old_d2 = load(pd2), old_value = load(pv);
    const Mask nearer =
        (d2 < old_d2 - tie) | ((d2 <= old_d2 + tie) & (size > magnitude(old_value)));
    const Mask take = nearer & within;
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

/// Measures row j's pixels from i within `reach` of the piece, a block at a time.
template <bool extend_start, bool extend_end>
void paint_row(const EdgePiece &piece, float reach, const Targets &targets, size_t row, int j,
               int i, int to) {
  // The piece's figures at hand, as the stores into the planes might
  // otherwise change them for the compiler.
  const float ax = piece.a.x, to_b_x = piece.a.x - piece.b.x, len = piece.len;
  const float dy = float(j) - piece.a.y, dy_end = float(j) - piece.b.y;
  const float dir_x = piece.dir.x, dir_dy = dy * piece.dir.y;
  const float inward_x = piece.inward.x, inward_dy = dy * piece.inward.y;
  const float start_x = piece.start_inward.x, start_dy = dy * piece.start_inward.y;
  const float end_x = piece.end_inward.x, end_dy = dy_end * piece.end_inward.y;
  const float dy2 = dy * dy, dy_end2 = dy_end * dy_end;
  const Lanes reach2 = Lanes{} + reach * reach;
  for (; i <= to; i += k_block) {
    // Whole blocks: pixels past the span get their true distance to the piece too.
    const Lanes wx = float(i) - ax + k_lane_offsets, vx = wx + to_b_x;
    const Lanes along = wx * dir_x + dir_dy;
    const Lanes across = wx * inward_x + inward_dy;
    const Mask before = along<0, after = along> len;
    const Lanes to_a = wx * wx + dy2, to_b = vx * vx + dy_end2;
    const Lanes d2 = before ? to_a : after ? to_b : across * across;
    Lanes past_start, past_end;
    if constexpr (!extend_start || !extend_end) {
      const Lanes point = negated_where(sqrt_lanes(d2), across < 0);
      past_start = point, past_end = point;
    }
    if constexpr (extend_start) past_start = wx * start_x + start_dy;
    if constexpr (extend_end) past_end = vx * end_x + end_dy;
    const Lanes value = before ? past_start : after ? past_end : across;
    keep_nearest(targets, row + size_t(i), d2, value, d2 <= reach2);
  }
}

/// Measures the pixels within `reach` of the piece, row by row, on its side
/// of the joints with its neighbours.
template <bool extend_start, bool extend_end>
void paint(const EdgePiece &piece, float reach, Planes &planes) {
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
      paint_row<extend_start, extend_end>(piece, reach, targets,
                                          size_t(j + l) * size_t(planes.stride), j + l, i0,
                                          std::min(planes.width - 1, to_int(hi[l])));
    }
  }
}

void paint(const EdgePiece &piece, float reach, Planes &planes) {
  if (piece.extend_start)
    piece.extend_end ? paint<true, true>(piece, reach, planes)
                     : paint<true, false>(piece, reach, planes);
  else
    piece.extend_end ? paint<false, true>(piece, reach, planes)
                     : paint<false, false>(piece, reach, planes);
}

using Values = ChannelDistances;

// The n (at most a block) bytes from p.
Mask widened(const u8 *p, size_t n) {
#ifdef __SSE2__
  if (n == k_block) {
    u32 word;
    std::memcpy(&word, p, sizeof word);
    const __m128i zero = _mm_setzero_si128();
    const __m128i bytes = _mm_cvtsi32_si128(int(word));
    return Mask(_mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero));
  }
#endif
  Mask out{};
  for (size_t l = 0; l < n; ++l) out[l] = p[l];
  return out;
}

// Four texels' channels stored as ChannelDistances keeps them, texel by texel.
void store_interleaved(float *out, const Lanes (&channel)[3]) {
  const Lanes &r = channel[0], &g = channel[1], &b = channel[2];
  const Lanes rg_low = __builtin_shuffle(r, g, Mask{0, 4, 1, 5});
  const Lanes rg_high = __builtin_shuffle(r, g, Mask{2, 6, 3, 7});
  const Lanes gb = __builtin_shuffle(g, b, Mask{1, 5, 0, 0});
  store(out, __builtin_shuffle(rg_low, b, Mask{0, 1, 4, 2}));
  store(out + 4, __builtin_shuffle(gb, rg_high, Mask{0, 1, 4, 5}));
  store(out + 8, __builtin_shuffle(rg_high, b, Mask{6, 2, 3, 7}));
}

// Texels t to t + n - 1 (n at most a block) of row j: their true distances
// and their channels' distances clamped to the spread, those no edge reached
// saturated on the true distance's side; and whether their medians lie on
// the wrong side of the true field where it is sure of it.
void texel_values(const Planes &planes, const u8 *truth, float spread, size_t j, size_t i, size_t t,
                  size_t n, Values &v, u8 *wrong) {
  const Mask levels = widened(truth + t, n);
  const Lanes distance = __builtin_convertvector(levels - 128, Lanes) * spread / 128;
  const Lanes saturated = distance >= 0 ? Lanes{} + spread : Lanes{} - spread;
  Lanes channel[3];
  for (size_t k = 0; k < 3; ++k) {
    const size_t at = j * size_t(planes.stride) + i;
    const Lanes d2 = load(planes.d2[k] + at), value = load(planes.value[k] + at);
    const Lanes clamped = value < -spread ? -spread : spread < value ? spread : value;
    channel[k] = d2 < k_none ? clamped : saturated;
  }
  const Lanes low = channel[0] < channel[1] ? channel[0] : channel[1];
  const Lanes high = channel[0] < channel[1] ? channel[1] : channel[0];
  const Lanes median = high < channel[2] ? high : channel[2];
  const Mask misplaced = ((low < median ? median : low) >= 0) != (distance >= 0);
  const Mask sure = magnitude(distance) > k_suspect;
  const Mask misjudged = misplaced & sure;
  if (n == k_block) {
    store(v.truth.data() + t, distance);
    store_interleaved(v.at(t), channel);
  } else {
    for (size_t l = 0; l < n; ++l) {
      v.truth[t + l] = distance[l];
      for (size_t k = 0; k < 3; ++k) v.rgb[3 * (t + l) + k] = channel[k][l];
    }
  }
  for (size_t l = 0; l < n; ++l) wrong[t + l] = misjudged[l] != 0;
}

void values_of(const Planes &planes, const DistanceField &truth, float spread, Values &v,
               std::vector<u8> &wrong) {
  const size_t width = size_t(planes.width), count = width * size_t(planes.rows);
  v.width = planes.width, v.rows = planes.rows;
  v.rgb.resize(count * 3), v.truth.resize(count), wrong.resize(count);
  for (size_t j = 0; j < size_t(planes.rows); ++j)
    for (size_t i = 0; i < width; i += k_block)
      texel_values(planes, truth.pixels.data(), spread, j, i, j * width + i,
                   std::min(size_t(k_block), width - i), v, wrong.data());
}

/// Whether the outline's fill says otherwise than a median at `p`, more than
/// k_clash_margin from the outline.
bool wrong_there(const ColouredOutline &edges, Point p, float median_value) {
  if (edges.fill->filled(p) == (median_value >= 0)) return false;
  for (const EdgePiece &piece : edges.pieces) {
    const Point w = p - piece.a;
    const float along = std::clamp(dot(w, piece.dir), 0.0f, piece.len);
    const Point off = w - piece.dir * along;
    if (dot(off, off) <= k_clash_margin * k_clash_margin) return false;
  }
  return true;
}

/// Whether bilinear filtering between two neighbouring texels makes a wrong
/// median: where two channels cross, the median has its extremes.
bool clash(const ColouredOutline &edges, const Values &v, size_t ta, size_t tb, Point pa,
           Point pb) {
  const float *a = v.at(ta), *b = v.at(tb);
  // The pairs of channels red and green, red and blue, green and blue, a lane each.
  const Lanes ap{a[0], a[0], a[1], 0}, aq{a[1], a[2], a[2], 0};
  const Lanes bp{b[0], b[0], b[1], 0}, bq{b[1], b[2], b[2], 0};
  const Lanes da = ap - aq, db = bp - bq;
  const Mask crossing = ((da < 0) & (db > 0)) | ((da > 0) & (db < 0));
  const Lanes t = da / (da - db);
  // Where two channels meet, they are the median.
  const Lanes m = ap + t * (bp - ap);
  const Lanes truth = v.truth[ta] + t * (v.truth[tb] - v.truth[ta]);
  // The linear true distance is close enough to find suspects, not to judge them.
  const Mask suspect = crossing & ((m >= 0) != (truth >= 0)) & (magnitude(truth) > k_suspect);
  for (int lanes = lanes_set(suspect); lanes != 0; lanes &= lanes - 1) {
    const int l = __builtin_ctz(unsigned(lanes));
    if (wrong_there(edges, pa + (pb - pa) * t[l], m[l])) return true;
  }
  return false;
}

// Of the n (at most 16) texels from t, those, as bits, that bilinear
// filtering towards the texel `offset` on may draw on the wrong side: they
// are not all on one side, and their channels are ordered differently.
u32 may_clash(const TexelSides &sides, size_t t, ptrdiff_t offset, size_t n) {
  const u8 *const side = sides.side.data() + t, *const order = sides.order.data() + t;
#ifdef __SSE2__
  if (n == 16) {
    const auto load16 = [](const u8 *p) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    };
    const __m128i side_a = load16(side), side_b = load16(side + offset);
    const __m128i one_side = _mm_andnot_si128(_mm_cmpeq_epi8(side_a, _mm_setzero_si128()),
                                              _mm_cmpeq_epi8(side_a, side_b));
    const __m128i alike = _mm_cmpeq_epi8(load16(order), load16(order + offset));
    return ~u32(_mm_movemask_epi8(_mm_or_si128(one_side, alike))) & 0xffff;
  }
#endif
  u32 out = 0;
  for (size_t l = 0; l < n; ++l)
    if (!sides.one_side(t + l, size_t(ptrdiff_t(t + l) + offset)) &&
        order[l] != order[ptrdiff_t(l) + offset])
      out |= u32(1) << l;
  return out;
}

// `fix` holds the texels whose medians are wrong (values_of) and takes
// those of the clashes.
void correct(const ColouredOutline &edges, Values &v, TexelSides &sides, std::vector<u8> &fix) {
  const size_t width = size_t(v.width), count = v.truth.size();
  // Each texel with its neighbours across, down and diagonally down.
  const struct { int di, dj; } neighbours[] = {{1, 0}, {0, 1}, {1, 1}, {-1, 1}};
  for (const auto [di, dj] : neighbours) {
    const ptrdiff_t offset = ptrdiff_t(dj) * ptrdiff_t(width) + di;
    const int i0 = std::max(0, -di), i1 = std::min(v.width, v.width - di);
    for (int j = 0; j + dj < v.rows; ++j) {
      for (int i = i0; i < i1; i += 16) {
        const size_t ta = size_t(j) * width + size_t(i);
        for (u32 pairs = may_clash(sides, ta, offset, size_t(std::min(16, i1 - i))); pairs != 0;
             pairs &= pairs - 1) {
          const int l = __builtin_ctz(pairs);
          const size_t a = ta + size_t(l), b = size_t(ptrdiff_t(a) + offset);
          const Point pa{float(i + l), float(j)};
          if (clash(edges, v, a, b, pa, {pa.x + float(di), pa.y + float(dj)}))
            fix[a] = fix[b] = true;
        }
      }
    }
  }
  // Few texels are fixed: memchr finds them fastest.
  const u8 *const first = fix.data(), *const end = first + count;
  for (const u8 *p = first; (p = static_cast<const u8 *>(std::memchr(p, 1, size_t(end - p))));
       ++p) {
    const size_t t = size_t(p - first);
    std::fill_n(v.at(t), 3, v.truth[t]);
    sides.update(v, t);
  }
}

// Ceiling, clamped to a byte, of each lane.
Mask bytes_above(Lanes x) {
  x = x > 0 ? x : 0;
  x = x < 255 ? x : 255;
  const Mask whole = __builtin_convertvector(x, Mask);
  // A true comparison is -1.
  return whole - (__builtin_convertvector(whole, Lanes) < x);
}

void write_image(const Values &v, const DistanceField &truth, float spread, Image &image) {
  const float scale = 128 / spread;
  const size_t channels = size_t(image.channels), count = v.truth.size();
  for (size_t t = 0; t < count; t += k_block) {
    // Outlines lie on a grid of 1/64 pixel, so at the usual spreads texels
    // often fall exactly halfway between two bytes. Drawers count 128 as
    // inside; rounding those halves up would fatten every such edge by half
    // a step, so they round toward the outside.
    const size_t n = std::min(size_t(k_block), count - t);
    float partial[3 * k_block] = {};
    const float *rgb = v.at(t);
    if (n < k_block) rgb = std::copy_n(rgb, 3 * n, partial) - 3 * n;
    Mask levels[3];
    for (size_t k = 0; k < 3; ++k) levels[k] = bytes_above(127.5f + scale * load(rgb + 4 * k));
    u8 bytes[4 * k_block];
#ifdef __SSE2__
    const __m128i words = _mm_packs_epi32(__m128i(levels[0]), __m128i(levels[1]));
    const __m128i last = _mm_packs_epi32(__m128i(levels[2]), _mm_setzero_si128());
    _mm_storeu_si128(reinterpret_cast<__m128i *>(bytes), _mm_packus_epi16(words, last));
#else
    for (size_t b = 0; b < 3 * k_block; ++b) bytes[b] = u8(levels[b / k_block][b % k_block]);
#endif
    u8 *const out = image.pixels.get() + t * channels;
    if (channels == 3) {
      // A copy of known length is a move or two, not a call.
      if (n == k_block)
        std::memcpy(out, bytes, 3 * k_block);
      else
        std::memcpy(out, bytes, 3 * n);
      continue;
    }
    for (size_t l = 0; l < n; ++l) {
      std::memcpy(out + 4 * l, bytes + 3 * l, 3);
      out[4 * l + 3] = truth.pixels[t + l];
    }
  }
}

/// Buffers a thread reuses from glyph to glyph: allocated anew for each
/// glyph, they were faulted in and zeroed page by page each time.
struct Scratch {
  std::vector<float> planes;
  Values values;
  std::vector<u8> fix;
  TexelSides sides;
  // Planes larger than a glyph of some 1000 x 1000 pixels are let go after it.
  static constexpr size_t k_kept = size_t(6) << 20;
  void trim() {
    if (planes.size() > k_kept) *this = Scratch{};
  }
};

} // namespace

FtFailure multi_channel_field(FT_GlyphSlot slot, int spread, bool alpha, MultiChannelField &out) {
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE) {
    out = MultiChannelField{};
    return {FT_Err_Invalid_Glyph_Format, k_call_field};
  }
  return multi_channel_field(slot->outline, spread, alpha, out);
}

FtFailure multi_channel_field(const FT_Outline &outline, int spread, bool alpha,
                              MultiChannelField &out) {
  out = MultiChannelField{};
  out.image.channels = alpha ? 4 : 3;
  DistanceField truth;
  if (const FtFailure failure = distance_field(outline, spread, truth); failure.error != 0) {
    // The same outline's flattening fails alike; the other failures are this call's.
    const bool decompose =
        failure.error != FT_Err_Invalid_Argument && failure.error != FT_Err_Raster_Overflow;
    return {failure.error, decompose ? k_call_decompose : k_call_field};
  }
  const FieldPlacement place = truth;
  if (truth.pixels.empty()) {
    out.place = place;
    return {};
  }
  const int width = int(place.width), rows = int(place.rows);
  ColouredOutline edges;
  if (const FT_Error e =
          coloured_outline(outline, place.bearing_x, place.bearing_y, width, rows, edges))
    return {e, k_call_decompose};

  thread_local Scratch scratch;
  Planes planes(width, rows, scratch.planes);
  const float reach = float(spread);
  for (const EdgePiece &piece : edges.pieces) paint(piece, reach, planes);
  Values &values = scratch.values;
  values_of(planes, truth, float(spread), values, scratch.fix);
  TexelSides &sides = scratch.sides;
  sides.reset(values);
  correct(edges, values, sides, scratch.fix);
  correct_between_texels(*edges.fill, values, sides);
  out.place = place;
  out.image = Image::unfilled(width, rows, alpha ? 4 : 3);
  write_image(values, truth, float(spread), out.image);
  scratch.trim();
  return {};
}
