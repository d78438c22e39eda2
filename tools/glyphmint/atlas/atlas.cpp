#include "tools/glyphmint/atlas/atlas.h"

#include "core/log.h"
#include "shared/png.h"

#include <algorithm>
#include <cstring>

void CellBudget::take(u32 width, u32 rows) {
  const u64 cell_width = u64{width} + 2;
  const u64 cell_height = u64{rows} + 2;
  if (cell_width > k_atlas_max_width || cell_height > k_atlas_max_height)
    log_critical("Cannot figure out size for atlas");
  add(cell_width * cell_height);
}

void CellBudget::add(u64 cell_area) {
  area += cell_area;
  if (area > u64{k_atlas_max_width} * k_atlas_max_height)
    log_critical("Cannot figure out size for atlas");
}

AtlasSize pack_glyphs(List<RasterGlyph> &glyphs) {
  std::unique_ptr<RectSize[]> cells(new RectSize[glyphs.count]);
  std::unique_ptr<RectCorner[]> corners(new RectCorner[glyphs.count]);
  u64 i = 0;
  for (const RasterGlyph &glyph : glyphs) cells[i++] = {glyph.width + 2, glyph.rows + 2};
  AtlasSize size;
  if (!pack_in_atlas_series(ArrView<const RectSize>(cells.get(), glyphs.count), {},
                            ArrView<RectCorner>(corners.get(), glyphs.count), size))
    log_critical("Cannot figure out size for atlas");
  i = 0;
  for (RasterGlyph &glyph : glyphs) {
    glyph.x = corners[i].x;
    glyph.y = corners[i++].y;
  }
  log_info("Atlas size: ", size.width, 'x', size.height);
  return size;
}

AtlasDrawing::AtlasDrawing(const List<RasterGlyph> &glyphs, AtlasSize size, i32 channels)
    : atlas_(Image::unfilled(size.width, size.height, channels)) {
  for (const RasterGlyph &glyph : glyphs) {
    if (glyph.width == 0 || glyph.rows == 0) continue;
    if (glyph.channels != channels)
      log_critical("Glyph ", glyph.code, " has ", glyph.channels, " channels, the atlas ",
                   channels);
    by_top_.push_back(&glyph);
  }
  std::stable_sort(by_top_.begin(), by_top_.end(),
                   [](const RasterGlyph *a, const RasterGlyph *b) { return a->y < b->y; });
}

void AtlasDrawing::draw_rows(u64 first, u64 end) {
  const u64 stride = atlas_.stride();
  std::memset(atlas_.pixels.get() + first * stride, 0, (end - first) * stride);
  // A bitmap starts a row below its cell's top.
  while (next_ < by_top_.size() && u64(by_top_[next_]->y) + 1 < end)
    open_.push_back(by_top_[next_++]);
  const u64 channels = u64(atlas_.channels);
  std::erase_if(open_, [&](const RasterGlyph *glyph) {
    const u64 top = u64(glyph->y) + 1;
    const u64 bottom = top + glyph->rows;
    const u64 row_bytes = u64{glyph->width} * channels;
    u8 *left = atlas_.pixels.get() + (u64(glyph->x) + 1) * channels;
    for (u64 r = std::max(top, first); r < std::min(bottom, end); ++r)
      std::memcpy(left + r * stride, glyph->pixels + (r - top) * row_bytes, row_bytes);
    return bottom <= end;
  });
}

Image fill_atlas(const List<RasterGlyph> &glyphs, AtlasSize size, i32 channels) {
  AtlasDrawing drawing(glyphs, size, channels);
  drawing.draw_rows(0, u64(size.height));
  return static_cast<Image &&>(drawing.image());
}

Bytes encode_atlas_png(const List<RasterGlyph> &glyphs, AtlasSize size, i32 channels, int threads) {
  AtlasDrawing drawing(glyphs, size, channels);
  // Encoded in memory and written with checked writes, since stbi_write_png
  // would not notice a failed write (a full disk).
  try {
    return encode_png(drawing.image(),
                      {threads, [&drawing](u64 first, u64 end) { drawing.draw_rows(first, end); }});
  } catch (const Err &) {
    log_critical("Failed to write png");
  }
}
