#include "tools/glyphmint-font/export/padded-page.h"

#include "core/fmt.h"

#include <cstring>
#include <vector>

namespace {

enum Side { Up, Right, Down, Left };

// The rectangle to pack: the bitmap with its padding, and the spacing at its
// left and top when it has any area to keep apart.
RectSize packed_size(const BmChar &c, const GlyphRoom &room) {
  const u64 width = u64(c.width) + u64(room.padding[Left]) + u64(room.padding[Right]);
  const u64 height = u64(c.height) + u64(room.padding[Up]) + u64(room.padding[Down]);
  if (width == 0 || height == 0) return {};
  // A bitmap lies inside the atlas, so it is far below u32's limits.
  return {u32(width + u64(room.spacing[0])), u32(height + u64(room.spacing[1]))};
}

void copy_bitmap(const Image &from, const BmChar &c, Image &to, i64 x, i64 y) {
  for (i64 row = 0; row < c.height; ++row)
    std::memcpy(to.at(x, y + row), from.at(c.x, c.y + row), u64(c.width) * u64(from.channels));
}

// Where each rectangle goes: one page of the series when it holds them all,
// else pages of the largest size. The pages' sizes, or none.
std::vector<AtlasSize> place(ArrView<const RectSize> rects, AtlasSize keep_free, AtlasSize largest,
                             ArrView<RectCorner> corners, ArrView<u32> pages) {
  if (largest.width <= keep_free.width || largest.height <= keep_free.height) return {};
  AtlasSize size;
  if (pack_in_atlas_series(rects, keep_free, corners, size, largest)) {
    for (u32 &page : pages) page = 0;
    return {size};
  }
  return std::vector<AtlasSize>(pack_on_pages(rects, keep_free, largest, corners, pages), largest);
}

} // namespace

bool try_parse_glyph_room(StrView text, ArrView<i32> values) {
  StrView parts[5];
  const ArrView<StrView> given = text.split(',', ArrView<StrView>(parts, values.count + 1));
  if (given.count != 1 && given.count != values.count) return false;
  for (u64 i = 0; i < given.count; ++i) {
    int value = 0;
    if (!StrParser<int>::try_parse(given[i], value) || value < 0 || value > k_max_glyph_room)
      return false;
    values[i] = value;
  }
  for (u64 i = given.count; i < values.count; ++i) values[i] = values[0];
  return true;
}

bool try_parse_page_size(StrView text, AtlasSize &size) {
  StrView parts[3];
  const ArrView<StrView> given = text.split('x', ArrView<StrView>(parts, 3));
  if (given.count > 2) return false;
  i32 sides[2] = {};
  for (u64 i = 0; i < given.count; ++i) {
    // Digits only: no sign, no blanks.
    if (given[i].empty() || given[i].starts_with('+') || given[i].starts_with('-')) return false;
    if (!StrParser<i32>::try_parse(given[i], sides[i]) || sides[i] < 64 || sides[i] > 4096 ||
        (sides[i] & (sides[i] - 1)) != 0)
      return false;
  }
  size = {sides[0], given.count == 2 ? sides[1] : sides[0]};
  return true;
}

AtlasSize page_room_of(const BmChar &c, const GlyphRoom &room) {
  const RectSize rect = packed_size(c, room);
  if (rect.width == 0 || rect.height == 0) return {};
  return {i32(i64{rect.width} + room.spacing[0]), i32(i64{rect.height} + room.spacing[1])};
}

const BmChar *char_larger_than_page(const BmFont &font, const GlyphRoom &room, AtlasSize largest) {
  for (const BmChar &c : font.chars) {
    const AtlasSize needs = page_room_of(c, room);
    if (needs.width > largest.width || needs.height > largest.height) return &c;
  }
  return nullptr;
}

std::optional<std::vector<Image>> lay_out_pages(BmFont &font, const Image &atlas,
                                                const GlyphRoom &room, AtlasSize largest) {
  // A shaped bake's glyphs without a code point go after the chars.
  std::vector<BmChar *> placed;
  for (std::vector<BmChar> *group : {&font.chars, &font.glyphs})
    for (BmChar &c : *group) placed.push_back(&c);
  std::vector<RectSize> rects;
  rects.reserve(placed.size());
  for (const BmChar *c : placed) rects.push_back(packed_size(*c, room));
  std::vector<RectCorner> corners(rects.size());
  std::vector<u32> page_of(rects.size());
  const std::vector<AtlasSize> sizes =
      place(ArrView<const RectSize>(rects.data(), rects.size()), {room.spacing[0], room.spacing[1]},
            largest, ArrView<RectCorner>(corners.data(), corners.size()),
            ArrView<u32>(page_of.data(), page_of.size()));
  if (sizes.empty()) return std::nullopt;

  std::vector<Image> pages;
  for (const AtlasSize &size : sizes) pages.emplace_back(size.width, size.height, atlas.channels);
  for (u64 i = 0; i < placed.size(); ++i) {
    BmChar &c = *placed[i];
    const i64 x = i64{corners[i].x} + room.spacing[0];
    const i64 y = i64{corners[i].y} + room.spacing[1];
    copy_bitmap(atlas, c, pages[page_of[i]], x + room.padding[Left], y + room.padding[Up]);
    c.page = page_of[i];
    c.x = x;
    c.y = y;
    c.width += room.padding[Left] + room.padding[Right];
    c.height += room.padding[Up] + room.padding[Down];
    c.xoffset -= room.padding[Left];
    c.yoffset -= room.padding[Up];
  }
  for (int side = Up; side <= Left; ++side) font.info.padding[side] += room.padding[side];
  font.info.spacing[0] = room.spacing[0];
  font.info.spacing[1] = room.spacing[1];
  font.common.scale_w = sizes[0].width;
  font.common.scale_h = sizes[0].height;
  return pages;
}
