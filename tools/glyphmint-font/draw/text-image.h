// A UTF-8 text laid out with a baked font and drawn into an image by
// the rules `render` documents, exact enough to be checked pixel for pixel.
#pragma once

#include "tools/glyphmint-font/baked/loaded-font.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

/// Amounts added to the pen between neighbouring glyphs of a line, as the
/// reader's layout takes them; no function means no kerning.
struct TextKerning {
  gm_kerning_fn amount = nullptr;
  void *user = nullptr;
};

/// The rectangle that holds everything drawn, in the frame where line 0's
/// box starts at (0, 0); left and top are inside it, right and bottom not.
struct TextBounds {
  i64 left = INT64_MAX;
  i64 top = INT64_MAX;
  i64 right = INT64_MIN;
  i64 bottom = INT64_MIN;

  /// Widens the bounds to hold the rectangle between the two corners, either
  /// of which may be the smaller: a hostile font's advances and line height
  /// can be negative.
  void hold(i64 x0, i64 y0, i64 x1, i64 y1);
};

/// A glyph bitmap to draw: its rectangle in the atlas and where its top-left
/// pixel goes, in the frame where line 0's box starts at (0, 0).
struct PlacedBitmap {
  i64 src_x = 0;
  i64 src_y = 0;
  i64 width = 0;
  i64 height = 0;
  i64 x = 0;
  i64 y = 0;
};

/// A glyph that shaping a text gave and the bake lacks.
struct MissingGlyph {
  u32 glyph_index = 0;
  u32 code_point = 0; ///< the first character it was shaped from
};

/// What laying a text out found: where it draws and what stops it.
struct TextLayout {
  TextBounds bounds; ///< every line's box and glyph bitmap; partial after invalid UTF-8
  /// The bitmaps that are not empty, in the order they are drawn.
  std::vector<PlacedBitmap> bitmaps;
  /// The code points the font lacks, each once, in the order the text has them.
  std::vector<u32> missing;
  /// Glyphs a shaped text needs that the bake lacks, each once, in the text's order.
  std::vector<MissingGlyph> missing_glyphs;
  /// The byte offset where the text stops being valid UTF-8; the layout ends there.
  std::optional<size_t> invalid_utf8_at;

  /// Places a glyph's bitmap with its top-left pixel at (x, y), widening the
  /// bounds; an empty bitmap (a space's) holds no pixel, so it asks for no room.
  void place(const gm_glyph &glyph, i64 x, i64 y);
};

/// Lays the whole text out: line i's box spans x from 0 to its advance and y
/// from i * line height to (i + 1) * line height, and each glyph's bitmap
/// sits at (pen + bearing x, ascender + i * line height - bearing y).
[[nodiscard]] TextLayout lay_out_text(const LoadedFont &font, std::string_view text,
                                      TextKerning kerning);

/// The largest scale render takes.
inline constexpr i64 k_max_text_scale = 16;

/// The bounds with every position multiplied by the scale (1 to
/// k_max_text_scale), stopping at the 64-bit limits rather than overflowing.
[[nodiscard]] TextBounds scaled(const TextBounds &bounds, i64 scale);

/// The layout's bitmaps drawn, every position multiplied by the scale and
/// moved so that the scaled bounds' top-left corner is (0, 0). The image is
/// greyscale on a background of 0, overlapping pixels keeping the larger
/// value, but for a colour font: RGBA on transparent, each glyph composited
/// over what lies under it with its alpha. Coverage and colour glyphs' atlas
/// pixels become scale x scale blocks. A distance field's glyph, of any kind,
/// is drawn from its field: the output pixel whose centre lies at
/// u = (x + 0.5) / scale - 0.5, v = (y + 0.5) / scale - 0.5 in the glyph's
/// bitmap takes field_value there and holds field_coverage of it.
/// The scaled bounds' width and height must be from 1 to INT32_MAX.
[[nodiscard]] Image draw_text(const LoadedFont &font, const TextLayout &layout, i64 scale = 1);
