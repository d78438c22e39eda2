// How a multi-channel field is made. We write it ourselves because the
// published generators take 150 times a coverage bake and leave holes where
// contours overlap. The edges are coloured (coloured-edges.h); each piece then
// lowers, for each of its channels, the distance held by the pixels within
// reach of it (channel-planes.h). A channel keeps the piece nearest to the pixel (of two at the
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

#include "tools/glyphmint/fields/channel-planes.h"
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

// The single-channel field's failure as this call's: the same outline's
// reading fails alike, the other failures are this call's own.
FtFailure as_multi_channel(FtFailure failure) {
  if (failure.error == 0) return failure;
  const bool decompose =
      failure.error != FT_Err_Invalid_Argument && failure.error != FT_Err_Raster_Overflow;
  return {failure.error, decompose ? k_call_decompose : k_call_field};
}

// A wrong median this close to the outline is filtering's blur, not an artefact.
constexpr float k_clash_margin = 0.5f;
// The true field is good to about this much at texels, and between them
// their linear blend, away from corners.
constexpr float k_suspect = 0.25f;
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
  const Lanes rg_low = shuffled<0, 4, 1, 5>(r, g), rg_high = shuffled<2, 6, 3, 7>(r, g);
  const Lanes gb = shuffled<1, 5, 0, 0>(g, b);
  store(out, shuffled<0, 1, 4, 2>(rg_low, b));
  store(out + 4, shuffled<0, 1, 4, 5>(gb, rg_high));
  store(out + 8, shuffled<6, 2, 3, 7>(rg_high, b));
}

// Texels t to t + n - 1 (n at most a block) of row j: their true distances
// and their channels' distances clamped to the spread, those no edge reached
// saturated on the true distance's side, with their sides; and whether their
// medians lie on the wrong side of the true field where it is sure of it.
void texel_values(const Planes &planes, const u8 *truth, float spread, size_t j, size_t i, size_t t,
                  size_t n, Values &v, TexelSides &sides, u8 *wrong) {
  const Mask levels = widened(truth + t, n);
  const Lanes distance = __builtin_convertvector(levels - 128, Lanes) * spread / 128;
  const Lanes saturated = distance >= 0 ? Lanes{} + spread : Lanes{} - spread;
  Lanes channel[3];
  for (size_t k = 0; k < 3; ++k) {
    const size_t at = j * size_t(planes.stride) + i;
    const Lanes d2 = load(planes.d2[k] + at), value = load(planes.value[k] + at);
    const Lanes clamped = value < -spread ? -spread : spread < value ? spread : value;
    channel[k] = d2 < k_no_piece ? clamped : saturated;
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
    sides.set_block(t, channel[0], channel[1], channel[2], distance);
  } else {
    for (size_t l = 0; l < n; ++l) {
      v.truth[t + l] = distance[l];
      for (size_t k = 0; k < 3; ++k) v.rgb[3 * (t + l) + k] = channel[k][l];
      sides.update(v, t + l);
    }
  }
  if (n == k_block)
    store_bytes(wrong + t, misjudged & 1);
  else
    for (size_t l = 0; l < n; ++l) wrong[t + l] = misjudged[l] != 0;
}

void values_of(const Planes &planes, const DistanceField &truth, float spread, Values &v,
               TexelSides &sides, std::vector<u8> &wrong) {
  const size_t width = size_t(planes.width), count = width * size_t(planes.rows);
  v.width = planes.width, v.rows = planes.rows;
  v.rgb.resize(count * 3), v.truth.resize(count), wrong.resize(count);
  sides.resize(count);
  for (size_t j = 0; j < size_t(planes.rows); ++j)
    for (size_t i = 0; i < width; i += k_block)
      texel_values(planes, truth.pixels.data(), spread, j, i, j * width + i,
                   std::min(size_t(k_block), width - i), v, sides, wrong.data());
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
  const TexelSides::Alike alike = sides.alike(t, offset, n);
  return ~(alike.one_side | alike.order) & ((u32(1) << n) - 1);
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

FtFailure multi_channel_field_failure(FT_GlyphSlot slot, int spread) {
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return {FT_Err_Invalid_Glyph_Format, k_call_field};
  return as_multi_channel(distance_field_failure(slot, spread));
}

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
  if (const FtFailure failure = distance_field(outline, spread, truth); failure.error != 0)
    return as_multi_channel(failure);
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
  TexelSides &sides = scratch.sides;
  values_of(planes, truth, float(spread), values, sides, scratch.fix);
  correct(edges, values, sides, scratch.fix);
  correct_between_texels(*edges.fill, values, sides);
  out.place = place;
  out.image = Image::unfilled(width, rows, alpha ? 4 : 3);
  write_image(values, truth, float(spread), out.image);
  scratch.trim();
  return {};
}
