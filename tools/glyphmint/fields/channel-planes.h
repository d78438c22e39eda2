// Each channel's nearest coloured edge piece, pixel by pixel: the planes
// that painting a glyph's pieces fills, from which a multi-channel field's
// distances are read.
#pragma once

#include "tools/glyphmint/fields/coloured-edges.h"
#include "tools/glyphmint/fields/lanes.h"

#include <algorithm>
#include <vector>

namespace outline {

/// The squared distance of a pixel no piece has reached.
constexpr float k_no_piece = 1e30f;

/// Each channel's nearest piece so far, per pixel: its squared distance and
/// pseudo-distance, in the thread's scratch. Rows are padded so that a block
/// of eight may start at any pixel. A value is only read where its d2 is set.
struct Planes {
  static constexpr int k_row_padding = 7;
  int width = 0, rows = 0, stride = 0;
  float *d2[3], *value[3];
  Planes(int width_, int rows_, std::vector<float> &scratch)
      : width(width_), rows(rows_), stride(width_ + k_row_padding) {
    const size_t plane = size_t(stride) * size_t(rows);
    scratch.resize(6 * plane);
    std::fill_n(scratch.data(), 3 * plane, k_no_piece);
    for (size_t k = 0; k < 3; ++k)
      d2[k] = scratch.data() + k * plane, value[k] = scratch.data() + (3 + k) * plane;
  }
};

/// Lowers, for each of the piece's channels, the distance held by the
/// pixels within `reach` of it, on its side of the joints with its
/// neighbours: the planes keep each pixel's nearest piece per channel.
void paint(const EdgePiece &piece, float reach, Planes &planes);
/// paint() in blocks of four pixels whatever the processor: what the wider
/// blocks must equal.
void paint_in_four_lanes(const EdgePiece &piece, float reach, Planes &planes);

} // namespace outline
