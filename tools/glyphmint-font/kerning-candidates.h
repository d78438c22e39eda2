// The pairs of baked code points worth shaping: those the font's tables may
// move (a PairBound) and those HarfBuzz's own rules for marks and default
// ignorables may move (OwnRules), each pair of glyphs in either order where
// HarfBuzz shapes right to left.
#pragma once

#include "tools/glyphmint-font/kerning-tables.h"
#include "tools/glyphmint-font/pair-shaper.h"

#include <hb.h>

#include <vector>

// One baked code point, as HarfBuzz maps and sees it.
struct Baked : MappedCode {
  bool mapped = false;    ///< HarfBuzz has a glyph for it; unmapped ones pair with nothing
  bool mark = false;      ///< a mark by its GDEF class or its Unicode category
  bool zeroed = false;    ///< HarfBuzz zeroes its advance as a mark
  bool ignorable = false; ///< default ignorable: hidden as the space glyph
  bool space = false;     ///< its glyph is the one ignorables are hidden as
  bool hebrew = false;
  bool rtl = false;       ///< of a script HarfBuzz shapes right to left
  bool no_script = false; ///< Common, Inherited or Unknown: the pair's other one decides
};

// What HarfBuzz does to a pair beyond the font's lookups, and when.
//  - Zero-width marks: a first glyph of the mark class gets advance 0. The
//    class is GDEF's for the glyph; without GDEF classes it comes from the
//    Unicode category of a character, which rewriting may carry from one
//    glyph to the other, so such marks pair both ways.
//  - Default ignorables: their glyph is replaced by the space glyph, advance
//    and offset 0, so with unchanged glyphs a first glyph is moved only when
//    it is the space glyph, taking its own or (rewritten) its partner's
//    ignorable status; a second glyph only loses its offset.
//  - Without GPOS applied, marks are placed by HarfBuzz (and offset by their
//    zeroed advance). GPOS is absent, or turned off by a shaper: of
//    HarfBuzz's shapers only the Hebrew one does that, when the GPOS table
//    has no 'hebr' script; it shapes the pairs whose first character of a
//    definite script is Hebrew.
struct OwnRules {
  bool gdef_classes = false;
  bool gpos_off = false;        ///< no GPOS: marks pair with everything
  bool gpos_off_hebrew = false; ///< GPOS, but not for Hebrew pairs
};

/// The rules HarfBuzz applies to pairs shaped with the face.
[[nodiscard]] OwnRules own_rules(hb_face_t *face);

/// The code points (ascending, each once) as HarfBuzz sees them in `font`.
[[nodiscard]] std::vector<Baked> describe_baked(hb_font_t *font, const OwnRules &rules,
                                                const std::vector<u32> &codes);

// The candidates of each first code point, as indices into the baked list:
// the bound's glyph pairs and the pairs of OwnRules.
class Candidates {
public:
  /// All three must outlive the candidates.
  Candidates(const std::vector<Baked> &baked, const PairBound &bound, const OwnRules &rules);

  /// The indices j that (i, j) may need, ascending; all of them when `all`.
  void of(u32 i, std::vector<u32> &out, bool &all);

private:
  // The pairs (i, j) whose glyphs, in this order, something may move.
  void forward(u32 i, std::vector<u32> &out, bool &all);
  void add(u32 j, std::vector<u32> &out);

  [[nodiscard]] static bool in_tables(const Baked &b) {
    return b.mapped && b.glyph < k_table_glyphs;
  }

  const std::vector<Baked> &baked_;
  const PairBound &bound_;
  const OwnRules &rules_;
  std::vector<u64> stamp_;
  u64 generation_ = 0;
  std::vector<u32> by_glyph_start_;
  std::vector<u32> by_glyph_;
  std::vector<u8> any_second_;
  std::vector<u32> any_first_;
  std::vector<u32> ignorables_;
  std::vector<u32> marks_;
  std::vector<u32> hebrew_marks_;
  std::vector<u32> hebrew_;
  std::vector<std::vector<u32>> reversed_; ///< per second, firsts that may swap places with it
  std::vector<u32> all_rows_;              ///< firsts that meet every second
};
