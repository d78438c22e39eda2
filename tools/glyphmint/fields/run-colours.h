// Colours for the runs of edges between an outline's corners that keep thin
// strokes: two runs of one colour within a pixel or two of each other (the
// sides of a stem, a crossbar, a serif) share their channels, and the median
// then sees only the nearer of them, as a single-channel field does, which
// loses a stroke narrower than the texels' spacing. The trap: only contours
// with two or more corners have runs to choose; the others keep their colours.
#pragma once

#include "tools/glyphmint/fields/coloured-edges.h"

namespace outline {

/// The pieces [first, end) of one run: one colour between two corners.
struct Run {
  size_t first = 0, end = 0;
};

/// Recolours the runs of each contour, listed in order around it (contour c
/// holds runs [contour_ends[c - 1], contour_ends[c])), cyan, magenta and
/// yellow still switching at every corner, so that as few runs lying close
/// together as can be share a colour. Leaves the colours as they are when no
/// two runs lie close.
void separate_close_runs(std::vector<EdgePiece> &pieces, const std::vector<Run> &runs,
                         const std::vector<size_t> &contour_ends);

} // namespace outline
