// Which font of a bake with fallbacks supplied each of its glyphs. The .fnt
// records no font per glyph, so the answer comes from the settings the bake
// was made from: <stem>.glyphmint.ini beside <stem>-<size>.fnt, read as the
// baker reads it and applied through the fonts by the baker's own supplier
// rule (shared/glyph-supplier.h). Settings that no longer bake this file are
// reported as such, never guessed from.
#pragma once

#include "core/str.h"
#include "tools/glyphmint-font/baked/loaded-font.h"

#include <vector>

struct GlyphSuppliers {
  enum class State {
    /// No settings beside the file, or settings without fallbacks: every
    /// glyph is the one font's, as far as anything says.
    OneFont,
    /// Settings with fallbacks that no longer bake this file: `why` says how.
    Unknown,
    Known,
  };
  State state = State::OneFont;
  Str why;
  /// Known: the fonts' file names, the settings' font first, then its
  /// fallbacks in order; how many records each supplied; and per record, in
  /// the file's order, the position of its font.
  std::vector<Str> fonts;
  std::vector<u64> counts;
  std::vector<u32> of_record;

  /// The code points of the records a fallback supplied, ascending, each
  /// once: those the main font's kerning leaves out.
  [[nodiscard]] std::vector<u32> fallback_codes(const gm_font &font) const;

  /// Known, and the record at that position came from a fallback.
  [[nodiscard]] bool from_fallback(u64 record) const {
    return state == State::Known && of_record[record] != 0;
  }
};

/// Finds the settings beside the loaded font and the font of each record.
/// Settings that cannot be read, that name another output, size, kind or
/// other code points, or whose fonts cannot be opened, give Unknown.
[[nodiscard]] GlyphSuppliers glyph_suppliers(const LoadedFont &loaded);

/// What info says: "" for OneFont, else one line: "fonts: Sans.ttf 98,
/// Icons.ttf 4\n" or "fonts: unknown, " and why.
[[nodiscard]] Str glyph_suppliers_line(const GlyphSuppliers &suppliers);
