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
  bool grow_height = true;
  while (!try_pack(rects, size.width - keep_free.width, size.height - keep_free.height, corners)) {
    if (grow_height)
      size.height *= 2;
    else
      size.width *= 2;
    grow_height = !grow_height;
    if (size.width > k_atlas_max_width) return false;
  }
  return true;
}
