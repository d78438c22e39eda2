// Kerning pairs among the code points of a bake, read from the font file the
// bake used through HarfBuzz (GPOS and the legacy kern table alike), in whole
// pixels at the baked size.
#pragma once

#include "core/fs.h"
#include "glyphmint/fnt.h"

#include <vector>

struct KerningPair {
  u32 first = 0;
  u32 second = 0;
  i32 amount = 0; ///< added to first's advance when second follows it
};

/// Every pair of distinct baked code points whose amount rounds to a non-zero
/// number of pixels, sorted by first then second, each pair once. Throws Err
/// "<font_file>: ..." when the file cannot be opened as a font or lacks a
/// baked code point (so it is not the bake's font).
[[nodiscard]] std::vector<KerningPair> kerning_pairs(const Path &font_file, const gm_font &font);
