#include "tools/glyphmint-font/export/padded-page.h"

#include "core/fmt.h"
#include "shared/atlas-pack.h"

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

std::optional<Image> lay_out_padded_page(BmFont &font, const Image &atlas,
                                             const GlyphRoom &room) {
  std::vector<RectSize> rects;
  rects.reserve(font.chars.size());
  for (const BmChar &c : font.chars) rects.push_back(packed_size(c, room));
  std::vector<RectCorner> corners(rects.size());
  AtlasSize size;
  const AtlasSize keep_free{room.spacing[0], room.spacing[1]};
  if (!pack_in_atlas_series(ArrView<const RectSize>(rects.data(), rects.size()), keep_free,
                            ArrView<RectCorner>(corners.data(), corners.size()), size))
    return std::nullopt;

  Image page(size.width, size.height, atlas.channels);
  for (u64 i = 0; i < font.chars.size(); ++i) {
    BmChar &c = font.chars[i];
    const i64 x = i64{corners[i].x} + room.spacing[0];
    const i64 y = i64{corners[i].y} + room.spacing[1];
    copy_bitmap(atlas, c, page, x + room.padding[Left], y + room.padding[Up]);
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
  font.common.scale_w = size.width;
  font.common.scale_h = size.height;
  return page;
}
