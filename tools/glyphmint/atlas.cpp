#include "tools/glyphmint/atlas.h"

#include "core/log.h"
#include "shared/png.h"

#include <cstring>

#include <stb_rect_pack.h>

namespace {

// Packs every glyph into width x height; false at the first that does not fit.
bool try_pack(List<RasterGlyph> &glyphs, i32 width, i32 height) {
  const int node_count = static_cast<int>(glyphs.count);
  std::unique_ptr<stbrp_node[]> nodes(new stbrp_node[glyphs.count]);
  stbrp_context context;
  // The node count is the glyph count, not the width: stb_rect_pack then
  // quantises cell widths, and the layout users rely on depends on it.
  stbrp_init_target(&context, width, height, nodes.get(), node_count);
  for (RasterGlyph &glyph : glyphs) {
    stbrp_rect rect{};
    rect.id = 0;
    rect.w = static_cast<stbrp_coord>(glyph.width + 2);
    rect.h = static_cast<stbrp_coord>(glyph.rows + 2);
    // One rectangle per call keeps the list order: stb sorts within a call.
    stbrp_pack_rects(&context, &rect, 1);
    if (!rect.was_packed) return false;
    glyph.x = rect.x;
    glyph.y = rect.y;
  }
  return true;
}

} // namespace

void CellBudget::take(u32 width, u32 rows) {
  const u64 cell_width = u64{width} + 2;
  const u64 cell_height = u64{rows} + 2;
  area += cell_width * cell_height;
  if (cell_width > k_atlas_max_width || cell_height > k_atlas_max_height ||
      area > u64{k_atlas_max_width} * k_atlas_max_height)
    log_critical("Cannot figure out size for atlas");
}

AtlasSize pack_glyphs(List<RasterGlyph> &glyphs) {
  AtlasSize size{256, 256};
  // stb_rect_pack needs at least one node; an empty list fits the first size.
  if (glyphs.count != 0) {
    bool grow_height = true;
    while (!try_pack(glyphs, size.width, size.height)) {
      if (grow_height)
        size.height *= 2;
      else
        size.width *= 2;
      grow_height = !grow_height;
      if (size.width == 4096 && size.height == 4096)
        log_critical("Cannot figure out size for atlas");
    }
  }
  log_info("Atlas size: ", size.width, 'x', size.height);
  return size;
}

std::unique_ptr<u8[]> fill_atlas(const List<RasterGlyph> &glyphs, AtlasSize size) {
  const u64 stride = static_cast<u64>(size.width);
  std::unique_ptr<u8[]> atlas(new u8[stride * static_cast<u64>(size.height)]());
  for (const RasterGlyph &glyph : glyphs) {
    if (glyph.width == 0 || glyph.rows == 0) continue;
    u8 *corner =
        atlas.get() + (static_cast<u64>(glyph.y) + 1) * stride + static_cast<u64>(glyph.x) + 1;
    for (u32 r = 0; r < glyph.rows; ++r)
      std::memcpy(corner + r * stride, glyph.pixels + u64{r} * glyph.width, glyph.width);
  }
  return atlas;
}

void write_atlas_png(const Path &image_path, const u8 *atlas, AtlasSize size) {
  // Encoded in memory and written with checked writes, since stbi_write_png
  // would not notice a failed write (a full disk). The previous atlas of
  // this name stays until the new one is complete.
  Bytes png;
  try {
    png = encode_png(atlas, size.width, size.height, 1);
  } catch (const Err &) {
    log_critical("Failed to write png");
  }
  AtomicFile out;
  if (!out.try_open(image_path)) log_critical("Failed to write png");
  if (!out.file().try_write_bytes(png.view())) {
    out.discard(); // the fatal stop runs no destructors
    log_critical("Failed to write png");
  }
  if (!out.try_commit()) log_critical("Failed to write png");
  log_info("Image written: ", image_path);
}
