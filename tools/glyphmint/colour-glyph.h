// Colour glyphs for render = color: what FreeType draws with FT_LOAD_COLOR
// (colour bitmaps of CBDT and sbix strikes, COLR layers blended) as 8-bit RGBA
// with straight alpha, and every glyph without colour as white with its
// coverage as alpha, so that text and emoji share one atlas and one shader.
// Faces with bitmap strikes only are drawn from a strike and scaled to the
// size asked for.
#pragma once

#include "tools/glyphmint/glyph.h"

/// Sizes the face for colour glyphs of `size` pixels and returns the strike
/// scale: 0 when FreeType renders at the size (a scalable face), else
/// size / the strike's pixels per em for a face of bitmap strikes only, whose
/// strike is the smallest at least `size` pixels per em, or the largest. A
/// fatal stop when FreeType can set neither.
[[nodiscard]] double set_colour_size(FT_Face face, int size);

/// Loads a glyph as RGBA. At strike scale 0 the bitmap is FreeType's: colour
/// made straight, colour = round(premultiplied * 255 / alpha), 0,0,0,0 where
/// alpha is 0, and coverage made white with the coverage as alpha. At a strike
/// scale s the strike bitmap of w x h becomes ceil(w s) x ceil(h s): each
/// pixel the area average of the premultiplied strike pixels that its
/// footprint [i / s, (i + 1) / s) x [j / s, (j + 1) / s) covers, clipped at
/// the bitmap's edge, then made straight; the bearings are the strike's
/// times s, rounded. A glyph FreeType holds as SVG, which it cannot draw
/// without a renderer the program does not have, is drawn from its outline
/// as coverage. The budget sees the bitmap's size before it is made.
[[nodiscard]] RasterGlyph load_colour_glyph(FT_Face face, FT_UInt glyph_index, double strike_scale,
                                            CellBudget *budget);

/// The advance of the glyph loaded last, in whole pixels: the strike's times
/// the strike scale, rounded.
[[nodiscard]] i32 strike_advance(FT_GlyphSlot slot, double strike_scale);
