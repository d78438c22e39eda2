#include "tools/glyphmint/glyphs/raster-glyph.h"

#include <cstring>
#include <utility>

RasterGlyph::RasterGlyph(const RasterGlyph &o)
    : pixels(o.pixels_size != 0 ? new u8[o.pixels_size] : nullptr), pixels_size(o.pixels_size),
      width(o.width), rows(o.rows), channels(o.channels), bearing_x(o.bearing_x),
      bearing_y(o.bearing_y), advance(o.advance), x(o.x), y(o.y), reserved(o.reserved),
      code(o.code), glyph_index(o.glyph_index), font_number(o.font_number), pending(o.pending) {
  if (pixels_size != 0) std::memcpy(pixels, o.pixels, pixels_size);
}

RasterGlyph::RasterGlyph(RasterGlyph &&o) noexcept
    : pixels(std::exchange(o.pixels, nullptr)), pixels_size(std::exchange(o.pixels_size, 0)),
      width(o.width), rows(o.rows), channels(o.channels), bearing_x(o.bearing_x),
      bearing_y(o.bearing_y), advance(o.advance), x(o.x), y(o.y), reserved(o.reserved),
      code(o.code), glyph_index(o.glyph_index), font_number(o.font_number),
      pending(std::move(o.pending)) {}

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
    glyph_index = o.glyph_index;
    font_number = o.font_number;
    pending = std::move(o.pending);
  }
  return *this;
}
