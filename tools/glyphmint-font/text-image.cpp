#include "tools/glyphmint-font/text-image.h"

#include <algorithm>
#include <set>

namespace {

gm_layout begin_layout(const LoadedFont &font, std::string_view text, TextKerning kerning) {
  gm_layout layout;
  gm_layout_begin(&layout, &font.font, text.data(), text.size());
  if (kerning.amount != nullptr) gm_layout_set_kerning(&layout, kerning.amount, kerning.user);
  return layout;
}

// Every glyph's pixels reach the image through here, so that another way of
// drawing a glyph (scaled, or from a distance field) is this one function.
void blit_glyph(const GreyImage &atlas, const gm_placed_glyph &g, GreyImage &image, i64 x0,
                i64 y0) {
  for (i64 r = 0; r < g.height; ++r) {
    const u8 *from = atlas.pixels.get() + (g.src_y + r) * atlas.width + g.src_x;
    u8 *to = image.pixels.get() + (y0 + r) * image.width + x0;
    for (i64 c = 0; c < g.width; ++c) to[c] = std::max(to[c], from[c]);
  }
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

GreyImage draw_text(const LoadedFont &font, std::string_view text, TextKerning kerning,
                    const TextBounds &bounds) {
  GreyImage image;
  image.width = i32(bounds.right - bounds.left);
  image.height = i32(bounds.bottom - bounds.top);
  image.pixels.reset(new u8[u64(image.width) * u64(image.height)]());
  gm_layout layout = begin_layout(font, text, kerning);
  gm_placed_glyph g;
  for (gm_step step; (step = gm_layout_next(&layout, &g)) != GM_STEP_END && step != GM_STEP_ERROR;)
    if (step == GM_STEP_GLYPH)
      blit_glyph(font.atlas, g, image, g.dst_x - bounds.left,
                 font.font.ascender + g.dst_y - bounds.top);
  return image;
}
