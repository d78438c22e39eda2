// The baker's rasterisation of one code point into an 8-bit bitmap of its
// mode (coverage, monochrome, a distance field of either kind, or colour)
// with its placement metrics, loaded by the shared rule of its mode.
// Every failure here is a fatal stop: a critical log line, then abort.
#pragma once

#include "shared/glyph-loading.h"
#include "shared/settings.h"
#include "tools/glyphmint/glyphs/ft-stop.h"
#include "tools/glyphmint/glyphs/raster-glyph.h"

#include <type_traits>
#include <vector>

struct CellBudget;

/// Sizes the face for a bake of the settings at `size` pixels (size_face) and
/// gives the style its glyphs are loaded in; a fatal stop on failure.
[[nodiscard]] GlyphStyle set_bake_size(FT_Face face, int size, const Glyphmint &settings);

/// When the pixels of a distance field of either kind are made: at once, or
/// later by draw_pending_field(), so that a bake can pack its glyphs and
/// start encoding its atlas before every field is made. Either way the
/// placement, the budget's and every failure are met at load.
enum class FieldTiming { Now, Later };

/// Rasterises `code` from the face at its current size in the style. A code
/// point the font lacks, a failed FreeType call or a bitmap of another pixel
/// mode than the style's is a fatal stop. A budget, when given, sees the
/// bitmap's size before it is copied, so a glyph that can never be packed
/// stops the run before it is duplicated.
[[nodiscard]] RasterGlyph rasterise_glyph(FT_Face face, int code, GlyphStyle style = {},
                                          CellBudget *budget = nullptr,
                                          FieldTiming timing = FieldTiming::Now);

/// The same for a glyph of the face by its index, which no code point need
/// reach; its code is left 0 for the caller to set.
[[nodiscard]] RasterGlyph rasterise_glyph_index(FT_Face face, FT_UInt glyph_index,
                                                GlyphStyle style = {}, CellBudget *budget = nullptr,
                                                FieldTiming timing = FieldTiming::Now);

/// A field kept to be made later: a copy of the glyph's outline, and how.
struct PendingField {
  PendingField(const FT_Outline &outline, RenderMode mode, i32 spread);
  [[nodiscard]] FT_Outline outline() const;

  RenderMode mode;
  i32 spread;
  std::vector<FT_Vector> points;
  std::vector<std::remove_pointer_t<decltype(FT_Outline::tags)>> tags;
  std::vector<std::remove_pointer_t<decltype(FT_Outline::contours)>> contours;
  int flags;
};

/// Makes the glyph's pending field, if it has one, into its pixels: the
/// glyph is then what FieldTiming::Now loads. Safe on other glyphs from other
/// threads. Fails only where making it at load would have (not at all once
/// loaded), then leaving the pixels out.
[[nodiscard]] FtFailure draw_pending_field(RasterGlyph &glyph);
