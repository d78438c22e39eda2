// Packing rectangles into the smallest page of one series of atlas sizes with
// stb_rect_pack's skyline packer, keeping their list order. The baker lays out
// every atlas with it, and export lays out padded pages with it, so a change
// here moves every glyph of every bake: renderers depend on the layout.
#pragma once

#include "core/types.h"

/// The largest atlas the size series holds; 4096 x 4096 is never tried.
inline constexpr i32 k_atlas_max_width = 2048;
inline constexpr i32 k_atlas_max_height = 4096;

struct AtlasSize {
  i32 width = 0;
  i32 height = 0;
};

/// A rectangle to pack; at most k_atlas_max_width x k_atlas_max_height, or it
/// cannot be packed.
struct RectSize {
  u32 width = 0;
  u32 height = 0;
};

/// A packed rectangle's top-left corner.
struct RectCorner {
  i32 x = 0;
  i32 y = 0;
};

/// Finds the smallest page of the series 256x256, 256x512, 512x512, ...,
/// 2048x4096 (the height grows first; past it 4096x4096 when `largest` allows),
/// each size capped at `largest`, that holds every rectangle, less
/// `keep_free` columns at its right and rows at its bottom, and stores each
/// rectangle's corner in `corners` (as many as `rects`). Each rectangle is one
/// stbrp_pack_rects call in list order (stb sorts within a call), on as many
/// nodes as rectangles, so stb rounds widths up to multiples of
/// ceil(width / count). A rectangle 0 wide or high takes no room, at (0, 0).
/// No rectangles settle at the first size. Returns false, `size` and
/// `corners` unspecified, when no page of the series holds them.
[[nodiscard]] bool pack_in_atlas_series(ArrView<const RectSize> rects, AtlasSize keep_free,
                                        ArrView<RectCorner> corners, AtlasSize &size,
                                        AtlasSize largest = {k_atlas_max_width,
                                                             k_atlas_max_height});

/// Packs the rectangles in list order onto pages of `page` size, less
/// `keep_free` as above: onto page 0 until one does not fit, that one and the
/// rest onto page 1, and so on (a page is never gone back to). Stores each
/// rectangle's corner and page, and returns the number of pages; 0, the
/// outputs unspecified, when a rectangle does not fit an empty page.
[[nodiscard]] u64 pack_on_pages(ArrView<const RectSize> rects, AtlasSize keep_free, AtlasSize page,
                                ArrView<RectCorner> corners, ArrView<u32> pages);
