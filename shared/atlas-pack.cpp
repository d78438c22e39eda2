#include "shared/atlas-pack.h"

#include <algorithm>
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
                          ArrView<RectCorner> corners, AtlasSize &size, AtlasSize largest) {
  const auto capped = [&](AtlasSize s) {
    return AtlasSize{std::min(s.width, largest.width), std::min(s.height, largest.height)};
  };
  AtlasSize step{256, 256};
  size = capped(step);
  // stb_rect_pack needs at least one node; an empty list fits the first size.
  if (rects.count == 0) return true;
  // Larger ones would not fit any page, nor stb's int coordinates.
  for (const RectSize &rect : rects)
    if (rect.width > u32(largest.width) || rect.height > u32(largest.height)) return false;
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
    // Sizes the cap makes equal to one tried already are skipped.
    const AtlasSize tried = size;
    while (size.width == tried.width && size.height == tried.height) {
      if (step.width >= largest.width && step.height >= largest.height) return false;
      if (grow_height)
        step.height *= 2;
      else
        step.width *= 2;
      grow_height = !grow_height;
      size = capped(step);
    }
  }
  return true;
}

u64 pack_on_pages(ArrView<const RectSize> rects, AtlasSize keep_free, AtlasSize page,
                  ArrView<RectCorner> corners, ArrView<u32> pages) {
  const int width = page.width - keep_free.width;
  const int height = page.height - keep_free.height;
  if (width <= 0 || height <= 0) return 0;
  // As many nodes as columns: pages are not the series' layout, which users
  // rely on, so stb may place widths exactly.
  std::unique_ptr<stbrp_node[]> nodes(new stbrp_node[u64(width)]);
  stbrp_context context;
  u64 count = 0;
  for (u64 i = 0; i < rects.count; ++i) {
    stbrp_rect rect{};
    rect.w = static_cast<stbrp_coord>(rects[i].width);
    rect.h = static_cast<stbrp_coord>(rects[i].height);
    if (rects[i].width > u32(width) || rects[i].height > u32(height)) return 0;
    if (count != 0) stbrp_pack_rects(&context, &rect, 1);
    if (count == 0 || !rect.was_packed) {
      stbrp_init_target(&context, width, height, nodes.get(), width);
      ++count;
      stbrp_pack_rects(&context, &rect, 1);
    }
    corners[i] = {rect.x, rect.y};
    pages[i] = u32(count - 1);
  }
  return count;
}
