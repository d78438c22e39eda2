// The correction of a multi-channel field against what a GPU draws of it:
// bilinear sampling of three channels can put the median on the wrong side
// of the outline between two texels that are each right, so the field is
// judged at points between its texels against the outline's fill itself.
#pragma once

#include "tools/glyphmint/fields/lanes.h"
#include "tools/glyphmint/fields/outline-polylines.h"

namespace outline {

/// A multi-channel field as distances in pixels, positive inside: three
/// channels a texel and the true distance, rows top first. Texel (i, j) has
/// its centre at point (i, j) of the outline's grid.
struct ChannelDistances {
  int width = 0;
  int rows = 0;
  std::vector<float> rgb;
  std::vector<float> truth;
  [[nodiscard]] float *at(size_t texel) { return rgb.data() + 3 * texel; }
  [[nodiscard]] const float *at(size_t texel) const { return rgb.data() + 3 * texel; }
};

/// What bilinear filtering between texels can do, per texel: `side` is 1
/// where the three channels and the true distance are all inside, 2 where
/// all are outside (between two texels of one side, the drawing cannot leave
/// it), else 0; `order` is the channels' order (where two texels order them
/// alike, no two channels cross between them and the median is their blend).
struct TexelSides {
  std::vector<u8> side;
  std::vector<u8> order;
  /// Sized for a field of `count` texels, keeping the vectors' storage;
  /// then each texel is set, by blocks or one by one (update()).
  void resize(size_t count) { side.resize(count + k_padding), order.resize(count + k_padding); }
  /// Texels t to t + 3 from their channels and true distances.
  void set_block(size_t t, lanes::Lanes r, lanes::Lanes g, lanes::Lanes b, lanes::Lanes truth) {
    using namespace lanes;
    // As update() finds each.
    const Lanes low = lower(lower(r, g), lower(b, truth));
    const Lanes high = higher(higher(r, g), higher(b, truth));
    const Mask sides = ((low >= 0) & 1) | ((low < 0) & (high < 0) & 2);
    const Mask orders = ((r < g) & 1) | ((r < b) & 2) | ((g < b) & 4);
    store_bytes(side.data() + t, sides), store_bytes(order.data() + t, orders);
  }
  /// Takes in a change of texel t's distances.
  void update(const ChannelDistances &field, size_t t);
  [[nodiscard]] bool one_side(size_t a, size_t b) const {
    return side[a] != 0 && side[a] == side[b];
  }
  /// Of the n (at most 16) texels from t, as bits: those on one side with
  /// the texel `offset` (at least 0) on from each, and those that order
  /// their channels as it does.
  struct Alike {
    u32 one_side = 0, order = 0;
  };
  [[nodiscard]] Alike alike(size_t t, ptrdiff_t offset, size_t n) const {
    const u32 lanes = (u32(1) << n) - 1;
#ifdef __SSE2__
    // Sixteen at once; the vectors hold k_padding more bytes for the last.
    const auto load16 = [](const u8 *p) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    };
    const __m128i s = load16(side.data() + t);
    const __m128i one = _mm_andnot_si128(_mm_cmpeq_epi8(s, _mm_setzero_si128()),
                                         _mm_cmpeq_epi8(s, load16(side.data() + t + offset)));
    const __m128i same_order =
        _mm_cmpeq_epi8(load16(order.data() + t), load16(order.data() + t + offset));
    return {u32(_mm_movemask_epi8(one)) & lanes, u32(_mm_movemask_epi8(same_order)) & lanes};
#else
    Alike out;
    for (size_t l = 0; l < n; ++l) {
      out.one_side |= u32(one_side(t + l, t + l + size_t(offset))) << l;
      out.order |= u32(order[t + l] == order[t + l + size_t(offset)]) << l;
    }
    return out;
#endif
  }
  static constexpr size_t k_padding = 16;
};

/// Gives texels the true distance in all three channels where that draws
/// the glyph more faithfully: near every place where the median drawn
/// between texels and the blend of their true distances disagree, the
/// drawing is compared with the fill on a grid of points. Corners the median
/// draws sharper than the true distance would keep their channels. Then
/// where a stroke about a texel wide is lost, texels take the channels of
/// neighbours that still draw it, when that draws their cells closer to the
/// fill and no more of the medians halfway to their neighbours wrong.
/// `sides` is the field's as it is.
void correct_between_texels(const FillIndex &fill, ChannelDistances &field,
                            const TexelSides &sides);

} // namespace outline
