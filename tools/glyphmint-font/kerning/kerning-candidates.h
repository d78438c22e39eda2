// The pairs of baked code points worth shaping: those the font's tables may
// move (a PairBound) and those HarfBuzz's own handling of default ignorables
// may move, each pair of glyphs in either order where HarfBuzz shapes right
// to left.
#pragma once

#include "tools/glyphmint-font/kerning/kerning-tables.h"
#include "tools/glyphmint-font/kerning/pair-shaper.h"

#include <hb.h>

#include <vector>

// One baked code point, as HarfBuzz maps and sees it.
struct Baked : MappedCode {
  bool mapped = false;    ///< HarfBuzz has a glyph for it; unmapped ones pair with nothing
  bool mark = false;      ///< a mark by its GDEF class or its Unicode category: pairs with nothing
  bool ignorable = false; ///< default ignorable: hidden as the space glyph
  bool space = false;     ///< its glyph is the one ignorables are hidden as
  bool rtl = false;       ///< of a script HarfBuzz shapes right to left
  hb_script_t script = HB_SCRIPT_INVALID; ///< Unicode's, as HarfBuzz reads it
};

/// The code points as HarfBuzz sees them in `font`.
[[nodiscard]] std::vector<Baked> describe_baked(hb_font_t *font, const std::vector<u32> &codes);

// The candidates of each first code point, as indices into the baked list:
// the bound's glyph pairs, and the pairs HarfBuzz's handling of default
// ignorables can move. Marks pair with nothing, so they are no candidates.
class Candidates {
public:
  /// Both must outlive the candidates.
  Candidates(const std::vector<Baked> &baked, const PairBound &bound);

  /// The indices j that (i, j) may need, ascending; all of them when `all`.
  void of(u32 i, std::vector<u32> &out, bool &all);

private:
  // The pairs (i, j) whose glyphs, in this order, something may move.
  void forward(u32 i, std::vector<u32> &out, bool &all);
  void add(u32 j, std::vector<u32> &out);

  [[nodiscard]] static bool pairs(const Baked &b) { return b.mapped && !b.mark; }
  [[nodiscard]] static bool in_tables(const Baked &b) {
    return pairs(b) && b.glyph < k_table_glyphs;
  }

  const std::vector<Baked> &baked_;
  const PairBound &bound_;
  std::vector<u64> stamp_;
  u64 generation_ = 0;
  std::vector<u32> by_glyph_start_;
  std::vector<u32> by_glyph_;
  std::vector<u8> any_second_;
  std::vector<u32> any_first_;
  std::vector<u32> ignorables_;
  std::vector<std::vector<u32>> reversed_; ///< per second, firsts that may swap places with it
  std::vector<u32> all_rows_;              ///< firsts that meet every second
};
