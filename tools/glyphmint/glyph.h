// The baker's use of FreeType: faces from the FontLibrary that main owns and
// passes in, the pixel size of a bake, and the rasterisation of one code
// point into an 8-bit bitmap (coverage, monochrome or a distance field) with
// its placement metrics.
// Every failure here is a fatal stop: a critical log line, then abort.
#pragma once

#include "core/fs.h"
#include "shared/font-face.h"
#include "tools/glyphmint/settings.h"

struct CellBudget;

/// A fatal stop, "FT call failed: FT_Init_FreeType(&library_); reason: N",
/// when the library did not start.
void require_started(const FontLibrary &fonts);

/// The face of the font file, opened on first use (face index 0) and kept;
/// a fatal stop when FreeType cannot open it. Throws Err when the path has
/// 4096 characters or more.
[[nodiscard]] FT_Face get_face(FontLibrary &fonts, const Path &filepathname);

/// A fatal stop, "FT call failed: <call>; reason: N", unless error is 0.
void check_ft(FT_Error error, const char *call);

/// Row r of a FreeType bitmap, top row 0, whichever way its rows run.
[[nodiscard]] const u8 *bitmap_row(const FT_Bitmap &bitmap, u32 r);

/// Sets the face's pixel height for the glyphs loaded next; a fatal stop on failure.
void set_pixel_size(FT_Face face, int size);

/// How the glyphs of a bake are rendered.
struct GlyphStyle {
  RenderMode mode = RenderMode::Coverage;
  i32 spread = 0; ///< a distance field's, in pixels; 0 otherwise
  /// Colour glyphs drawn from a bitmap strike: the size over the strike's
  /// pixels per em; 0 when glyphs are rendered at the size.
  double strike_scale = 0;
};

/// Sizes the face for a bake of the settings at `size` pixels (set_pixel_size,
/// or for colour set_colour_size) and gives the style its glyphs are loaded in.
[[nodiscard]] GlyphStyle set_bake_size(FT_Face face, int size, const Glyphmint &settings);

/// A face's current line metrics in whole pixels (truncated toward zero);
/// those of a strike scaled by the style's strike scale and rounded.
struct SizeMetrics {
  i32 line_height = 0;
  i32 ascender = 0;
  i32 descender = 0;
};
[[nodiscard]] SizeMetrics size_metrics(FT_Face face, const GlyphStyle &style = {});

/// One rasterised code point: its bitmap, which it owns (copies duplicate
/// it), and where it sits on a line and, once packed, in the atlas.
struct RasterGlyph {
  u8 *pixels = nullptr; ///< width x rows pixels, top row first; null when empty
  u64 pixels_size = 0;  ///< in bytes
  u32 width = 0;
  u32 rows = 0;
  i32 channels = 1;  ///< bytes a pixel, the atlas's: atlas_channels(mode)
  i32 bearing_x = 0; ///< pen position to the bitmap's left column
  i32 bearing_y = 0; ///< baseline up to the bitmap's top row
  i32 advance = 0;   ///< whole pixels, rounded toward minus infinity
  i32 x = 0;         ///< the padded cell's left edge in the atlas, once packed
  i32 y = 0;         ///< the padded cell's top edge in the atlas, once packed
  i32 reserved = 0;  ///< the kind and spread, as gm_kind_reserved gives them
  i32 code = 0;

  RasterGlyph() = default;
  RasterGlyph(const RasterGlyph &o);
  RasterGlyph(RasterGlyph &&o) noexcept;
  RasterGlyph &operator=(const RasterGlyph &o);
  RasterGlyph &operator=(RasterGlyph &&o) noexcept;
  ~RasterGlyph() { delete[] pixels; }

  /// Rasterises `code` from the face at its current size in the style. A
  /// code point the font lacks, a failed FreeType call or a bitmap of another
  /// pixel mode than the style's is a fatal stop. A budget, when given, sees
  /// the bitmap's size before it is copied, so a glyph that can never be
  /// packed stops the run before it is duplicated.
  [[nodiscard]] static RasterGlyph load(FT_Face face, int code, GlyphStyle style = {},
                                        CellBudget *budget = nullptr);
};
