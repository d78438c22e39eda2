// The one rule, per render mode, for how a face is sized for a pixel size,
// how a glyph is loaded and how its metrics are rounded. The baker bakes by
// it, and the font tool's --font checks a font and takes its advances by it,
// so a font is accepted by exactly the rule it was baked with.
// Failures come back as FreeType's error and the call's fixed text: each
// program words its own message.
#pragma once

#include "glyphmint/fnt.h"
#include "shared/font-face.h"

/// What the atlas holds: anti-aliased coverage (the default), monochrome
/// glyphs (0 or 255, from FreeType's hinted monochrome rasteriser; what
/// bitmap-only fonts need), a signed distance field, a multi-channel field
/// (with the true distance in alpha for Mtsdf), or colour glyphs.
enum class RenderMode { Coverage, Mono, Sdf, Msdf, Mtsdf, Color };

/// The kind a bake in that mode records in its .fnt, and back: the one place
/// the modes meet the reader's kinds.
[[nodiscard]] gm_kind atlas_kind(RenderMode mode);
[[nodiscard]] RenderMode render_mode(gm_kind kind);

/// The atlas's channels for a bake in that mode: 1, 3 or 4.
[[nodiscard]] inline i32 atlas_channels(RenderMode mode) {
  return gm_kind_channels(atlas_kind(mode));
}

/// How the glyphs of one face are loaded at one size.
struct GlyphStyle {
  RenderMode mode = RenderMode::Coverage;
  i32 spread = 0; ///< a distance field's, in pixels; 0 otherwise
  /// Colour glyphs drawn from a bitmap strike: the size over the strike's
  /// pixels per em; 0 when glyphs are rendered at the size.
  double strike_scale = 0;
};

/// A FreeType call that failed, named by a fixed text; error 0 for none.
struct FtFailure {
  FT_Error error = 0;
  const char *call = "";

  [[nodiscard]] bool failed() const { return error != 0; }
};

/// Sizes the face for the style's glyphs at `size` pixels and sets the style's
/// strike scale. Colour glyphs of a face with bitmap strikes only come from
/// the strike that is the smallest at least `size` pixels per em, or the
/// largest, scaled by size / its pixels per em; every other face is set to
/// the size. A size below 1 fails as FT_Set_Pixel_Sizes fails it, in every
/// mode.
[[nodiscard]] FtFailure size_face(FT_Face face, int size, GlyphStyle &style);

/// Loads a glyph into the face's slot as the mode loads it: unhinted outlines
/// for coverage (rendered by the caller), hinted for monochrome with the
/// font's bitmap strikes, outlines only for the fields (an outline font may
/// also hold strikes, and a field is made from the outline alone), and with
/// colour for colour glyphs, whose SVG documents, which FreeType cannot draw
/// without a renderer we do not have, give way to their outlines.
[[nodiscard]] FtFailure load_glyph(FT_Face face, FT_UInt glyph_index, RenderMode mode);

/// The advance of the glyph loaded last, in whole pixels, as the .fnt keeps
/// it: rounded down (the low 32 bits of the 26.6 value), or the strike's times
/// the strike scale, rounded.
[[nodiscard]] i32 recorded_advance(FT_GlyphSlot slot, const GlyphStyle &style);

/// The same advance rounded to the nearest pixel, halves away from zero,
/// which sets text as the font does.
[[nodiscard]] i32 nearest_advance(FT_GlyphSlot slot, const GlyphStyle &style);

/// Whole pixels from 1/64 pixels, to the nearest, halves away from zero:
///   -96 => -2,  -95 => -1,  -32 => -1,  -31 => 0,  31 => 0,  32 => 1,  95 => 1,  96 => 2
[[nodiscard]] i32 round_26_6(i64 amount);

/// A face's current line metrics in whole pixels (truncated toward zero);
/// those of a strike scaled by the style's strike scale and rounded.
struct SizeMetrics {
  i32 line_height = 0;
  i32 ascender = 0;
  i32 descender = 0;
};
[[nodiscard]] SizeMetrics size_metrics(FT_Face face, const GlyphStyle &style = {});
