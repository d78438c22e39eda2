// The correction of a multi-channel field against what a GPU draws of it:
// bilinear sampling of three channels can put the median on the wrong side
// of the outline between two texels that are each right, so the field is
// judged at points between its texels against the outline's fill itself.
#pragma once

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
  /// Found anew for a field, keeping the vectors' storage.
  void reset(const ChannelDistances &field);
  /// Takes in a change of texel t's distances.
  void update(const ChannelDistances &field, size_t t);
  [[nodiscard]] bool one_side(size_t a, size_t b) const {
    return side[a] != 0 && side[a] == side[b];
  }
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
