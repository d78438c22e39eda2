#include "shared/atlas-pack.h"

#include <memory>

#include <stb_rect_pack.h>

namespace {

// Packs every rectangle into width x height; false at the first that does not fit.
bool try_pack(ArrView<const RectSize> rects, i32 width, i32 height, ArrView<RectCorner> corners) {
  const int node_count = static_cast<int>(rects.count);
  std::unique_ptr<stbrp_node[]> nodes(new stbrp_node[rects.count]);
  stbrp_context context;
  // The node count is the rectangle count, not the width: stb_rect_pack then
  // quantises widths, and the layout users rely on depends on it.
  stbrp_init_target(&context, width, height, nodes.get(), node_count);
  for (u64 i = 0; i < rects.count; ++i) {
    stbrp_rect rect{};
    rect.id = 0;
    rect.w = static_cast<stbrp_coord>(rects[i].width);
    rect.h = static_cast<stbrp_coord>(rects[i].height);
    // One rectangle per call keeps the list order: stb sorts within a call.
    stbrp_pack_rects(&context, &rect, 1);
    if (!rect.was_packed) return false;
    corners[i] = {rect.x, rect.y};
  }
  return true;
}

} // namespace

bool pack_in_atlas_series(ArrView<const RectSize> rects, AtlasSize keep_free,
                          ArrView<RectCorner> corners, AtlasSize &size) {
  size = {256, 256};
  // stb_rect_pack needs at least one node; an empty list fits the first size.
  if (rects.count == 0) return true;
  // Larger ones would not fit any page, nor stb's int coordinates.
  for (const RectSize &rect : rects)
    if (rect.width > u32{k_atlas_max_width} || rect.height > u32{k_atlas_max_height}) return false;
  u64 cells_area = 0;
  for (const RectSize &rect : rects) cells_area += u64{rect.width} * rect.height;
  // A size with less room than the cells' area cannot hold them: skipping it
  // changes nothing but the time that a whole-font bake spends packing.
  const auto too_small = [&] {
    const i64 width = i64{size.width} - keep_free.width;
    const i64 height = i64{size.height} - keep_free.height;
    return width > 0 && height > 0 && u64(width) * u64(height) < cells_area;
  };
  bool grow_height = true;
  while (too_small() ||
         !try_pack(rects, size.width - keep_free.width, size.height - keep_free.height, corners)) {
    if (grow_height)
      size.height *= 2;
    else
      size.width *= 2;
    grow_height = !grow_height;
    if (size.width > k_atlas_max_width) return false;
  }
  return true;
}
