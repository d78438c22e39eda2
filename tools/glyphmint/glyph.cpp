#include "tools/glyphmint/glyph.h"

#include "core/log.h"
#include "tools/glyphmint/atlas.h"

#include <cstring>
#include <utility>

namespace {

// Every checked FreeType call is named by a fixed text in its failure line.
void check_ft(FT_Error error, const char *call) {
  if (error != 0) log_critical("FT call failed: ", StrView(call), "; reason: ", int(error));
}

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

SizeMetrics size_metrics(FT_Face face) {
  const FT_Size_Metrics &m = face->size->metrics;
  return {pixels_from_26_6(m.height), pixels_from_26_6(m.ascender), pixels_from_26_6(m.descender)};
}

RasterGlyph::RasterGlyph(const RasterGlyph &o)
    : pixels(o.pixels_size != 0 ? new u8[o.pixels_size] : nullptr), pixels_size(o.pixels_size),
      width(o.width), rows(o.rows), bearing_x(o.bearing_x), bearing_y(o.bearing_y),
      advance(o.advance), x(o.x), y(o.y), reserved(o.reserved), code(o.code) {
  if (pixels_size != 0) std::memcpy(pixels, o.pixels, pixels_size);
}

RasterGlyph::RasterGlyph(RasterGlyph &&o) noexcept
    : pixels(std::exchange(o.pixels, nullptr)), pixels_size(std::exchange(o.pixels_size, 0)),
      width(o.width), rows(o.rows), bearing_x(o.bearing_x), bearing_y(o.bearing_y),
      advance(o.advance), x(o.x), y(o.y), reserved(o.reserved), code(o.code) {}

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

RasterGlyph RasterGlyph::load(FT_Face face, int code, CellBudget *budget) {
  const FT_UInt glyph_index = ::glyph_index(face, code);
  if (glyph_index == 0) log_critical("No character ", code, " found in font");

  check_ft(FT_Load_Glyph(face, glyph_index, FT_LOAD_NO_HINTING | FT_LOAD_MONOCHROME),
           "FT_Load_Glyph(face, glyph_index, FT_LOAD_NO_HINTING | FT_LOAD_MONOCHROME)");
  check_ft(FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL),
           "FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL)");

  const FT_GlyphSlot slot = face->glyph;
  const FT_Bitmap &bitmap = slot->bitmap;
  if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY)
    log_critical("Unexpected FT pixel mode: ", int(bitmap.pixel_mode),
                 ", expected: ", int(FT_PIXEL_MODE_GRAY));

  if (budget != nullptr) budget->take(bitmap.width, bitmap.rows);

  RasterGlyph glyph;
  glyph.width = bitmap.width;
  glyph.rows = bitmap.rows;
  glyph.pixels_size = u64{bitmap.width} * bitmap.rows;
  if (glyph.pixels_size != 0) {
    glyph.pixels = new u8[glyph.pixels_size];
    if (bitmap.pitch == static_cast<int>(bitmap.width)) {
      // How FreeType lays out a rendered grey bitmap: rows packed width bytes apart.
      std::memcpy(glyph.pixels, bitmap.buffer, glyph.pixels_size);
    } else {
      // Padded or bottom-up rows would garble a flat copy; take them one by one.
      const long pitch = bitmap.pitch;
      const u8 *top = pitch >= 0 ? bitmap.buffer : bitmap.buffer - pitch * (long(bitmap.rows) - 1);
      for (u32 r = 0; r < bitmap.rows; ++r)
        std::memcpy(glyph.pixels + u64{r} * bitmap.width, top + pitch * long(r), bitmap.width);
    }
  }
  glyph.bearing_x = slot->bitmap_left;
  glyph.bearing_y = slot->bitmap_top;
  // Only the low 32 bits of the 26.6 advance count; the shift keeps the sign.
  glyph.advance = static_cast<i32>(static_cast<u32>(slot->advance.x)) >> 6;
  glyph.code = code;
  return glyph;
}
