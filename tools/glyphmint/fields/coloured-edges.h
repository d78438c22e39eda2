// A glyph outline's edges coloured for a multi-channel distance field: each
// straight piece of the flattened outline carries the channels (red, green,
// blue) whose distances it sets, chosen so that the two edges meeting at a
// sharp corner share exactly one, and says what lies past its ends.
#pragma once

#include "tools/glyphmint/fields/outline-polylines.h"

#include <memory>

namespace outline {

inline constexpr u8 k_red = 1, k_green = 2, k_blue = 4, k_white = 7;
/// The colours of edges at corners: any two share exactly one channel.
inline constexpr u8 k_cyan = k_green | k_blue, k_magenta = k_red | k_blue,
                    k_yellow = k_red | k_green;
inline constexpr u8 k_corner_colours[] = {k_cyan, k_magenta, k_yellow};

/// A straight piece of an edge that bounds the filled region.
struct EdgePiece {
  Point a, b;
  Point dir;    ///< unit, from a to b
  Point inward; ///< unit normal toward the filled side
  float len = 0;
  u8 channels = k_white;
  /// Past an end that closes a coloured edge (a curve or line of the outline,
  /// or a run of one colour), distances are measured to the edge's tangent
  /// line there, given by its inward normal; past any other end, to the end.
  bool extend_start = false, extend_end = false;
  Point start_inward, end_inward;
  /// Where the piece continues a curve's previous piece, or goes on into its
  /// next, that piece's direction and length (else length 0): pixels past
  /// the joint are nearer the neighbour, or as near.
  Point previous_dir, next_dir;
  float previous_len = 0, next_len = 0;
};

/// The coloured pieces, and the flattened outline with its fill rule to tell
/// whether any point is filled.
struct ColouredOutline {
  std::vector<EdgePiece> pieces;
  Polylines lines;
  std::unique_ptr<FillIndex> fill;
};

/// The outline (26.6 pixels, y up) on the grid of `width` x `rows` pixels
/// whose top left corner is at (left, top) in whole pixels, as flatten()
/// places it. Where contours overlap, only the parts of edges that bound the
/// filled region are kept. 0, or FT_Outline_Decompose's error.
[[nodiscard]] FT_Error coloured_outline(const FT_Outline &outline, i32 left, i32 top, int width,
                                        int rows, ColouredOutline &out);

} // namespace outline
