#include "tools/glyphmint/glyph.h"

#include "core/log.h"
#include "tools/glyphmint/atlas.h"
#include "tools/glyphmint/colour-glyph.h"
#include "tools/glyphmint/distance-field.h"
#include "tools/glyphmint/multi-channel-field.h"

#include <cmath>
#include <cstring>
#include <utility>

// Every checked FreeType call is named by a fixed text in its failure line.
void check_ft(FT_Error error, const char *call) {
  if (error != 0) log_critical("FT call failed: ", StrView(call), "; reason: ", int(error));
}

// A negative pitch means the rows lie bottom up, and adding the pitch still
// goes one row down.
const u8 *bitmap_row(const FT_Bitmap &bitmap, u32 r) {
  const long pitch = bitmap.pitch;
  const u8 *top = pitch >= 0 ? bitmap.buffer : bitmap.buffer - pitch * (long(bitmap.rows) - 1);
  return top + pitch * long(r);
}

namespace {

i32 pixels_from_26_6(FT_Pos value) {
  return static_cast<i32>(static_cast<float>(value) * 0.015625f);
}

} // namespace

void require_started(const FontLibrary &fonts) {
  check_ft(fonts.init_error(), "FT_Init_FreeType(&library_)");
}

FT_Face get_face(FontLibrary &fonts, const Path &filepathname) {
  // The text FreeType is given has always been limited to this buffer.
  char c_path[4096];
  filepathname.view().to_c_str(c_path, sizeof(c_path));
  FT_Face face = nullptr;
  check_ft(fonts.open(filepathname, face), "FT_New_Face(library_, filepathname, 0, &face)");
  return face;
}

void set_pixel_size(FT_Face face, int size) {
  check_ft(FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size)),
           "FT_Set_Pixel_Sizes(face, 0, size)");
}

GlyphStyle set_bake_size(FT_Face face, int size, const Glyphmint &settings) {
  GlyphStyle style{settings.render, settings.spread};
  if (settings.render == RenderMode::Color)
    style.strike_scale = set_colour_size(face, size);
  else
    set_pixel_size(face, size);
  return style;
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

RasterGlyph::RasterGlyph(const RasterGlyph &o)
    : pixels(o.pixels_size != 0 ? new u8[o.pixels_size] : nullptr), pixels_size(o.pixels_size),
      width(o.width), rows(o.rows), channels(o.channels), bearing_x(o.bearing_x),
      bearing_y(o.bearing_y), advance(o.advance), x(o.x), y(o.y), reserved(o.reserved),
      code(o.code) {
  if (pixels_size != 0) std::memcpy(pixels, o.pixels, pixels_size);
}

RasterGlyph::RasterGlyph(RasterGlyph &&o) noexcept
    : pixels(std::exchange(o.pixels, nullptr)), pixels_size(std::exchange(o.pixels_size, 0)),
      width(o.width), rows(o.rows), channels(o.channels), bearing_x(o.bearing_x),
      bearing_y(o.bearing_y), advance(o.advance), x(o.x), y(o.y), reserved(o.reserved),
      code(o.code) {}

RasterGlyph &RasterGlyph::operator=(const RasterGlyph &o) {
  if (this != &o) *this = RasterGlyph(o);
  return *this;
}

RasterGlyph &RasterGlyph::operator=(RasterGlyph &&o) noexcept {
  if (this != &o) {
    delete[] pixels;
    pixels = std::exchange(o.pixels, nullptr);
    pixels_size = std::exchange(o.pixels_size, 0);
    width = o.width;
    rows = o.rows;
    channels = o.channels;
    bearing_x = o.bearing_x;
    bearing_y = o.bearing_y;
    advance = o.advance;
    x = o.x;
    y = o.y;
    reserved = o.reserved;
    code = o.code;
  }
  return *this;
}

namespace {

// The slot's bitmap of the expected pixel mode, or the fatal stop that names both.
const FT_Bitmap &rendered_bitmap(FT_GlyphSlot slot, FT_Pixel_Mode expected) {
  const FT_Bitmap &bitmap = slot->bitmap;
  if (bitmap.pixel_mode != expected)
    log_critical("Unexpected FT pixel mode: ", int(bitmap.pixel_mode),
                 ", expected: ", int(expected));
  return bitmap;
}

void copy_bitmap(const FT_Bitmap &bitmap, RasterGlyph &glyph) {
  glyph.width = bitmap.width;
  glyph.rows = bitmap.rows;
  glyph.pixels_size = u64{bitmap.width} * bitmap.rows;
  if (glyph.pixels_size == 0) return;
  glyph.pixels = new u8[glyph.pixels_size];
  if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
    // One bit a pixel, the leftmost in the high bit: set bits become 255.
    for (u32 r = 0; r < bitmap.rows; ++r) {
      const u8 *row = bitmap_row(bitmap, r);
      u8 *out = glyph.pixels + u64{r} * bitmap.width;
      for (u32 c = 0; c < bitmap.width; ++c) out[c] = (row[c / 8] >> (7 - c % 8) & 1) ? 255 : 0;
    }
  } else if (bitmap.pitch == static_cast<int>(bitmap.width)) {
    // How FreeType lays out a rendered grey bitmap: rows packed width bytes apart.
    std::memcpy(glyph.pixels, bitmap.buffer, glyph.pixels_size);
  } else {
    // Padded or bottom-up rows would garble a flat copy; take them one by one.
    for (u32 r = 0; r < bitmap.rows; ++r)
      std::memcpy(glyph.pixels + u64{r} * bitmap.width, bitmap_row(bitmap, r), bitmap.width);
  }
}

// Coverage and monochrome glyphs: FreeType's rasteriser, copied as it renders.
RasterGlyph load_rendered(FT_Face face, FT_UInt glyph_index, RenderMode mode, CellBudget *budget) {
  const bool mono = mode == RenderMode::Mono;
  if (mono) {
    // The outline hinted for monochrome; a bitmap font's strike as it is.
    check_ft(FT_Load_Glyph(face, glyph_index, FT_LOAD_TARGET_MONO),
             "FT_Load_Glyph(face, glyph_index, FT_LOAD_TARGET_MONO)");
    check_ft(FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO),
             "FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO)");
  } else {
    check_ft(FT_Load_Glyph(face, glyph_index, FT_LOAD_NO_HINTING | FT_LOAD_MONOCHROME),
             "FT_Load_Glyph(face, glyph_index, FT_LOAD_NO_HINTING | FT_LOAD_MONOCHROME)");
    check_ft(FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL),
             "FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL)");
  }
  const FT_GlyphSlot slot = face->glyph;
  const FT_Bitmap &bitmap = rendered_bitmap(slot, mono ? FT_PIXEL_MODE_MONO : FT_PIXEL_MODE_GRAY);
  if (budget != nullptr) budget->take(bitmap.width, bitmap.rows);
  RasterGlyph glyph;
  copy_bitmap(bitmap, glyph);
  glyph.bearing_x = slot->bitmap_left;
  glyph.bearing_y = slot->bitmap_top;
  return glyph;
}

// Loads the outline the coverage bake rasterises, for a field of either kind:
// loaded alike but never from a bitmap strike, since an outline font may
// also hold strikes at some sizes and a field is made from the outline alone.
// The budget sees the field's size before the field's work and memory.
FT_GlyphSlot load_field_outline(FT_Face face, FT_UInt glyph_index, i32 spread,
                                CellBudget *budget) {
  check_ft(FT_Load_Glyph(face, glyph_index,
                         FT_LOAD_NO_HINTING | FT_LOAD_MONOCHROME | FT_LOAD_NO_BITMAP),
           "FT_Load_Glyph(face, glyph_index, FT_LOAD_NO_HINTING | FT_LOAD_MONOCHROME | "
           "FT_LOAD_NO_BITMAP)");
  const FT_GlyphSlot slot = face->glyph;
  if (budget != nullptr && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    const FieldPlacement place = distance_field_placement(slot->outline, spread);
    budget->take(place.width, place.rows);
  }
  return slot;
}

RasterGlyph load_field(FT_Face face, FT_UInt glyph_index, i32 spread, CellBudget *budget) {
  const FT_GlyphSlot slot = load_field_outline(face, glyph_index, spread, budget);
  DistanceField field;
  const FieldFailure failure = distance_field(slot, spread, field);
  check_ft(failure.error, failure.call);
  RasterGlyph glyph;
  glyph.width = field.width;
  glyph.rows = field.rows;
  glyph.pixels_size = field.pixels.size();
  if (glyph.pixels_size != 0) {
    glyph.pixels = new u8[glyph.pixels_size];
    std::memcpy(glyph.pixels, field.pixels.data(), glyph.pixels_size);
  }
  glyph.bearing_x = field.bearing_x;
  glyph.bearing_y = field.bearing_y;
  return glyph;
}

// A multi-channel field of the same outline, with the true distance in alpha
// for mtsdf.
RasterGlyph load_multi_channel_field(FT_Face face, FT_UInt glyph_index, i32 spread, bool alpha,
                                     CellBudget *budget) {
  const FT_GlyphSlot slot = load_field_outline(face, glyph_index, spread, budget);
  MultiChannelField field;
  const FieldFailure failure = multi_channel_field(slot, spread, alpha, field);
  check_ft(failure.error, failure.call);
  RasterGlyph glyph;
  glyph.width = field.place.width;
  glyph.rows = field.place.rows;
  glyph.channels = field.image.channels;
  if (field.image.pixels != nullptr) {
    glyph.pixels_size = field.image.byte_size();
    glyph.pixels = field.image.pixels.release();
  }
  glyph.bearing_x = field.place.bearing_x;
  glyph.bearing_y = field.place.bearing_y;
  return glyph;
}

} // namespace

RasterGlyph RasterGlyph::load(FT_Face face, int code, GlyphStyle style, CellBudget *budget) {
  const FT_UInt glyph_index = ::glyph_index(face, code);
  if (glyph_index == 0) log_critical("No character ", code, " found in font");

  RasterGlyph glyph;
  switch (style.mode) {
  case RenderMode::Coverage:
  case RenderMode::Mono:
    glyph = load_rendered(face, glyph_index, style.mode, budget);
    break;
  case RenderMode::Sdf:
    glyph = load_field(face, glyph_index, style.spread, budget);
    break;
  case RenderMode::Color:
    glyph = load_colour_glyph(face, glyph_index, style.strike_scale, budget);
    break;
  case RenderMode::Msdf:
  case RenderMode::Mtsdf:
    glyph = load_multi_channel_field(face, glyph_index, style.spread,
                                     style.mode == RenderMode::Mtsdf, budget);
    break;
    log_critical("No loader for render mode ", int(style.mode));
  }
  glyph.reserved = gm_kind_reserved(atlas_kind(style.mode), style.spread);
  // Only the low 32 bits of the 26.6 advance count; the shift keeps the sign.
  glyph.advance = style.strike_scale > 0
                      ? strike_advance(face->glyph, style.strike_scale)
                      : static_cast<i32>(static_cast<u32>(face->glyph->advance.x)) >> 6;
  glyph.code = code;
  return glyph;
}
