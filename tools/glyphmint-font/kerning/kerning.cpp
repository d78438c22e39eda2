// Kerning pairs from a font file through HarfBuzz.
//
// The amount of a pair is defined by shaping it, and shaping every ordered
// pair of a whole-font bake (tens of millions, a billion for a CJK font)
// takes seconds to minutes, so the pairs are first narrowed to those that
// something in the font can move. The narrowing must never drop a pair that
// shaping would give a non-zero amount with its own glyphs, so it reads what
// the font says rather than guessing.
//
// Why the narrowing equals trying every pair. Pairs with a mark are left
// out, so only pairs of two non-marks are shaped. Shaping "ab" and finding
// the glyphs of a and b unchanged, the amount is a's advance after shaping
// plus b's x offset, less a's advance from the font. In a two-glyph buffer
// that sum moves away from 0 only through:
//  1. GPOS lookups of the shape plan: those of the features HarfBuzz turns
//     on by default for the pair's script, and through contextual lookups
//     any lookup of the list (see kerning-tables.cpp). The lookups that do
//     the moving are single, pair, cursive and mark attachment ones, each
//     acting on glyph ids at known places: a single adjustment on its
//     covered glyph; a pair adjustment on a first glyph in its coverage and
//     a second glyph its pair set or class row lists, and only when that
//     record holds a non-zero value; cursive and mark attachment on a glyph
//     of one coverage followed by one of the other. Where HarfBuzz would use
//     a glyph class the tables do not list (class 0), the reading allows
//     every glyph.
//  2. The legacy kern table: a format 0 subtable moves only its listed
//     pairs; any other form is not narrowed.
//  3. HarfBuzz's own rules. Those for marks (zeroed advances, marks placed
//     where GPOS does not apply) touch only glyphs that are marks by GDEF or
//     by their Unicode category, which pair with nothing. The one for
//     default ignorables is kept (see Candidates).
// Substitutions (GSUB, Unicode normalisation) matter only through the glyphs
// they leave, and a pair counts only with its own two glyphs in place: 1 and
// 2 depend on nothing but those ids.
// AAT tables (morx, kerx, trak), whose effects are not bounded here, turn the
// narrowing off: every pair is shaped. A damaged table is read as far as its
// bytes go, which only widens the bound, since HarfBuzz applies nothing from
// data outside a table.
#include "tools/glyphmint-font/kerning/kerning.h"

#include "core/fmt.h"
#include "shared/font-face.h"
#include "shared/glyph-loading.h"
#include "tools/glyphmint-font/cli/font-file.h"
#include "tools/glyphmint-font/cli/given-paths.h"
#include "tools/glyphmint-font/kerning/hb-ptr.h"
#include "tools/glyphmint-font/kerning/kerning-candidates.h"
#include "tools/glyphmint-font/kerning/kerning-tables.h"
#include "tools/glyphmint-font/kerning/pair-shaper.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb-ft.h>
#include <hb-ot.h>
#include <hb.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

// The bake's font file, opened by HarfBuzz at the bake's size.
class KerningFont {
public:
  KerningFont(const Path &font_file, const gm_font &font, const std::vector<u32> &left_out) {
    if (font.size < 1 || font.size > INT32_MAX / 64)
      throw Err(fmt(font_file, ": cannot kern at the bake's pixel size ", font.size));

    // Which font the bake came from is take_font_advances's to check; a code
    // point the font does not map (baked from another font) pairs with none.
    const FT_Face ft_face = open_font_file(fonts_, font_file);
    codes_.reserve(font.glyph_count);
    for (size_t i = 0; i < font.glyph_count; ++i) {
      const i32 code = gm_font_glyph(&font, i).code;
      if (code < 0 || std::binary_search(left_out.begin(), left_out.end(), u32(code))) continue;
      if (codes_.empty() || codes_.back() != u32(code)) codes_.push_back(u32(code));
    }

    // HarfBuzz reads the tables through FreeType, so any font form FreeType
    // unpacks (WOFF included) is shaped from the same bytes.
    face_.reset(hb_ft_face_create_referenced(ft_face));
    kerns_ = has_table(face_.get(), HB_OT_TAG_GPOS) ||
             has_table(face_.get(), HB_TAG('k', 'e', 'r', 'n'));
    font_.reset(hb_font_create(face_.get()));
    hb_ot_font_set_funcs(font_.get());
    hb_font_set_scale(font_.get(), font.size * 64, font.size * 64);
  }

  [[nodiscard]] hb_face_t *face() const { return face_.get(); }
  [[nodiscard]] hb_font_t *font() const { return font_.get(); }
  /// The bake's code points, ascending, each once.
  [[nodiscard]] const std::vector<u32> &codes() const { return codes_; }
  /// A font with neither a GPOS nor a kern table gives no pairs.
  [[nodiscard]] bool kerns() const { return kerns_; }

private:
  FontLibrary fonts_;
  std::vector<u32> codes_;
  HbPtr<hb_face_t> face_;
  HbPtr<hb_font_t> font_;
  bool kerns_ = false;
};

std::vector<KerningPair> kerning_pairs(const Path &font_file, const gm_font &font,
                                       const std::vector<u32> &left_out) {
  const KerningFont opened(font_file, font, left_out);
  if (!opened.kerns()) return {};
  const std::vector<Baked> baked = describe_baked(opened.font(), opened.codes());
  std::set<hb_script_t> scripts = {HB_SCRIPT_INVALID};
  for (const Baked &b : baked)
    if (b.mapped && !b.mark) scripts.insert(b.script);
  const PairBound bound =
      read_pair_bound(opened.face(), std::vector<hb_script_t>(scripts.begin(), scripts.end()));
  Candidates candidates(baked, bound);
  PairShaper shaper(opened.font());
  std::vector<KerningPair> pairs;
  std::vector<u32> seconds;
  for (u32 i = 0; i < baked.size(); ++i) {
    if (!baked[i].mapped || baked[i].mark) continue;
    bool all = false;
    candidates.of(i, seconds, all);
    const u64 count = all ? baked.size() : seconds.size();
    for (u64 k = 0; k < count; ++k) {
      const u32 j = all ? u32(k) : seconds[k];
      if (!baked[j].mapped || baked[j].mark) continue;
      i64 amount64 = 0;
      if (!shaper.amount(baked[i], baked[j], amount64)) continue;
      const i32 amount = round_26_6(amount64);
      if (amount != 0) pairs.push_back({baked[i].code, baked[j].code, amount});
    }
  }
  return pairs;
}

i32 kerning_amount(const std::vector<KerningPair> &pairs, u32 first, u32 second) {
  const auto at =
      std::lower_bound(pairs.begin(), pairs.end(), KerningPair{first, second, 0},
                       [](const KerningPair &x, const KerningPair &y) {
                         return x.first != y.first ? x.first < y.first : x.second < y.second;
                       });
  return at != pairs.end() && at->first == first && at->second == second ? at->amount : 0;
}

i32 kerning_from_pairs(void *pairs, u32 first, u32 second) {
  return kerning_amount(*static_cast<const std::vector<KerningPair> *>(pairs), first, second);
}

NeighbourKerning::NeighbourKerning(const Path &font_file, const gm_font &font,
                                   const std::vector<u32> &left_out)
    : font_(std::make_unique<KerningFont>(font_file, font, left_out)),
      shaper_(std::make_unique<PairShaper>(font_->font())) {}

NeighbourKerning::~NeighbourKerning() = default;

i32 NeighbourKerning::amount(u32 first, u32 second) {
  const auto known = amounts_.find({first, second});
  if (known != amounts_.end()) return known->second;
  i32 amount = 0;
  const std::vector<u32> &codes = font_->codes();
  if (font_->kerns() && std::binary_search(codes.begin(), codes.end(), first) &&
      std::binary_search(codes.begin(), codes.end(), second)) {
    const std::vector<Baked> pair = describe_baked(font_->font(), {first, second});
    i64 amount64 = 0;
    if (pair[0].mapped && pair[1].mapped && !pair[0].mark && !pair[1].mark &&
        shaper_->amount(pair[0], pair[1], amount64))
      amount = round_26_6(amount64);
  }
  amounts_.emplace(std::pair{first, second}, amount);
  return amount;
}

i32 NeighbourKerning::kerning_fn(void *self, u32 first, u32 second) {
  return static_cast<NeighbourKerning *>(self)->amount(first, second);
}
