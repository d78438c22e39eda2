// Kerning pairs among the code points of a bake, read from the font file the
// bake used through HarfBuzz (GPOS and the legacy kern table alike), in whole
// pixels at the baked size.
//
// The amount of a pair (a, b), a = b included, is what shaping the text "ab"
// gives: HarfBuzz, left to right, the script the two characters show, the
// font's default language system and features, at a scale of the pixel size
// in 1/64 pixels. It is where b is drawn from a's origin (a's shaped advance
// plus b's x offset) less a's advance from the font, rounded by round_26_6.
// The traps: only positioning counts, so a pair whose shaping changes its
// glyphs (a ligature, a contextual form) has no amount, whatever it would
// move; and a pair with a mark has none, since shaping moves the mark alone
// while a kerning amount moves the pen and everything after it. A mark is a
// code point whose glyph GDEF classes as a mark, or whose Unicode general
// category is Mn, Mc or Me.
#pragma once

#include "core/fs.h"
#include "glyphmint/fnt.h"

#include <map>
#include <memory>
#include <utility>
#include <vector>

class KerningFont;
class PairShaper;

struct KerningPair {
  u32 first = 0;
  u32 second = 0;
  i32 amount = 0; ///< added to first's advance when second follows it
};

/// Every pair of baked code points whose amount rounds to a non-zero number
/// of pixels, sorted by first then second, each pair once: the same as
/// shaping every ordered pair would give, found without shaping them all. A
/// font with neither a GPOS nor a kern table gives none, and a code point the
/// font does not map pairs with none (take_font_advances checks that the
/// font is the bake's), nor does one in `left_out` (ascending: those a
/// fallback supplied, GlyphSuppliers::fallback_codes). Throws Err
/// "<font_file>: ..." when the path is too long, when FreeType cannot open
/// the file, or when the bake's size is not a pixel size from 1 to 33554431.
[[nodiscard]] std::vector<KerningPair> kerning_pairs(const Path &font_file, const gm_font &font,
                                                     const std::vector<u32> &left_out = {});

/// The amount of (first, second) in pairs sorted as kerning_pairs sorts them;
/// 0 when the pair is not there. A binary search.
[[nodiscard]] i32 kerning_amount(const std::vector<KerningPair> &pairs, u32 first, u32 second);

/// kerning_amount as a gm_kerning_fn, its user pointer a const
/// std::vector<KerningPair> *:
///   gm_layout_set_kerning(&layout, kerning_from_pairs, &pairs);
[[nodiscard]] i32 kerning_from_pairs(void *pairs, u32 first, u32 second);

/// The amounts of kerning_pairs, found pair by pair as a layout asks for
/// them: drawing a text shapes its own neighbours, each pair once, however
/// many code points the bake has.
///   NeighbourKerning kerning(font_file, font);
///   gm_layout_set_kerning(&layout, NeighbourKerning::kerning_fn, &kerning);
class NeighbourKerning {
public:
  /// Opens and checks the font file with the errors of kerning_pairs, whose
  /// `left_out` it takes too.
  NeighbourKerning(const Path &font_file, const gm_font &font,
                   const std::vector<u32> &left_out = {});
  ~NeighbourKerning();
  NeighbourKerning(const NeighbourKerning &) = delete;
  NeighbourKerning &operator=(const NeighbourKerning &) = delete;

  /// kerning_pairs' amount of (first, second); 0 where it has no such pair.
  [[nodiscard]] i32 amount(u32 first, u32 second);

  /// amount as a gm_kerning_fn, its user pointer the NeighbourKerning.
  [[nodiscard]] static i32 kerning_fn(void *self, u32 first, u32 second);

private:
  std::unique_ptr<KerningFont> font_;
  std::unique_ptr<PairShaper> shaper_;
  std::map<std::pair<u32, u32>, i32> amounts_;
};
