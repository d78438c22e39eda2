#include "tools/glyphmint-font/draw/text-image.h"

#include "tools/glyphmint-font/draw/field-sample.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace {

gm_layout begin_layout(const LoadedFont &font, std::string_view text, TextKerning kerning) {
  gm_layout layout;
  gm_layout_begin(&layout, &font.font, text.data(), text.size());
  if (kerning.amount != nullptr) gm_layout_set_kerning(&layout, kerning.amount, kerning.user);
  return layout;
}

// Where a glyph lands in the image, and how large it is drawn.
struct Destination {
  i64 x0;
  i64 y0;
  i64 scale;
};

// Coverage: each atlas pixel a scale x scale block.
void blit_coverage(const Image &atlas, const gm_placed_glyph &g, Image &image, Destination to) {
  for (i64 r = 0; r < g.height * to.scale; ++r) {
    const u8 *from = atlas.pixels.get() + (g.src_y + r / to.scale) * atlas.width + g.src_x;
    u8 *row = image.pixels.get() + (to.y0 + r) * image.width + to.x0;
    for (i64 c = 0; c < g.width * to.scale; ++c) row[c] = std::max(row[c], from[c / to.scale]);
  }
}

// A distance field of any kind: the outline where the field crosses 128,
// drawn with one output pixel of ramp across it whatever the scale.
void blit_field(const LoadedFont &font, const gm_placed_glyph &g, Image &image, Destination to) {
  const double n = double(to.scale);
  for (i64 y = 0; y < g.height * to.scale; ++y) {
    u8 *row = image.at(to.x0, to.y0 + y);
    const double v = (double(y) + 0.5) / n - 0.5;
    for (i64 x = 0; x < g.width * to.scale; ++x) {
      const double s = field_value(font.atlas, g, font.font.kind, (double(x) + 0.5) / n - 0.5, v);
      row[x] = std::max(row[x], field_coverage(s, font.font.spread, n));
    }
  }
}

// Straight-alpha source over straight-alpha destination, one RGBA pixel.
void composite_over(const u8 *src, u8 *dst) {
  const double sa = src[3] / 255.0, da = dst[3] / 255.0;
  const double out_a = sa + da * (1 - sa);
  if (out_a <= 0) return;
  for (int c = 0; c < 3; ++c)
    dst[c] = u8(std::lround((src[c] * sa + dst[c] * da * (1 - sa)) / out_a));
  dst[3] = u8(std::lround(out_a * 255.0));
}

// Colour: each atlas pixel a scale x scale block, composited over what is there.
void blit_colour(const Image &atlas, const gm_placed_glyph &g, Image &image, Destination to) {
  for (i64 r = 0; r < g.height * to.scale; ++r) {
    for (i64 c = 0; c < g.width * to.scale; ++c)
      composite_over(atlas.at(g.src_x + c / to.scale, g.src_y + r / to.scale),
                     image.at(to.x0 + c, to.y0 + r));
  }
}

// Every glyph's pixels reach the image through here.
void blit_glyph(const LoadedFont &font, const gm_placed_glyph &g, Image &image, Destination to) {
  switch (font.font.kind) {
  case GM_KIND_COVERAGE:
  case GM_KIND_MONO:
    blit_coverage(font.atlas, g, image, to);
    break;
  case GM_KIND_SDF:
  case GM_KIND_MSDF:
  case GM_KIND_MTSDF:
    blit_field(font, g, image, to);
    break;
  case GM_KIND_COLOR:
    blit_colour(font.atlas, g, image, to);
    break;
  }
}

i64 saturating_mul(i64 value, i64 scale) {
  i64 out = 0;
  if (!__builtin_mul_overflow(value, scale, &out)) return out;
  return value < 0 ? INT64_MIN : INT64_MAX;
}

} // namespace

void TextBounds::hold(i64 x0, i64 y0, i64 x1, i64 y1) {
  left = std::min({left, x0, x1});
  top = std::min({top, y0, y1});
  right = std::max({right, x0, x1});
  bottom = std::max({bottom, y0, y1});
}

void TextLayout::place(const gm_glyph &glyph, i64 x, i64 y) {
  if (glyph.width == 0 || glyph.rows == 0) return;
  const PlacedBitmap b{i64{glyph.x} + 1, i64{glyph.y} + 1, glyph.width, glyph.rows, x, y};
  bounds.hold(b.x, b.y, b.x + b.width, b.y + b.height);
  bitmaps.push_back(b);
}

TextLayout lay_out_text(const LoadedFont &font, std::string_view text, TextKerning kerning) {
  const gm_font &f = font.font;
  gm_layout layout = begin_layout(font, text, kerning);
  TextLayout result;
  std::set<u32> seen;
  for (;;) {
    gm_placed_glyph g;
    const gm_step step = gm_layout_next(&layout, &g);
    if (step == GM_STEP_ERROR) {
      result.invalid_utf8_at = layout.error_offset;
      break;
    }
    if (step == GM_STEP_MISSING && seen.insert(g.code_point).second)
      result.missing.push_back(g.code_point);
    if (step == GM_STEP_GLYPH) result.place(g.glyph, g.dst_x, f.ascender + g.dst_y);
    if (step == GM_STEP_LINE_BREAK || step == GM_STEP_END)
      result.bounds.hold(0, g.line * f.line_height, g.pen_x, (g.line + 1) * f.line_height);
    if (step == GM_STEP_END) break;
  }
  return result;
}

TextBounds scaled(const TextBounds &bounds, i64 scale) {
  return {saturating_mul(bounds.left, scale), saturating_mul(bounds.top, scale),
          saturating_mul(bounds.right, scale), saturating_mul(bounds.bottom, scale)};
}

Image draw_text(const LoadedFont &font, const TextLayout &layout, i64 scale) {
  const TextBounds bounds = scaled(layout.bounds, scale);
  Image image(i32(bounds.right - bounds.left), i32(bounds.bottom - bounds.top),
              font.font.kind == GM_KIND_COLOR ? 4 : 1);
  for (const PlacedBitmap &b : layout.bitmaps) {
    gm_placed_glyph g{};
    g.src_x = b.src_x;
    g.src_y = b.src_y;
    g.width = b.width;
    g.height = b.height;
    blit_glyph(font, g, image, {b.x * scale - bounds.left, b.y * scale - bounds.top, scale});
  }
  return image;
}
