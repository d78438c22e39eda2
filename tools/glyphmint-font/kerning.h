// Kerning pairs among the code points of a bake, read from the font file the
// bake used through HarfBuzz (GPOS and the legacy kern table alike), in whole
// pixels at the baked size.
//
// The amount of a pair (a, b) is what shaping the text "ab" gives: HarfBuzz,
// left to right, the script the two characters show, the font's default
// language system and features, at a scale of the pixel size in 1/64 pixels.
// It is where b is drawn from a's origin (a's shaped advance plus b's x
// offset) less a's advance from the font, rounded by round_26_6. The trap:
// only positioning counts, so a pair whose shaping changes its glyphs (a
// ligature, a contextual form) has no amount, whatever it would move.
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
/// number of pixels, sorted by first then second, each pair once: the same as
/// shaping every ordered pair would give, found without shaping them all. A
/// font with neither a GPOS nor a kern table gives none. Throws Err
/// "<font_file>: ..." when the path is too long, when FreeType cannot open the
/// file, when it lacks a baked code point (FreeType's test, as the baker's: so
/// it is not the bake's font), or when the bake's size is not a pixel size
/// from 1 to 33554431.
[[nodiscard]] std::vector<KerningPair> kerning_pairs(const Path &font_file, const gm_font &font);

/// Whole pixels from 1/64 pixels, to the nearest, halves away from zero:
///   -96 => -2,  -95 => -1,  -32 => -1,  -31 => 0,  31 => 0,  32 => 1,  95 => 1,  96 => 2
[[nodiscard]] i32 round_26_6(i64 amount);

/// The amount of (first, second) in pairs sorted as kerning_pairs sorts them;
/// 0 when the pair is not there. A binary search.
[[nodiscard]] i32 kerning_amount(const std::vector<KerningPair> &pairs, u32 first, u32 second);

/// kerning_amount as a gm_kerning_fn, its user pointer a const
/// std::vector<KerningPair> *:
///   gm_layout_set_kerning(&layout, kerning_from_pairs, &pairs);
[[nodiscard]] i32 kerning_from_pairs(void *pairs, u32 first, u32 second);
