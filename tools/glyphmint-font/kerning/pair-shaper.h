// The shaping that defines a kerning pair's amount: HarfBuzz on the two-
// character text, left to right, the script the text shows, the font's
// default language system and features.
#pragma once

#include "core/types.h"
#include "tools/glyphmint-font/kerning/hb-ptr.h"

#include <hb.h>

/// A code point with the glyph and advance HarfBuzz gives it on its own.
struct MappedCode {
  u32 code = 0;
  u32 glyph = 0;
  hb_position_t advance = 0;
};

class PairShaper {
public:
  /// Shapes with `font`, which must outlive the shaper. Throws Err "Out of
  /// memory" when HarfBuzz cannot make its buffer.
  explicit PairShaper(hb_font_t *font);

  /// The amount in 1/64 pixels: where b is drawn from a's origin (a's shaped
  /// advance plus b's x offset) less a's own advance; false when shaping
  /// changed the glyphs, which gives the pair no amount.
  bool amount(const MappedCode &a, const MappedCode &b, i64 &out);

private:
  hb_font_t *font_;
  HbPtr<hb_buffer_t> buffer_;
};
