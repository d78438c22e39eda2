// One line of text as a shaped bake draws it: shaped with HarfBuzz from the
// font file the bake came from, at the baked size and unhinted, and HarfBuzz's
// glyphs placed left to right in whole pixels. The trap: the glyphs are
// looked up by glyph index, not by code point, and a glyph index means
// something only in its own font, so the runs a fallback font supplies are
// not shaped with the main font's tables (see shape_line).
#pragma once

#include "core/fs.h"
#include "glyphmint/fnt.h"

#include <memory>
#include <string_view>
#include <vector>

/// A glyph of a shaped line and where it sits.
struct ShapedGlyph {
  /// The bake's record of the glyph, or -1 when the bake lacks it.
  ptrdiff_t record = -1;
  u32 glyph_index = 0; ///< in the main font; a fallback's record's own index
  u32 code_point = 0;  ///< the first of the characters it was shaped from
  i64 origin_x = 0;    ///< pen + round(x_offset / 64)
  i64 raise = 0;       ///< how far its baseline is raised: round(y_offset / 64)
};

/// A line's glyphs left to right, and where the pen ends.
struct ShapedLine {
  std::vector<ShapedGlyph> glyphs;
  i64 advance = 0;
};

class ShapingFont;

/// The main font file of a shaped bake, opened once for every line drawn.
class LineShaper {
public:
  /// Opens the font file at the bake's size by the bake's rule
  /// (shared/glyph-loading.h). HarfBuzz reads the outlines' metrics through
  /// FreeType, unhinted; a font of bitmap strikes only, which FreeType cannot
  /// set to any size (Noto Color Emoji), is shaped with HarfBuzz's own font
  /// functions at a scale of size * 64. Throws Err naming the file when
  /// FreeType cannot open it or set it to the size.
  LineShaper(const Path &font_file, const gm_font &font);
  ~LineShaper();
  LineShaper(const LineShaper &) = delete;
  LineShaper &operator=(const LineShaper &) = delete;

  /// The line (valid UTF-8 without a line feed, every code point in the
  /// bake) split into runs by the font that supplies each code point, as
  /// its code-point record says: the main font unless it lacks the code
  /// point. A main-font run is shaped with HarfBuzz, the line's direction
  /// and script guessed from the whole line's text and no language (the
  /// script's default language system; never the locale), the text around
  /// the run given as context so letters join across it. A fallback's run is
  /// drawn character by character from its code-point records, each moving
  /// the pen by its record's advance, since its font file is not at hand.
  /// Runs are placed in the line's direction: right to left, the last first.
  /// The pen starts at 0; each shaped glyph's origin is at the pen plus
  /// round(x_offset / 64), its baseline raised by round(y_offset / 64), and
  /// the pen then moves by round(x_advance / 64), halves away from zero.
  [[nodiscard]] ShapedLine shape_line(std::string_view line);

private:
  const gm_font &font_;
  std::unique_ptr<ShapingFont> shaping_;
};
