// One rasterised glyph as the baker packs it: its bitmap, which it owns
// (copies duplicate it), and where it sits on a line and, once packed, in the
// atlas.
#pragma once

#include "core/types.h"

#include <memory>

struct PendingField;

struct RasterGlyph {
  u8 *pixels = nullptr; ///< width x rows pixels, top row first; null when empty
  u64 pixels_size = 0;  ///< in bytes
  u32 width = 0;
  u32 rows = 0;
  i32 channels = 1;    ///< bytes a pixel, the atlas's: atlas_channels(mode)
  i32 bearing_x = 0;   ///< pen position to the bitmap's left column
  i32 bearing_y = 0;   ///< baseline up to the bitmap's top row
  i32 advance = 0;     ///< whole pixels, as recorded_advance gives it
  i32 x = 0;           ///< the padded cell's left edge in the atlas, once packed
  i32 y = 0;           ///< the padded cell's top edge in the atlas, once packed
  i32 reserved = 0;    ///< the kind and spread, as gm_kind_reserved gives them
  i32 code = 0;        ///< GM_FNT_NO_CODE for a glyph no code point reaches
  u32 glyph_index = 0; ///< in the font that supplied it
  u32 font_number = 0; ///< 0 the settings' font, 1.. its fallbacks in order
  /// A field whose pixels are still to be made (draw_pending_field), set
  /// when a bake asked for its fields later; width and rows are already its own.
  std::shared_ptr<const PendingField> pending;

  RasterGlyph() = default;
  RasterGlyph(const RasterGlyph &o);
  RasterGlyph(RasterGlyph &&o) noexcept;
  RasterGlyph &operator=(const RasterGlyph &o);
  RasterGlyph &operator=(RasterGlyph &&o) noexcept;
  ~RasterGlyph() { delete[] pixels; }
};
