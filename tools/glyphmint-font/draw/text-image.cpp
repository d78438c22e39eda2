#include "tools/glyphmint-font/draw/text-image.h"

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
void blit_coverage(const Image &atlas, const gm_placed_glyph &g, Image &image,
                   Destination to) {
  for (i64 r = 0; r < g.height * to.scale; ++r) {
    const u8 *from = atlas.pixels.get() + (g.src_y + r / to.scale) * atlas.width + g.src_x;
    u8 *row = image.pixels.get() + (to.y0 + r) * image.width + to.x0;
    for (i64 c = 0; c < g.width * to.scale; ++c) row[c] = std::max(row[c], from[c / to.scale]);
  }
}

// The field's bilinear sample at (u, v), in the bitmap's pixel coordinates,
// its edge pixels standing in for whatever lies beyond them.
double sample_field(const Image &atlas, const gm_placed_glyph &g, double u, double v) {
  const auto pixel = [&](i64 x, i64 y) {
    x = std::clamp<i64>(x, 0, g.width - 1);
    y = std::clamp<i64>(y, 0, g.height - 1);
    return double(atlas.pixels[u64((g.src_y + y) * atlas.width + g.src_x + x)]);
  };
  const double fu = std::floor(u), fv = std::floor(v);
  const i64 x = i64(fu), y = i64(fv);
  const double ax = u - fu, ay = v - fv;
  const double top = pixel(x, y) * (1 - ax) + pixel(x + 1, y) * ax;
  const double bottom = pixel(x, y + 1) * (1 - ax) + pixel(x + 1, y + 1) * ax;
  return top * (1 - ay) + bottom * ay;
}

// A distance field: the outline where the field crosses 128, drawn with one
// output pixel of ramp across it whatever the scale.
void blit_field(const Image &atlas, const gm_placed_glyph &g, i32 spread, Image &image,
                Destination to) {
  const double n = double(to.scale);
  const double ramp = double(spread) * n / 128.0;
  for (i64 y = 0; y < g.height * to.scale; ++y) {
    u8 *row = image.pixels.get() + (to.y0 + y) * image.width + to.x0;
    const double v = (double(y) + 0.5) / n - 0.5;
    for (i64 x = 0; x < g.width * to.scale; ++x) {
      const double s = sample_field(atlas, g, (double(x) + 0.5) / n - 0.5, v);
      const double value = 255.0 * std::clamp(0.5 + (s - 128.0) * ramp, 0.0, 1.0);
      row[x] = std::max(row[x], u8(std::lround(value)));
    }
  }
}

// Every glyph's pixels reach the image through here.
void blit_glyph(const LoadedFont &font, const gm_placed_glyph &g, Image &image,
                Destination to) {
  if (font.font.spread > 0)
    blit_field(font.atlas, g, font.font.spread, image, to);
  else
    blit_coverage(font.atlas, g, image, to);
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
    // An empty bitmap (a space's) holds no pixel, so it asks for no room.
    if (step == GM_STEP_GLYPH && g.width > 0 && g.height > 0) {
      const i64 top = f.ascender + g.dst_y;
      result.bounds.hold(g.dst_x, top, g.dst_x + g.width, top + g.height);
    }
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

Image draw_text(const LoadedFont &font, std::string_view text, TextKerning kerning,
                    const TextBounds &bounds, i64 scale) {
  Image image;
  image.width = i32(bounds.right - bounds.left);
  image.height = i32(bounds.bottom - bounds.top);
  image.pixels.reset(new u8[u64(image.width) * u64(image.height)]());
  gm_layout layout = begin_layout(font, text, kerning);
  gm_placed_glyph g;
  for (gm_step step; (step = gm_layout_next(&layout, &g)) != GM_STEP_END && step != GM_STEP_ERROR;)
    // An empty bitmap draws nothing, and the bounds need not hold its place.
    if (step == GM_STEP_GLYPH && g.width > 0 && g.height > 0)
      blit_glyph(font, g, image,
                 {g.dst_x * scale - bounds.left,
                  (font.font.ascender + g.dst_y) * scale - bounds.top, scale});
  return image;
}
