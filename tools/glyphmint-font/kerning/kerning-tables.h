// Which glyph pairs a font's GPOS and legacy kern tables can move, read from
// the tables' bytes as a superset: a pair outside the bound keeps its advance
// and offset whatever those tables' lookups do. kerning.cpp says why reading
// the lookups this way is enough.
#pragma once

#include "core/types.h"

#include <hb.h>

#include <memory>
#include <vector>

// Glyph ids in GPOS and kern tables are 16-bit.
constexpr u32 k_table_glyphs = 65536;

// Reading a hostile table could take billions of steps (offsets may share
// subtables, ranges may overlap); past this many the narrowing gives up and
// every pair is shaped, which is slow but exact.
constexpr u64 k_read_budget = u64{1} << 26;

// Which glyph pairs something in the font may move, as a superset: a pair
// outside it keeps its advance and offset whatever the shaper does.
struct PairBound {
  bool everything = false; ///< no narrowing: every pair is a candidate
  u64 spent = 0;           ///< reading steps, against k_read_budget

  std::vector<u8> any_second = std::vector<u8>(k_table_glyphs); ///< first glyph meets anything
  std::vector<u8> any_first = std::vector<u8>(k_table_glyphs);  ///< second glyph meets anything
  /// Per first glyph, lists of second glyphs (lists live in `lists`).
  std::vector<std::vector<const std::vector<u32> *>> seconds =
      std::vector<std::vector<const std::vector<u32> *>>(k_table_glyphs);
  std::vector<std::unique_ptr<std::vector<u32>>> lists;

  /// Counts reading work; false once the budget is spent (then everything).
  bool spend(u64 steps) {
    spent += steps;
    if (spent > k_read_budget) everything = true;
    return !everything;
  }

  const std::vector<u32> *keep(std::vector<u32> glyphs) {
    lists.push_back(std::make_unique<std::vector<u32>>(std::move(glyphs)));
    return lists.back().get();
  }

  void add_block(const std::vector<u32> &firsts, const std::vector<u32> *second_list) {
    if (second_list->empty() || !spend(firsts.size())) return;
    for (u32 g : firsts) seconds[g].push_back(second_list);
  }
};

// A coverage table: each covered glyph with its coverage index. A glyph the

/// The bound of the GPOS lookups that HarfBuzz may apply to a pair whose
/// script is one of `scripts` (HB_SCRIPT_INVALID for pairs of no definite
/// script), with its default features, and of the legacy kern table.
/// Everything when the font has AAT tables (morx, kerx, trak), whose effects
/// are not bounded here.
[[nodiscard]] PairBound read_pair_bound(hb_face_t *face, const std::vector<hb_script_t> &scripts);

/// The font has the table, not empty.
[[nodiscard]] bool has_table(hb_face_t *face, hb_tag_t tag);
