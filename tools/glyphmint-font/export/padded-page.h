// An export's pages laid out anew with room around each glyph: padding inside
// its rectangle, so a shader can draw an outline or a shadow without it being
// cut off, and spacing between rectangles, so filtering and mipmaps do not
// bleed one glyph into the next.
#pragma once

#include "shared/atlas-pack.h"
#include "tools/glyphmint-font/baked/loaded-font.h"
#include "tools/glyphmint-font/export/bmfont.h"

#include <optional>
#include <vector>

/// The most padding on a side, and spacing on an axis, that export takes.
inline constexpr i32 k_max_glyph_room = 64;

struct GlyphRoom {
  i32 padding[4] = {}; ///< up, right, down, left
  i32 spacing[2] = {}; ///< horizontal, vertical
};

/// Reads "N", every value N, or exactly `values.count` comma-separated
/// integers, each from 0 to k_max_glyph_room: "2" or "1,2,3,4" for padding.
/// False, `values` unspecified, for any other text.
[[nodiscard]] bool try_parse_glyph_room(StrView text, ArrView<i32> values);

/// Reads a page size "W" or "WxH", each a power of two from 64 to 4096 (H is
/// W when not given): "512" => 512x512, "1024x256". False, `size`
/// untouched, for any other text.
[[nodiscard]] bool try_parse_page_size(StrView text, AtlasSize &size);

/// The page a char's rectangle takes alone: its bitmap with the padding, and
/// the spacing on both sides of it; 0x0 for one without area, which takes no
/// room.
[[nodiscard]] AtlasSize page_room_of(const BmChar &c, const GlyphRoom &room);

/// The first char whose page_room_of is wider or higher than `largest`, the
/// one that fits no page; null when each fits alone.
[[nodiscard]] const BmChar *char_larger_than_page(const BmFont &font, const GlyphRoom &room,
                                                  AtlasSize largest);

/// Packs the font's chars anew, in their order, then its glyphs, with shared/atlas-pack: on
/// the smallest page of the atlas series, capped at `largest`, that holds
/// them, or else on as many pages of `largest` as they need, each char's
/// page its own. A char's rectangle is its bitmap with the padding around
/// it, transparent (0); each is packed with the spacing's columns at its left
/// and rows at its top, into the page less the spacing's columns at its
/// right and rows at its bottom, so rectangles lie the spacing apart and
/// from every edge. A rectangle 0 wide or high (an empty bitmap without
/// padding) takes no room, at (spacing H, spacing V). xoffset and yoffset
/// move by the left and up padding, the info record's padding grows by the
/// padding and its spacing is the spacing, and scaleW and scaleH are the
/// page size. Returns the pages, their pixels copied from the atlas where
/// each char's x, y, width and height said; nullopt, and the font untouched,
/// when a rectangle does not fit a page of `largest`.
[[nodiscard]] std::optional<std::vector<Image>>
lay_out_pages(BmFont &font, const Image &atlas, const GlyphRoom &room, AtlasSize largest);
