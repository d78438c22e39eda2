// Signed distance fields of glyph outlines, for the sdf render mode: the
// outline the coverage bake rasterises, given as distances to its edge.
#pragma once

#include "shared/glyph-loading.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <vector>

/// Where a glyph's field sits, as a coverage bitmap does: its size, the pen
/// position to its left column and the baseline up to its top row.
struct FieldPlacement {
  u32 width = 0;
  u32 rows = 0;
  i32 bearing_x = 0;
  i32 bearing_y = 0;
};

/// A glyph's field. Each byte is 128 + 128 × d / spread, rounded and clamped
/// to 0..255, where d is the distance in pixels from the pixel's centre to
/// the outline, positive inside.
struct DistanceField : FieldPlacement {
  std::vector<u8> pixels; ///< width x rows bytes, top row first; empty for an empty glyph
};

/// The field's placement for an outline as FT_Load_Glyph(FT_LOAD_NO_HINTING)
/// leaves it: the bitmap FreeType's normal render gives that outline, grown by
/// `spread` pixels on every side. An empty bitmap stays empty, with its
/// bearings. Cheap: check the size against a budget before making the field.
[[nodiscard]] FieldPlacement distance_field_placement(const FT_Outline &outline, int spread);

/// Makes the field of the slot's outline, right after FT_Load_Glyph, with
/// `spread` from 1 to 32 pixels. We compute it ourselves because FreeType's
/// sdf renderer takes hundreds of times as long as a coverage render, and in
/// Debian 12's FreeType its overlaps mode reads freed memory and its bsdf
/// renderer fails on empty glyphs. Fails, leaving `out` empty, on a slot that
/// holds no outline (FT_Err_Invalid_Glyph_Format), a spread out of range
/// (FT_Err_Invalid_Argument), a bitmap too large for FreeType's rasteriser
/// (FT_Err_Raster_Overflow, as its normal render does) and an outline
/// FT_Outline_Decompose refuses.
[[nodiscard]] FtFailure distance_field(FT_GlyphSlot slot, int spread, DistanceField &out);

/// The same for an outline in 26.6 pixel coordinates, y up, filled by the
/// non-zero winding rule or, with FT_OUTLINE_EVEN_ODD_FILL, the even-odd rule.
[[nodiscard]] FtFailure distance_field(const FT_Outline &outline, int spread, DistanceField &out);

/// How distance_field() would fail on the slot, found without making the
/// field: the outline of a slot that passes makes its field without failing,
/// whenever that is made.
[[nodiscard]] FtFailure distance_field_failure(FT_GlyphSlot slot, int spread);
