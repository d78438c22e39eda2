// Which code points a font file has, by the baker's own test (has_glyph), so
// that settings lists made from them never stop a bake on a missing glyph.
#pragma once

#include "shared/font-face.h"
#include "tools/glyphmint-font/charset/code-points.h"

/// Every code point the font's character map maps to a glyph; values beyond
/// U+10FFFF are no code points and are left out.
[[nodiscard]] CodePointSet mapped_code_points(FT_Face font);

/// A request split into the code points the font has and those it lacks.
struct CodePointSplit {
  CodePointSet present;
  CodePointSet missing; ///< values beyond U+10FFFF included
};

[[nodiscard]] CodePointSplit split_by_font(const CodePointSet &requested, FT_Face font);
