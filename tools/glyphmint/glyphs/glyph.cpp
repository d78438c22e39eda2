#include "tools/glyphmint/glyphs/glyph.h"

#include "core/log.h"
#include "tools/glyphmint/atlas/atlas.h"
#include "tools/glyphmint/fields/distance-field.h"
#include "tools/glyphmint/fields/multi-channel-field.h"
#include "tools/glyphmint/glyphs/colour-glyph.h"

#include <cstring>

GlyphStyle set_bake_size(FT_Face face, int size, const Glyphmint &settings) {
  GlyphStyle style{settings.render, settings.spread};
  check_ft(size_face(face, size, style));
  return style;
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
  check_ft(load_glyph(face, glyph_index, mode));
  if (mono)
    check_ft(FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO),
             "FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO)");
  else
    check_ft(FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL),
             "FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL)");
  const FT_GlyphSlot slot = face->glyph;
  const FT_Bitmap &bitmap = rendered_bitmap(slot, mono ? FT_PIXEL_MODE_MONO : FT_PIXEL_MODE_GRAY);
  if (budget != nullptr) budget->take(bitmap.width, bitmap.rows);
  RasterGlyph glyph;
  copy_bitmap(bitmap, glyph);
  glyph.bearing_x = slot->bitmap_left;
  glyph.bearing_y = slot->bitmap_top;
  return glyph;
}

// The outline a field of either kind is made from; the budget sees the
// field's size before the field's work and memory.
FT_GlyphSlot load_field_outline(FT_Face face, FT_UInt glyph_index, i32 spread, CellBudget *budget) {
  check_ft(load_glyph(face, glyph_index, RenderMode::Sdf));
  const FT_GlyphSlot slot = face->glyph;
  if (budget != nullptr && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    const FieldPlacement place = distance_field_placement(slot->outline, spread);
    budget->take(place.width, place.rows);
  }
  return slot;
}

void take_field(DistanceField &field, RasterGlyph &glyph) {
  glyph.width = field.width;
  glyph.rows = field.rows;
  glyph.pixels_size = field.pixels.size();
  if (glyph.pixels_size != 0) {
    glyph.pixels = new u8[glyph.pixels_size];
    std::memcpy(glyph.pixels, field.pixels.data(), glyph.pixels_size);
  }
  glyph.bearing_x = field.bearing_x;
  glyph.bearing_y = field.bearing_y;
}

void take_field(MultiChannelField &field, RasterGlyph &glyph) {
  glyph.width = field.place.width;
  glyph.rows = field.place.rows;
  glyph.channels = field.image.channels;
  if (field.image.pixels != nullptr) {
    glyph.pixels_size = field.image.byte_size();
    glyph.pixels = field.image.pixels.release();
  }
  glyph.bearing_x = field.place.bearing_x;
  glyph.bearing_y = field.place.bearing_y;
}

// A field of the slot's outline to be made later: placed and checked now,
// as making it would place it and fail.
RasterGlyph pending_field(FT_GlyphSlot slot, RenderMode mode, i32 spread, FtFailure failure) {
  check_ft(failure);
  const FieldPlacement place = distance_field_placement(slot->outline, spread);
  RasterGlyph glyph;
  glyph.width = place.width;
  glyph.rows = place.rows;
  glyph.channels = atlas_channels(mode);
  glyph.bearing_x = place.bearing_x;
  glyph.bearing_y = place.bearing_y;
  if (place.width != 0 && place.rows != 0)
    glyph.pending = std::make_shared<const PendingField>(slot->outline, mode, spread);
  return glyph;
}

RasterGlyph load_field(FT_Face face, FT_UInt glyph_index, i32 spread, CellBudget *budget,
                       FieldTiming timing) {
  const FT_GlyphSlot slot = load_field_outline(face, glyph_index, spread, budget);
  if (timing == FieldTiming::Later)
    return pending_field(slot, RenderMode::Sdf, spread, distance_field_failure(slot, spread));
  DistanceField field;
  check_ft(distance_field(slot, spread, field));
  RasterGlyph glyph;
  take_field(field, glyph);
  return glyph;
}

// A multi-channel field of the same outline, with the true distance in alpha
// for mtsdf.
RasterGlyph load_multi_channel_field(FT_Face face, FT_UInt glyph_index, i32 spread, bool alpha,
                                     CellBudget *budget, FieldTiming timing) {
  const FT_GlyphSlot slot = load_field_outline(face, glyph_index, spread, budget);
  if (timing == FieldTiming::Later)
    return pending_field(slot, alpha ? RenderMode::Mtsdf : RenderMode::Msdf, spread,
                         multi_channel_field_failure(slot, spread));
  MultiChannelField field;
  check_ft(multi_channel_field(slot, spread, alpha, field));
  RasterGlyph glyph;
  take_field(field, glyph);
  return glyph;
}

} // namespace

RasterGlyph rasterise_glyph(FT_Face face, int code, GlyphStyle style, CellBudget *budget,
                            FieldTiming timing) {
  const FT_UInt glyph_index = ::glyph_index(face, code);
  if (glyph_index == 0) log_critical("No character ", code, " found in font");
  RasterGlyph glyph = rasterise_glyph_index(face, glyph_index, style, budget, timing);
  glyph.code = code;
  return glyph;
}

RasterGlyph rasterise_glyph_index(FT_Face face, FT_UInt glyph_index, GlyphStyle style,
                                  CellBudget *budget, FieldTiming timing) {
  RasterGlyph glyph;
  switch (style.mode) {
  case RenderMode::Coverage:
  case RenderMode::Mono:
    glyph = load_rendered(face, glyph_index, style.mode, budget);
    break;
  case RenderMode::Sdf:
    glyph = load_field(face, glyph_index, style.spread, budget, timing);
    break;
  case RenderMode::Color:
    glyph = load_colour_glyph(face, glyph_index, style.strike_scale, budget);
    break;
  case RenderMode::Msdf:
  case RenderMode::Mtsdf:
    glyph = load_multi_channel_field(face, glyph_index, style.spread,
                                     style.mode == RenderMode::Mtsdf, budget, timing);
    break;
    log_critical("No loader for render mode ", int(style.mode));
  }
  glyph.reserved = gm_kind_reserved(atlas_kind(style.mode), style.spread);
  glyph.advance = recorded_advance(face->glyph, style);
  glyph.glyph_index = glyph_index;
  return glyph;
}

PendingField::PendingField(const FT_Outline &outline, RenderMode mode_, i32 spread_)
    : mode(mode_), spread(spread_), points(outline.points, outline.points + outline.n_points),
      tags(outline.tags, outline.tags + outline.n_points),
      contours(outline.contours, outline.contours + outline.n_contours), flags(outline.flags) {}

FT_Outline PendingField::outline() const {
  FT_Outline outline{};
  outline.n_contours = static_cast<decltype(outline.n_contours)>(contours.size());
  outline.n_points = static_cast<decltype(outline.n_points)>(points.size());
  // FreeType's outline type has no const form; the fields only read it.
  outline.points = const_cast<FT_Vector *>(points.data());
  outline.tags = const_cast<decltype(outline.tags)>(tags.data());
  outline.contours = const_cast<decltype(outline.contours)>(contours.data());
  outline.flags = flags;
  return outline;
}

FtFailure draw_pending_field(RasterGlyph &glyph) {
  const std::shared_ptr<const PendingField> field = std::move(glyph.pending);
  if (field == nullptr) return {};
  const FT_Outline outline = field->outline();
  if (field->mode == RenderMode::Sdf) {
    DistanceField made;
    if (const FtFailure failure = distance_field(outline, field->spread, made); failure.error != 0)
      return failure;
    take_field(made, glyph);
    return {};
  }
  MultiChannelField made;
  if (const FtFailure failure =
          multi_channel_field(outline, field->spread, field->mode == RenderMode::Mtsdf, made);
      failure.error != 0)
    return failure;
  take_field(made, glyph);
  return {};
}
