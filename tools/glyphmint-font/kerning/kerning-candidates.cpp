// The code points as HarfBuzz sees them, and the candidate pairs that the
// font's tables and HarfBuzz's handling of default ignorables give.
#include "tools/glyphmint-font/kerning/kerning-candidates.h"

#include <hb-ot.h>

#include <algorithm>

namespace {

// Default_Ignorable_Code_Point beyond the format characters (Cf), which all
// count: a wider set than HarfBuzz's, which only adds candidates.
constexpr u32 k_ignorable_ranges[][2] = {
    {0x00AD, 0x00AD},   {0x034F, 0x034F},   {0x061C, 0x061C}, {0x115F, 0x1160}, {0x17B4, 0x17B5},
    {0x180B, 0x180F},   {0x200B, 0x200F},   {0x202A, 0x202E}, {0x2060, 0x206F}, {0x3164, 0x3164},
    {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0}, {0xFFF0, 0xFFF8}, {0x1BCA0, 0x1BCA3},
    {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF},
};

[[nodiscard]] bool is_ignorable(hb_unicode_funcs_t *unicode, u32 c) {
  if (hb_unicode_general_category(unicode, c) == HB_UNICODE_GENERAL_CATEGORY_FORMAT) return true;
  for (const auto &r : k_ignorable_ranges)
    if (c >= r[0] && c <= r[1]) return true;
  return false;
}

[[nodiscard]] bool is_unicode_mark(hb_unicode_funcs_t *unicode, u32 c) {
  switch (hb_unicode_general_category(unicode, c)) {
  case HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK:
  case HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK:
  case HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK:
    return true;
  default:
    return false;
  }
}

} // namespace

std::vector<Baked> describe_baked(hb_font_t *font, const std::vector<u32> &codes) {
  hb_face_t *face = hb_font_get_face(font);
  // GDEF's classes when it has them; HarfBuzz goes by the Unicode category
  // otherwise, which the category test below covers whatever GDEF says.
  const bool gdef_classes = hb_ot_layout_has_glyph_classes(face);
  hb_codepoint_t space_glyph = 0;
  const bool has_space = hb_font_get_nominal_glyph(font, 0x20, &space_glyph) != 0;
  hb_unicode_funcs_t *unicode = hb_unicode_funcs_get_default();
  std::vector<Baked> baked(codes.size());
  for (size_t i = 0; i < codes.size(); ++i) {
    Baked &b = baked[i];
    b.code = codes[i];
    hb_codepoint_t glyph = 0;
    b.mapped = hb_font_get_nominal_glyph(font, b.code, &glyph) != 0;
    if (!b.mapped) continue;
    b.glyph = glyph;
    b.advance = hb_font_get_glyph_h_advance(font, glyph);
    b.mark = (gdef_classes &&
              hb_ot_layout_get_glyph_class(face, glyph) == HB_OT_LAYOUT_GLYPH_CLASS_MARK) ||
             is_unicode_mark(unicode, b.code);
    b.ignorable = is_ignorable(unicode, b.code);
    b.space = has_space && glyph == space_glyph;
    b.script = hb_unicode_script(unicode, b.code);
    b.rtl = hb_script_get_horizontal_direction(b.script) == HB_DIRECTION_RTL;
  }
  return baked;
}

Candidates::Candidates(const std::vector<Baked> &baked, const PairBound &bound)
    : baked_(baked), bound_(bound), stamp_(baked.size(), 0) {
  // Code points by glyph, for expanding the bound's glyph lists.
  by_glyph_start_.assign(k_table_glyphs + 1, 0);
  for (const Baked &b : baked)
    if (in_tables(b)) ++by_glyph_start_[b.glyph + 1];
  for (u32 g = 0; g < k_table_glyphs; ++g) by_glyph_start_[g + 1] += by_glyph_start_[g];
  by_glyph_.resize(by_glyph_start_[k_table_glyphs]);
  std::vector<u32> fill(by_glyph_start_.begin(), by_glyph_start_.end() - 1);
  for (u32 i = 0; i < baked.size(); ++i)
    if (in_tables(baked[i])) by_glyph_[fill[baked[i].glyph]++] = i;

  // A default ignorable's glyph is replaced by the space glyph, advance
  // and offset 0. With the pair's glyphs unchanged, that moves a first glyph
  // only when it is the space glyph, taking its own ignorable status or its
  // partner's; a second glyph only loses its offset, which is 0 already.
  any_second_.assign(baked.size(), 0);
  bool any_rtl = false;
  for (u32 i = 0; i < baked.size(); ++i) {
    const Baked &b = baked[i];
    if (!pairs(b)) continue;
    any_second_[i] =
        (in_tables(b) && bound.any_second[b.glyph]) || (b.space && b.ignorable && b.advance != 0);
    if (in_tables(b) && bound.any_first[b.glyph]) any_first_.push_back(i);
    if (b.ignorable) ignorables_.push_back(i);
    any_rtl = any_rtl || b.rtl;
  }

  // HarfBuzz shapes a pair of a right-to-left script in that direction,
  // so the font's lookups see its glyphs swapped: such a pair is also a
  // candidate when its reverse is.
  reversed_.resize(baked.size());
  std::vector<u32> seconds;
  for (u32 i = 0; i < baked.size() && any_rtl; ++i) {
    if (!pairs(baked[i])) continue;
    bool all = false;
    forward(i, seconds, all);
    if (all)
      all_rows_.push_back(i);
    else
      for (u32 j : seconds)
        if (baked[i].rtl || baked[j].rtl) reversed_[j].push_back(i);
  }
}

void Candidates::of(u32 i, std::vector<u32> &out, bool &all) {
  forward(i, out, all);
  if (all) return;
  for (u32 j : reversed_[i]) add(j, out);
  for (u32 j : all_rows_)
    if (baked_[i].rtl || baked_[j].rtl) add(j, out);
  std::sort(out.begin(), out.end());
}

void Candidates::forward(u32 i, std::vector<u32> &out, bool &all) {
  out.clear();
  ++generation_;
  all = bound_.everything || any_second_[i];
  if (all) return;
  const Baked &a = baked_[i];
  auto add_all = [&](const std::vector<u32> &js) {
    for (u32 j : js) add(j, out);
  };
  if (in_tables(a)) {
    u64 walked = 0;
    for (const std::vector<u32> *list : bound_.seconds[a.glyph]) {
      // Lists that overlap a great deal could cost more than shaping every
      // partner (a shape costs as much as walking hundreds of entries).
      walked += list->size();
      if (walked > std::max<u64>(64 * u64{baked_.size()}, u64{1} << 16)) {
        all = true;
        return;
      }
      for (u32 g : *list)
        for (u32 k = by_glyph_start_[g]; k < by_glyph_start_[g + 1]; ++k) add(by_glyph_[k], out);
    }
  }
  add_all(any_first_);
  if (a.space && a.advance != 0) add_all(ignorables_);
}

void Candidates::add(u32 j, std::vector<u32> &out) {
  if (stamp_[j] != generation_) {
    stamp_[j] = generation_;
    out.push_back(j);
  }
}
