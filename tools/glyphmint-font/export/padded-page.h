// An export's page laid out anew with room around each glyph: padding inside
// its rectangle, so a shader can draw an outline or a shadow without it being
// cut off, and spacing between rectangles, so filtering and mipmaps do not
// bleed one glyph into the next.
#pragma once

#include "tools/glyphmint-font/export/bmfont.h"
#include "tools/glyphmint-font/baked/loaded-font.h"

#include <optional>

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

/// Packs the font's chars anew, in their order, with shared/atlas-pack on the
/// smallest page of the atlas series that holds them. A char's rectangle is
/// its bitmap with the padding around it, transparent (0); each is packed
/// with the spacing's columns at its left and rows at its top, into the page
/// less the spacing's columns at its right and rows at its bottom, so
/// rectangles lie the spacing apart and from every edge. A rectangle 0 wide
/// or high (an empty bitmap without padding) takes no room, at (spacing H,
/// spacing V). xoffset and yoffset move by the left and up padding, the info
/// record's padding grows by the padding and its spacing is the spacing.
/// Returns the page, its pixels copied from the atlas where each char's x, y,
/// width and height said; nullopt, and the font untouched, when no page holds
/// the rectangles.
[[nodiscard]] std::optional<Image> lay_out_padded_page(BmFont &font, const Image &atlas,
                                                           const GlyphRoom &room);
