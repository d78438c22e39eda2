// Colour glyphs for render = color: what FreeType draws with FT_LOAD_COLOR
// (colour bitmaps of CBDT and sbix strikes, COLR layers blended) as 8-bit RGBA
// with straight alpha, and every glyph without colour as white with its
// coverage as alpha, so that text and emoji share one atlas and one shader.
// Faces with bitmap strikes only are drawn from a strike (size_face picks it)
// and scaled to the size asked for.
#pragma once

#include "tools/glyphmint/glyphs/raster-glyph.h"

#include <ft2build.h>
#include FT_FREETYPE_H

struct CellBudget;

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
