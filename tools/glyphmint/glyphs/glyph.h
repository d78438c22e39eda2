// The baker's rasterisation of one code point into an 8-bit bitmap of its
// mode (coverage, monochrome, a distance field of either kind, or colour)
// with its placement metrics, loaded by the shared rule of its mode.
// Every failure here is a fatal stop: a critical log line, then abort.
#pragma once

#include "shared/glyph-loading.h"
#include "tools/glyphmint/glyphs/ft-stop.h"
#include "tools/glyphmint/glyphs/raster-glyph.h"
#include "tools/glyphmint/settings.h"

struct CellBudget;

/// Sizes the face for a bake of the settings at `size` pixels (size_face) and
/// gives the style its glyphs are loaded in; a fatal stop on failure.
[[nodiscard]] GlyphStyle set_bake_size(FT_Face face, int size, const Glyphmint &settings);

/// Rasterises `code` from the face at its current size in the style. A code
/// point the font lacks, a failed FreeType call or a bitmap of another pixel
/// mode than the style's is a fatal stop. A budget, when given, sees the
/// bitmap's size before it is copied, so a glyph that can never be packed
/// stops the run before it is duplicated.
[[nodiscard]] RasterGlyph rasterise_glyph(FT_Face face, int code, GlyphStyle style = {},
                                          CellBudget *budget = nullptr);

/// The same for a glyph of the face by its index, which no code point need
/// reach; its code is left 0 for the caller to set.
[[nodiscard]] RasterGlyph rasterise_glyph_index(FT_Face face, FT_UInt glyph_index,
                                                GlyphStyle style = {},
                                                CellBudget *budget = nullptr);
