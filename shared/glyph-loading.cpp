#include "shared/glyph-loading.h"

#include <cmath>

gm_kind atlas_kind(RenderMode mode) {
  switch (mode) {
  case RenderMode::Sdf:
    return GM_KIND_SDF;
  case RenderMode::Msdf:
    return GM_KIND_MSDF;
  case RenderMode::Mtsdf:
    return GM_KIND_MTSDF;
  case RenderMode::Color:
    return GM_KIND_COLOR;
  case RenderMode::Mono:
    return GM_KIND_MONO;
  case RenderMode::Coverage:
    break;
  }
  return GM_KIND_COVERAGE;
}

RenderMode render_mode(gm_kind kind) {
  switch (kind) {
  case GM_KIND_SDF:
    return RenderMode::Sdf;
  case GM_KIND_MSDF:
    return RenderMode::Msdf;
  case GM_KIND_MTSDF:
    return RenderMode::Mtsdf;
  case GM_KIND_COLOR:
    return RenderMode::Color;
  case GM_KIND_MONO:
    return RenderMode::Mono;
  case GM_KIND_COVERAGE:
    break;
  }
  return RenderMode::Coverage;
}

namespace {

// The strike a bitmap-only face is drawn from: the smallest that needs no
// enlarging, or the largest when all would.
int strike_for(FT_Face face, int size) {
  int best = 0;
  for (int i = 1; i < face->num_fixed_sizes; ++i) {
    const FT_Pos ppem = face->available_sizes[i].y_ppem;
    const FT_Pos best_ppem = face->available_sizes[best].y_ppem;
    const bool fits = ppem >= FT_Pos{size} * 64;
    const bool best_fits = best_ppem >= FT_Pos{size} * 64;
    if (fits ? !best_fits || ppem < best_ppem : !best_fits && ppem > best_ppem) best = i;
  }
  return best;
}

i32 pixels_from_26_6(FT_Pos value) {
  return static_cast<i32>(static_cast<float>(value) * 0.015625f);
}

} // namespace

FtFailure size_face(FT_Face face, int size, GlyphStyle &style) {
  style.strike_scale = 0;
  const bool strikes_only = !FT_IS_SCALABLE(face) && face->num_fixed_sizes > 0;
  // A strike scaled by a factor of 0 or below would mean "not a strike", so
  // such a size goes to FreeType, which refuses it, as for every other mode.
  if (style.mode != RenderMode::Color || !strikes_only || size < 1)
    return {FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size)),
            "FT_Set_Pixel_Sizes(face, 0, size)"};
  const int strike = strike_for(face, size);
  if (const FT_Error error = FT_Select_Size(face, strike))
    return {error, "FT_Select_Size(face, strike)"};
  style.strike_scale = double(size) * 64.0 / double(face->available_sizes[strike].y_ppem);
  return {};
}

FtFailure load_glyph(FT_Face face, FT_UInt glyph_index, RenderMode mode) {
  switch (mode) {
  case RenderMode::Coverage:
    return {FT_Load_Glyph(face, glyph_index, FT_LOAD_NO_HINTING | FT_LOAD_MONOCHROME),
            "FT_Load_Glyph(face, glyph_index, FT_LOAD_NO_HINTING | FT_LOAD_MONOCHROME)"};
  case RenderMode::Mono:
    return {FT_Load_Glyph(face, glyph_index, FT_LOAD_TARGET_MONO),
            "FT_Load_Glyph(face, glyph_index, FT_LOAD_TARGET_MONO)"};
  case RenderMode::Sdf:
  case RenderMode::Msdf:
  case RenderMode::Mtsdf:
    return {FT_Load_Glyph(face, glyph_index,
                          FT_LOAD_NO_HINTING | FT_LOAD_MONOCHROME | FT_LOAD_NO_BITMAP),
            "FT_Load_Glyph(face, glyph_index, FT_LOAD_NO_HINTING | FT_LOAD_MONOCHROME | "
            "FT_LOAD_NO_BITMAP)"};
  case RenderMode::Color:
    break;
  }
  // FreeType 2.12 holds an SVG-in-OpenType glyph as a document that only an
  // SVG renderer hook can draw; such fonts keep outlines for renderers
  // without SVG.
  const FT_Error error = FT_Load_Glyph(face, glyph_index, FT_LOAD_NO_HINTING | FT_LOAD_COLOR);
  if (error == FT_Err_Missing_SVG_Hooks ||
      (error == 0 && face->glyph->format == FT_GLYPH_FORMAT_SVG))
    return {FT_Load_Glyph(face, glyph_index, FT_LOAD_NO_HINTING),
            "FT_Load_Glyph(face, glyph_index, FT_LOAD_NO_HINTING)"};
  return {error, "FT_Load_Glyph(face, glyph_index, FT_LOAD_NO_HINTING | FT_LOAD_COLOR)"};
}

i32 recorded_advance(FT_GlyphSlot slot, const GlyphStyle &style) {
  if (style.strike_scale > 0)
    return i32(std::lround(double(slot->advance.x) / 64.0 * style.strike_scale));
  // Only the low 32 bits of the 26.6 advance count; the shift keeps the sign.
  return static_cast<i32>(static_cast<u32>(slot->advance.x)) >> 6;
}

i32 nearest_advance(FT_GlyphSlot slot, const GlyphStyle &style) {
  return style.strike_scale > 0 ? recorded_advance(slot, style) : round_26_6(slot->advance.x);
}

i32 round_26_6(i64 amount) {
  return amount >= 0 ? static_cast<i32>((amount + 32) / 64)
                     : -static_cast<i32>((-amount + 32) / 64);
}

SizeMetrics size_metrics(FT_Face face, const GlyphStyle &style) {
  const FT_Size_Metrics &m = face->size->metrics;
  if (style.strike_scale > 0) {
    const auto scaled = [&](FT_Pos v) {
      return i32(std::lround(double(v) / 64.0 * style.strike_scale));
    };
    return {scaled(m.height), scaled(m.ascender), scaled(m.descender)};
  }
  return {pixels_from_26_6(m.height), pixels_from_26_6(m.ascender), pixels_from_26_6(m.descender)};
}
