#include "tools/glyphmint-font/export/baked-to-bmfont.h"

#include "core/fmt.h"
#include "shared/png.h"

namespace {

//   DejaVuSans-16.png at 16 => DejaVuSans,  atlas.png at 16 => atlas
Str face_name(StrView image_name, i32 size) {
  const u64 slash = image_name.find_last('/');
  const StrView name =
      slash == StrView::npos ? image_name : image_name.sub(slash + 1, StrView::npos);
  const Str ending = fmt("-", size, ".png");
  if (name.len > ending.len && name.ends_with(ending.view()))
    return Str(name.sub(0, name.len - ending.len));
  const u64 dot = name.find_last('.');
  return Str(dot == StrView::npos ? name : name.sub(0, dot));
}

BmFont font_header(const LoadedFont &loaded, BmPage page, StrView page_name) {
  const gm_font &f = loaded.font;
  BmFont font;
  font.info.face = face_name(loaded.image_name(), f.size);
  font.info.size = f.size;
  font.info.smooth = f.kind != GM_KIND_MONO;
  // Neighbouring cells' frames lie between two bitmaps: two zero pixels.
  font.info.spacing[0] = 2;
  font.info.spacing[1] = 2;
  // A distance field's bitmaps hold the spread around each glyph's outline.
  for (i64 &side : font.info.padding) side = f.spread;
  font.distance_range = 2 * i64{f.spread};
  font.common.line_height = f.line_height;
  font.common.base = f.ascender;
  font.common.scale_w = loaded.atlas.width;
  font.common.scale_h = loaded.atlas.height;
  if (f.kind == GM_KIND_MSDF || f.kind == GM_KIND_MTSDF)
    font.field_type = f.kind == GM_KIND_MSDF ? "msdf" : "mtsdf";
  // Every channel of a multi-channel page holds glyph data, but for the alpha
  // an RGB page lacks, which reads as one.
  if (page == BmPage::Grey || f.channels != 1) {
    font.common.alpha_chnl = f.channels == 4 ? 0 : 4;
    font.common.red_chnl = font.common.green_chnl = font.common.blue_chnl = 0;
  }
  font.pages.push_back(Str(page_name));
  return font;
}

BmChar bm_char(const gm_glyph &g, i32 ascender) {
  BmChar c;
  c.id = u32(g.code);
  c.x = i64{g.x} + 1;
  c.y = i64{g.y} + 1;
  c.width = g.width;
  c.height = g.rows;
  c.xoffset = g.bearing_x;
  c.yoffset = i64{ascender} - g.bearing_y;
  c.xadvance = g.advance;
  c.glyph = g.glyph_index;
  c.font = g.font_number;
  return c;
}

} // namespace

BakedAsBmFont describe_as_bmfont(const LoadedFont &loaded, BmPage page, StrView page_name) {
  const gm_font &f = loaded.font;
  BakedAsBmFont baked{font_header(loaded, page, page_name), {}};
  std::vector<BmChar> &chars = baked.font.chars;
  chars.reserve(f.glyph_count);
  for (size_t i = 0; i < f.glyph_count; ++i) {
    const gm_glyph g = gm_font_glyph(&f, i);
    if (g.code < 0)
      throw Err(
          fmt(loaded.fnt_path, ": code point ", g.code, " is negative; no BMFont id holds it"));
    // Records are sorted by code point, so a repeat follows its first.
    if (!chars.empty() && chars.back().id == u32(g.code)) {
      if (baked.duplicates.empty() || baked.duplicates.back() != u32(g.code))
        baked.duplicates.push_back(u32(g.code));
      continue;
    }
    chars.push_back(bm_char(g, f.ascender));
  }
  baked.font.shaped = f.shaped != 0;
  for (size_t i = f.glyph_count; i < f.record_count; ++i)
    baked.font.glyphs.push_back(bm_char(gm_font_record(&f, i), f.ascender));
  return baked;
}

Path bmfont_page_path(const Path &out, u64 id, u64 count) {
  const StrView text = out.view();
  const u64 slash = text.find_last('/');
  const StrView dir = slash == StrView::npos ? StrView() : text.sub(0, slash + 1);
  const StrView name = out.name();
  const u64 dot = name.find_last('.');
  const Str last_id = fmt(count == 0 ? 0 : count - 1);
  Str number = fmt(id);
  while (number.len < last_id.len) number = fmt('0', number);
  return Path(fmt(dir, dot == StrView::npos ? name : name.sub(0, dot), '_', number, ".png"));
}

Bytes bmfont_page_png(const Image &atlas, BmPage page) {
  if (page == BmPage::Grey || atlas.channels != 1) return encode_png(atlas);
  // White everywhere, the coverage in alpha: tinting and blending both work.
  const u64 pixels = u64(atlas.width) * u64(atlas.height);
  std::vector<u8> rgba(pixels * 4, 255);
  for (u64 i = 0; i < pixels; ++i) rgba[i * 4 + 3] = atlas.pixels[i];
  return encode_png(rgba.data(), atlas.width, atlas.height, 4);
}
