#include "tool/atlas.h"

#include "core/log.h"

#include <cstring>

#include <stb_image_write.h>
#include <stb_rect_pack.h>

namespace {

// Packs every glyph into width x height; false at the first that does not fit.
bool try_pack(List<Glyph> &glyphs, i32 width, i32 height) {
  const int node_count = static_cast<int>(glyphs.count);
  std::unique_ptr<stbrp_node[]> nodes(new stbrp_node[glyphs.count]);
  stbrp_context context;
  // The node count is the glyph count, not the width: stb_rect_pack then
  // quantises cell widths, and the layout users rely on depends on it.
  stbrp_init_target(&context, width, height, nodes.get(), node_count);
  for (Glyph &glyph : glyphs) {
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

struct PngSink {
  const File *file;
  bool ok;
};

void write_to_file(void *context, void *data, int size) {
  auto *sink = static_cast<PngSink *>(context);
  const ArrView<const u8> bytes(static_cast<const u8 *>(data), static_cast<u64>(size));
  sink->ok = sink->ok && sink->file->try_write_bytes(bytes);
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

AtlasSize pack_glyphs(List<Glyph> &glyphs) {
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

std::unique_ptr<u8[]> fill_atlas(const List<Glyph> &glyphs, AtlasSize size) {
  const u64 stride = static_cast<u64>(size.width);
  std::unique_ptr<u8[]> atlas(new u8[stride * static_cast<u64>(size.height)]());
  for (const Glyph &glyph : glyphs) {
    if (glyph.width == 0 || glyph.rows == 0) continue;
    u8 *corner =
        atlas.get() + (static_cast<u64>(glyph.y) + 1) * stride + static_cast<u64>(glyph.x) + 1;
    for (u32 r = 0; r < glyph.rows; ++r)
      std::memcpy(corner + r * stride, glyph.pixels + u64{r} * glyph.width, glyph.width);
  }
  return atlas;
}

void write_atlas_png(const Path &image_path, const u8 *atlas, AtlasSize size) {
  // stbi_write_png would not notice a failed write (a full disk); encoding to
  // a callback lets every byte go through checked writes instead.
  // The previous atlas of this name stays until the new one is complete.
  AtomicFile out;
  if (!out.try_open(image_path)) log_critical("Failed to write png");
  PngSink sink{&out.file(), true};
  const int encoded =
      stbi_write_png_to_func(write_to_file, &sink, size.width, size.height, 1, atlas, size.width);
  if (encoded == 0 || !sink.ok) {
    out.discard(); // the fatal stop runs no destructors
    log_critical("Failed to write png");
  }
  if (!out.try_commit()) log_critical("Failed to write png");
  log_info("Image written: ", image_path);
}
