#include "tools/glyphmint/atlas/atlas.h"

#include "core/log.h"
#include "shared/png.h"

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

Image fill_atlas(const List<RasterGlyph> &glyphs, AtlasSize size, i32 channels) {
  Image atlas(size.width, size.height, channels);
  for (const RasterGlyph &glyph : glyphs) {
    if (glyph.width == 0 || glyph.rows == 0) continue;
    if (glyph.channels != channels)
      log_critical("Glyph ", glyph.code, " has ", glyph.channels, " channels, the atlas ",
                   channels);
    u8 *corner = atlas.at(i64{glyph.x} + 1, i64{glyph.y} + 1);
    const u64 row_bytes = u64{glyph.width} * u64(channels);
    for (u32 r = 0; r < glyph.rows; ++r)
      std::memcpy(corner + r * atlas.stride(), glyph.pixels + r * row_bytes, row_bytes);
  }
  return atlas;
}

Bytes encode_atlas_png(const Image &atlas) {
  // Encoded in memory and written with checked writes, since stbi_write_png
  // would not notice a failed write (a full disk).
  try {
    return encode_png(atlas);
  } catch (const Err &) {
    log_critical("Failed to write png");
  }
}
