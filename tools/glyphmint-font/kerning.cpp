// Kerning pairs from a font file through HarfBuzz.
//
// The amount of a pair is defined by shaping it, and shaping every ordered
// pair of a whole-font bake (tens of millions) takes seconds, so the pairs
// are first narrowed to those that something in the font can move. The
// narrowing must never drop a pair that shaping would give a non-zero amount
// with its own glyphs, so it reads what the font says rather than guessing.
//
// Why the narrowing equals trying every pair. Shaping "ab" and finding the
// glyphs of a and b unchanged, the amount is a's advance after shaping plus
// b's x offset, less a's advance from the font. In a two-glyph buffer that
// sum moves away from 0 only through:
//  1. GPOS lookups. Whatever feature, script or context reaches them, the
//     lookups that do the moving are the LookupList's single, pair, cursive
//     and mark attachment lookups (contextual ones only call other lookups of
//     the same list). Each acts on glyph ids at known places: a single
//     adjustment on its covered glyph; a pair adjustment on a first glyph in
//     its coverage and a second glyph its pair set or class row lists, and
//     only when that record holds a non-zero value; cursive and mark
//     attachment on a glyph of one coverage followed by one of the other.
//     Every lookup of the list is read, so the pairs read cover every pair a
//     lookup can move, whichever of them HarfBuzz applies. Where HarfBuzz
//     would use a glyph class the tables do not list (class 0), the reading
//     allows every glyph.
//  2. The legacy kern table: a format 0 subtable moves only its listed
//     pairs; any other form is not narrowed.
//  3. HarfBuzz's own handling of marks and default-ignorable characters
//     (see OwnRules): zeroed advances, and marks placed by HarfBuzz where
//     GPOS does not apply. Each rule names the glyphs or characters it can
//     touch and on which side of the pair, and those pairs are kept.
// Substitutions (GSUB, Unicode normalisation) matter only through the glyphs
// they leave, and a pair counts only with its own two glyphs in place: 1 and
// 2 depend on nothing but those ids, and 3 allows for a character's status
// passing to the other glyph.
// AAT tables (morx, kerx, trak), whose effects are not bounded here, turn the
// narrowing off: every pair is shaped. A damaged table is read as far as its
// bytes go, which only widens the bound, since HarfBuzz applies nothing from
// data outside a table.
#include "tools/glyphmint-font/kerning.h"

#include "core/fmt.h"
#include "shared/font-face.h"
#include "tools/glyphmint-font/given-paths.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb-ft.h>
#include <hb-ot.h>
#include <hb.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// Glyph ids in GPOS and kern tables are 16-bit.
constexpr u32 k_table_glyphs = 65536;

// Reading a hostile table could take billions of steps (offsets may share
// subtables, ranges may overlap); past this many the narrowing gives up and
// every pair is shaped, which is slow but exact.
constexpr u64 k_read_budget = u64{1} << 26;

// ------------------------------------------------------------ FreeType and HarfBuzz owners

struct HbDelete {
  void operator()(hb_face_t *p) const { hb_face_destroy(p); }
  void operator()(hb_font_t *p) const { hb_font_destroy(p); }
  void operator()(hb_buffer_t *p) const { hb_buffer_destroy(p); }
  void operator()(hb_blob_t *p) const { hb_blob_destroy(p); }
};
template <typename T> using HbPtr = std::unique_ptr<T, HbDelete>;

// ------------------------------------------------------------ reading tables

// A table's bytes, big-endian. A read outside them gives 0, so a damaged
// table reads as empty counts and null offsets from the damage on.
class TableBytes {
public:
  explicit TableBytes(hb_blob_t *blob) {
    unsigned int length = 0;
    data_ = reinterpret_cast<const u8 *>(hb_blob_get_data(blob, &length));
    len_ = data_ != nullptr ? length : 0;
  }

  [[nodiscard]] u64 size() const { return len_; }
  [[nodiscard]] bool has(u64 offset, u64 count) const {
    return offset <= len_ && count <= len_ - offset;
  }
  [[nodiscard]] u16 u16_at(u64 offset) const {
    if (!has(offset, 2)) return 0;
    return static_cast<u16>(data_[offset] << 8 | data_[offset + 1]);
  }
  [[nodiscard]] u32 u32_at(u64 offset) const {
    return u32{u16_at(offset)} << 16 | u16_at(offset + 2);
  }
  /// True when any of the count bytes at offset is not zero; bytes outside
  /// the table count as not zero, so a cut-off record is never taken as empty.
  [[nodiscard]] bool any_set(u64 offset, u64 count) const {
    if (count == 0) return false;
    if (!has(offset, count)) return true;
    for (u64 i = 0; i < count; ++i)
      if (data_[offset + i] != 0) return true;
    return false;
  }

private:
  const u8 *data_ = nullptr;
  u64 len_ = 0;
};

// ------------------------------------------------------------ the bound

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
// table lists twice comes twice, as either index may be the one found.
struct Covered {
  u32 glyph;
  u32 index;
};

std::vector<Covered> read_coverage(const TableBytes &t, u64 at, PairBound &bound) {
  std::vector<Covered> out;
  if (at == 0) return out; // a null offset: HarfBuzz covers nothing
  const u16 format = t.u16_at(at);
  const u16 count = t.u16_at(at + 2);
  if (format == 1) {
    if (!bound.spend(count)) return out;
    for (u32 i = 0; i < count; ++i) {
      if (!t.has(at + 4 + 2 * u64{i}, 2)) break;
      out.push_back({t.u16_at(at + 4 + 2 * u64{i}), i});
    }
  } else if (format == 2) {
    for (u32 r = 0; r < count; ++r) {
      const u64 rec = at + 4 + 6 * u64{r};
      if (!t.has(rec, 6)) break;
      const u32 start = t.u16_at(rec), end = t.u16_at(rec + 2), first_index = t.u16_at(rec + 4);
      if (end < start) continue;
      if (!bound.spend(end - start + 1)) return {};
      for (u32 g = start; g <= end; ++g) out.push_back({g, first_index + (g - start)});
    }
  }
  return out;
}

// A class definition's glyphs by class, for classes 1 .. class_count - 1.
// Class 0 (every glyph not listed, or all of them when HarfBuzz finds the
// table damaged) is left to the caller, which allows every glyph for it.
std::vector<std::vector<u32>> read_classes(const TableBytes &t, u64 at, u32 class_count,
                                           PairBound &bound) {
  std::vector<std::vector<u32>> by_class(class_count);
  if (at == 0) return by_class;
  const u16 format = t.u16_at(at);
  if (format == 1) {
    const u32 start = t.u16_at(at + 2), count = t.u16_at(at + 4);
    if (!bound.spend(count)) return by_class;
    for (u32 i = 0; i < count && start + i < k_table_glyphs; ++i) {
      if (!t.has(at + 6 + 2 * u64{i}, 2)) break;
      const u16 c = t.u16_at(at + 6 + 2 * u64{i});
      if (c != 0 && c < class_count) by_class[c].push_back(start + i);
    }
  } else if (format == 2) {
    const u32 count = t.u16_at(at + 2);
    for (u32 r = 0; r < count; ++r) {
      const u64 rec = at + 4 + 6 * u64{r};
      if (!t.has(rec, 6)) break;
      const u32 start = t.u16_at(rec), end = t.u16_at(rec + 2), c = t.u16_at(rec + 4);
      if (end < start || c == 0 || c >= class_count) continue;
      if (!bound.spend(end - start + 1)) return by_class;
      for (u32 g = start; g <= end; ++g) by_class[c].push_back(g);
    }
  }
  return by_class;
}

std::vector<u32> glyphs_of(const std::vector<Covered> &covered) {
  std::vector<u32> glyphs;
  glyphs.reserve(covered.size());
  for (const Covered &c : covered) glyphs.push_back(c.glyph);
  return glyphs;
}

// GPOS lookup types (after unwrapping extensions).
enum : u16 {
  k_single = 1,
  k_pair = 2,
  k_cursive = 3,
  k_mark_base = 4,
  k_mark_ligature = 5,
  k_mark_mark = 6,
  k_extension = 9,
};

void bound_single(const TableBytes &t, u64 at, PairBound &bound) {
  const u16 format = t.u16_at(at);
  const u16 value_format = t.u16_at(at + 4);
  const u32 record = 2 * static_cast<u32>(std::popcount(value_format));
  if (record == 0) return;
  const u16 coverage = t.u16_at(at + 2);
  const std::vector<Covered> covered = read_coverage(t, coverage ? at + coverage : 0, bound);
  for (const Covered &c : covered) {
    bool moves = false;
    if (format == 1)
      moves = t.any_set(at + 6, record);
    else if (format == 2)
      moves = c.index < t.u16_at(at + 6) && t.any_set(at + 8 + u64{c.index} * record, record);
    if (moves) bound.any_second[c.glyph] = bound.any_first[c.glyph] = 1;
  }
}

void bound_pair(const TableBytes &t, u64 at, PairBound &bound) {
  const u16 format = t.u16_at(at);
  const u16 coverage = t.u16_at(at + 2);
  const u32 record1 = 2 * static_cast<u32>(std::popcount(t.u16_at(at + 4)));
  const u32 record2 = 2 * static_cast<u32>(std::popcount(t.u16_at(at + 6)));
  const std::vector<Covered> covered = read_coverage(t, coverage ? at + coverage : 0, bound);
  if (format == 1) {
    const u32 set_count = t.u16_at(at + 8);
    const u32 stride = 2 + record1 + record2;
    for (const Covered &c : covered) {
      if (c.index >= set_count) continue;
      const u16 set_offset = t.u16_at(at + 10 + 2 * u64{c.index});
      if (set_offset == 0) continue;
      const u64 set = at + set_offset;
      const u32 count = t.u16_at(set);
      if (!bound.spend(count)) return;
      std::vector<u32> moved;
      for (u32 i = 0; i < count; ++i) {
        const u64 rec = set + 2 + u64{i} * stride;
        if (!t.has(rec, 2)) break;
        if (t.any_set(rec + 2, record1 + record2)) moved.push_back(t.u16_at(rec));
      }
      if (!moved.empty()) bound.add_block({c.glyph}, bound.keep(std::move(moved)));
    }
  } else if (format == 2) {
    const u16 class_def1 = t.u16_at(at + 8), class_def2 = t.u16_at(at + 10);
    const u32 class1_count = t.u16_at(at + 12), class2_count = t.u16_at(at + 14);
    const u32 stride = record1 + record2;
    if (!bound.spend(u64{class1_count} * class2_count)) return;
    const std::vector<std::vector<u32>> firsts_by_class =
        read_classes(t, class_def1 ? at + class_def1 : 0, class1_count, bound);
    std::vector<std::vector<u32>> seconds_by_class =
        read_classes(t, class_def2 ? at + class_def2 : 0, class2_count, bound);
    std::vector<const std::vector<u32> *> second_lists(class2_count, nullptr);
    for (u32 c2 = 1; c2 < class2_count; ++c2)
      second_lists[c2] = bound.keep(std::move(seconds_by_class[c2]));
    // Covered glyphs by class 1; each covered glyph may also be class 0.
    if (!bound.spend(k_table_glyphs / 64)) return;
    std::vector<u8> covered_set(k_table_glyphs);
    for (const Covered &c : covered) covered_set[c.glyph] = 1;
    for (u32 c1 = 0; c1 < class1_count; ++c1) {
      std::vector<u32> firsts;
      if (c1 == 0)
        firsts = glyphs_of(covered);
      else
        for (u32 g : firsts_by_class[c1])
          if (covered_set[g]) firsts.push_back(g);
      if (firsts.empty()) continue;
      for (u32 c2 = 0; c2 < class2_count; ++c2) {
        const u64 rec = at + 16 + (u64{c1} * class2_count + c2) * stride;
        if (!t.any_set(rec, stride)) continue;
        if (c2 == 0)
          for (u32 g : firsts) bound.any_second[g] = 1;
        else
          bound.add_block(firsts, second_lists[c2]);
      }
    }
  }
}

// Cursive and mark attachment: a glyph of the first coverage followed by one
// of the second.
void bound_attachment(const TableBytes &t, u64 at, u16 type, PairBound &bound) {
  u16 first_offset = 0, second_offset = 0;
  if (type == k_cursive) {
    first_offset = second_offset = t.u16_at(at + 2);
  } else {
    // Mark coverage first in the table, then the base (ligature, mark 2) one.
    second_offset = t.u16_at(at + 2);
    first_offset = t.u16_at(at + 4);
  }
  const std::vector<Covered> firsts = read_coverage(t, first_offset ? at + first_offset : 0, bound);
  const std::vector<Covered> seconds =
      read_coverage(t, second_offset ? at + second_offset : 0, bound);
  if (firsts.empty() || seconds.empty()) return;
  bound.add_block(glyphs_of(firsts), bound.keep(glyphs_of(seconds)));
}

void bound_gpos(hb_face_t *face, PairBound &bound) {
  HbPtr<hb_blob_t> blob(hb_face_reference_table(face, HB_OT_TAG_GPOS));
  const TableBytes t(blob.get());
  if (t.size() == 0) return;
  const u64 list = t.u16_at(8);
  if (list == 0) return;
  const u32 lookup_count = t.u16_at(list);
  // Offsets may share lookups and subtables; each is read once.
  std::set<std::pair<u64, u16>> seen;
  for (u32 l = 0; l < lookup_count && !bound.everything; ++l) {
    const u16 lookup_offset = t.u16_at(list + 2 + 2 * u64{l});
    if (lookup_offset == 0) continue;
    const u64 lookup = list + lookup_offset;
    const u16 type = t.u16_at(lookup);
    const u32 subtable_count = t.u16_at(lookup + 4);
    if (!bound.spend(subtable_count)) return;
    for (u32 s = 0; s < subtable_count && !bound.everything; ++s) {
      const u16 subtable_offset = t.u16_at(lookup + 6 + 2 * u64{s});
      if (subtable_offset == 0) continue;
      u64 at = lookup + subtable_offset;
      u16 kind = type;
      if (kind == k_extension) {
        kind = t.u16_at(at + 2);
        const u32 target = t.u32_at(at + 4);
        if (target == 0) continue;
        at += target;
        // HarfBuzz rejects an extension of an extension; not narrowing is safe.
        if (kind == k_extension) {
          bound.everything = true;
          return;
        }
      }
      if (!seen.insert({at, kind}).second) continue;
      switch (kind) {
      case k_single:
        bound_single(t, at, bound);
        break;
      case k_pair:
        bound_pair(t, at, bound);
        break;
      case k_cursive:
      case k_mark_base:
      case k_mark_ligature:
      case k_mark_mark:
        bound_attachment(t, at, kind, bound);
        break;
      default: // contextual lookups only call lookups of this list
        break;
      }
    }
  }
}

// The legacy kern table. Format 0 lists its pairs; HarfBuzz also reads the
// other forms (and Apple's version 1 layout), which are not narrowed here.
void bound_kern(hb_face_t *face, PairBound &bound) {
  HbPtr<hb_blob_t> blob(hb_face_reference_table(face, HB_TAG('k', 'e', 'r', 'n')));
  const TableBytes t(blob.get());
  if (t.size() == 0) return;
  const u16 version = t.u16_at(0);
  if (version == 1) {
    bound.everything = true;
    return;
  }
  if (version != 0) return; // HarfBuzz reads no other version
  const u32 count = t.u16_at(2);
  std::vector<std::pair<u32, u32>> pairs;
  u64 at = 4;
  for (u32 s = 0; s < count && t.has(at, 6); ++s) {
    const u32 length = t.u16_at(at + 2);
    const u16 format = t.u16_at(at + 4) >> 8;
    if (format != 0) {
      bound.everything = true;
      return;
    }
    // Sixteen-bit lengths overflow in large tables; the last subtable is
    // taken to run to the table's end, as HarfBuzz does.
    const u64 end = s + 1 == count ? t.size() : std::min<u64>(t.size(), at + length);
    const u32 pair_count = t.u16_at(at + 6);
    if (!bound.spend(pair_count)) return;
    for (u32 i = 0; i < pair_count; ++i) {
      const u64 rec = at + 14 + 6 * u64{i};
      if (rec + 6 > end) break;
      if (t.u16_at(rec + 4) != 0) pairs.emplace_back(t.u16_at(rec), t.u16_at(rec + 2));
    }
    if (length < 6) break; // a zero length would read this subtable forever
    at += length;
  }
  std::sort(pairs.begin(), pairs.end());
  for (u64 i = 0; i < pairs.size();) {
    const u32 first = pairs[i].first;
    std::vector<u32> seconds;
    for (; i < pairs.size() && pairs[i].first == first; ++i) seconds.push_back(pairs[i].second);
    bound.add_block({first}, bound.keep(std::move(seconds)));
  }
}

[[nodiscard]] bool has_table(hb_face_t *face, hb_tag_t tag) {
  HbPtr<hb_blob_t> blob(hb_face_reference_table(face, tag));
  return hb_blob_get_length(blob.get()) != 0;
}

// ------------------------------------------------------------ characters HarfBuzz handles itself

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

// One baked code point, as HarfBuzz maps and sees it.
struct Baked {
  u32 code = 0;
  u32 glyph = 0;
  bool mapped = false; ///< HarfBuzz has a glyph for it; unmapped ones pair with nothing
  hb_position_t advance = 0;
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

class PairShaper {
public:
  explicit PairShaper(hb_font_t *font) : font_(font), buffer_(hb_buffer_create()) {
    if (!hb_buffer_allocation_successful(buffer_.get())) throw Err("Out of memory");
  }

  /// The amount in 1/64 pixels; false when shaping changed the glyphs.
  bool amount(const Baked &a, const Baked &b, i64 &out) {
    hb_buffer_t *buffer = buffer_.get();
    hb_buffer_clear_contents(buffer);
    const u32 text[2] = {a.code, b.code};
    hb_buffer_add_utf32(buffer, text, 2, 0, 2);
    // Horizontal, the script the text shows, and no language, so the font's
    // default language system applies and the locale plays no part.
    hb_buffer_set_direction(buffer, HB_DIRECTION_LTR);
    hb_buffer_guess_segment_properties(buffer);
    hb_buffer_set_language(buffer, HB_LANGUAGE_INVALID);
    hb_shape(font_, buffer, nullptr, 0);
    if (!hb_buffer_allocation_successful(buffer)) throw Err("Out of memory");
    unsigned int n = 0;
    const hb_glyph_info_t *info = hb_buffer_get_glyph_infos(buffer, &n);
    const hb_glyph_position_t *pos = hb_buffer_get_glyph_positions(buffer, nullptr);
    if (n != 2 || info[0].codepoint != a.glyph || info[1].codepoint != b.glyph) return false;
    out = i64{pos[0].x_advance} + pos[1].x_offset - a.advance;
    return true;
  }

private:
  hb_font_t *font_;
  HbPtr<hb_buffer_t> buffer_;
};

// U+0041, or the plain number for what no Unicode code point is.
std::string code_point_text(i32 c) {
  char text[24];
  if (c >= 0 && c <= 0x10FFFF)
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
  else
    std::snprintf(text, sizeof text, "code point %d", static_cast<int>(c));
  return text;
}

// The candidates of each first code point, as indices into the baked list:
// the bound's glyph pairs and the pairs of OwnRules.
class Candidates {
public:
  Candidates(const std::vector<Baked> &baked, const PairBound &bound, const OwnRules &rules)
      : baked_(baked), bound_(bound), rules_(rules), stamp_(baked.size(), 0) {
    // Code points by glyph, for expanding the bound's glyph lists.
    by_glyph_start_.assign(k_table_glyphs + 1, 0);
    for (const Baked &b : baked)
      if (in_tables(b)) ++by_glyph_start_[b.glyph + 1];
    for (u32 g = 0; g < k_table_glyphs; ++g) by_glyph_start_[g + 1] += by_glyph_start_[g];
    by_glyph_.resize(by_glyph_start_[k_table_glyphs]);
    std::vector<u32> fill(by_glyph_start_.begin(), by_glyph_start_.end() - 1);
    for (u32 i = 0; i < baked.size(); ++i)
      if (in_tables(baked[i])) by_glyph_[fill[baked[i].glyph]++] = i;

    any_second_.assign(baked.size(), 0);
    for (u32 i = 0; i < baked.size(); ++i) {
      const Baked &b = baked[i];
      if (!b.mapped) continue;
      const bool unicode_marks_travel = !rules.gdef_classes && b.mark;
      any_second_[i] = (in_tables(b) && bound.any_second[b.glyph]) || b.zeroed ||
                       (b.space && b.ignorable && b.advance != 0) || unicode_marks_travel ||
                       (b.mark && (rules.gpos_off || (rules.gpos_off_hebrew && b.hebrew)));
      if ((in_tables(b) && bound.any_first[b.glyph]) || unicode_marks_travel ||
          (b.mark && rules.gpos_off))
        any_first_.push_back(i);
      if (b.ignorable) ignorables_.push_back(i);
      if (b.mark) marks_.push_back(i);
      if (b.mark && b.hebrew) hebrew_marks_.push_back(i);
      if (b.hebrew) hebrew_.push_back(i);
    }

    // HarfBuzz shapes a pair of a right-to-left script in that direction,
    // so the font's lookups see its glyphs swapped: such a pair is also a
    // candidate when its reverse is.
    reversed_.resize(baked.size());
    std::vector<u32> seconds;
    for (u32 i = 0; i < baked.size(); ++i) {
      if (!baked[i].mapped) continue;
      bool all = false;
      forward(i, seconds, all);
      if (all)
        all_rows_.push_back(i);
      else
        for (u32 j : seconds)
          if (baked[i].rtl || baked[j].rtl) reversed_[j].push_back(i);
    }
  }

  /// The indices j that (i, j) may need, ascending; all of them when `all`.
  void of(u32 i, std::vector<u32> &out, bool &all) {
    forward(i, out, all);
    if (all) return;
    for (u32 j : reversed_[i]) add(j, out);
    for (u32 j : all_rows_)
      if (baked_[i].rtl || baked_[j].rtl) add(j, out);
    std::sort(out.begin(), out.end());
  }

private:
  // The pairs (i, j) whose glyphs, in this order, something may move.
  void forward(u32 i, std::vector<u32> &out, bool &all) {
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
    if (rules_.gpos_off_hebrew) {
      if (a.hebrew) add_all(marks_);
      if (a.no_script) {
        add_all(hebrew_marks_);
        if (a.mark) add_all(hebrew_);
      }
    }
  }

  void add(u32 j, std::vector<u32> &out) {
    if (stamp_[j] != generation_) {
      stamp_[j] = generation_;
      out.push_back(j);
    }
  }

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

} // namespace

i32 round_26_6(i64 amount) {
  return amount >= 0 ? static_cast<i32>((amount + 32) / 64)
                     : -static_cast<i32>((-amount + 32) / 64);
}

std::vector<KerningPair> kerning_pairs(const Path &font_file, const gm_font &font) {
  if (font.size < 1 || font.size > INT32_MAX / 64)
    throw Err(fmt(font_file, ": cannot kern at the bake's pixel size ", font.size));

  // The bake's font is the one FreeType opened with the same code points:
  // the baker's own test, on face 0.
  require_short_path(font_file);
  if (font_file.type() != FsType::File)
    throw Err(fmt(font_file, ": not found or not a regular file"));
  FontLibrary fonts;
  FT_Face ft_face = nullptr;
  if (fonts.open(font_file, ft_face) != 0)
    throw Err(fmt(font_file, ": not a font FreeType can open"));
  std::vector<u32> codes;
  codes.reserve(font.glyph_count);
  for (size_t i = 0; i < font.glyph_count; ++i) {
    const i32 code = gm_font_glyph(&font, i).code;
    if (code < 0 || !has_glyph(ft_face, code))
      throw Err(fmt(font_file, ": has no glyph for ", StrView(code_point_text(code).c_str()),
                    ", which the bake has: not the font it was baked from"));
    if (codes.empty() || codes.back() != u32(code)) codes.push_back(u32(code));
  }

  // HarfBuzz reads the tables through FreeType, so any font form FreeType
  // unpacks (WOFF included) is shaped from the same bytes.
  HbPtr<hb_face_t> face(hb_ft_face_create_referenced(ft_face));
  const bool has_gpos = has_table(face.get(), HB_OT_TAG_GPOS);
  const bool has_kern = has_table(face.get(), HB_TAG('k', 'e', 'r', 'n'));
  if (!has_gpos && !has_kern) return {};
  HbPtr<hb_font_t> hb_font(hb_font_create(face.get()));
  hb_ot_font_set_funcs(hb_font.get());
  hb_font_set_scale(hb_font.get(), font.size * 64, font.size * 64);

  PairBound bound;
  for (hb_tag_t tag :
       {HB_TAG('m', 'o', 'r', 'x'), HB_TAG('k', 'e', 'r', 'x'), HB_TAG('t', 'r', 'a', 'k')})
    if (has_table(face.get(), tag)) bound.everything = true;
  if (!bound.everything) bound_gpos(face.get(), bound);
  if (!bound.everything) bound_kern(face.get(), bound);

  OwnRules rules;
  rules.gdef_classes = hb_ot_layout_has_glyph_classes(face.get());
  rules.gpos_off = !hb_ot_layout_has_positioning(face.get());
  unsigned int hebrew_index = 0;
  rules.gpos_off_hebrew =
      !rules.gpos_off && !hb_ot_layout_table_find_script(face.get(), HB_OT_TAG_GPOS,
                                                         HB_TAG('h', 'e', 'b', 'r'), &hebrew_index);
  hb_codepoint_t space_glyph = 0;
  const bool has_space = hb_font_get_nominal_glyph(hb_font.get(), 0x20, &space_glyph) != 0;

  hb_unicode_funcs_t *unicode = hb_unicode_funcs_get_default();
  std::vector<Baked> baked(codes.size());
  for (size_t i = 0; i < codes.size(); ++i) {
    Baked &b = baked[i];
    b.code = codes[i];
    hb_codepoint_t glyph = 0;
    b.mapped = hb_font_get_nominal_glyph(hb_font.get(), b.code, &glyph) != 0;
    if (!b.mapped) continue;
    b.glyph = glyph;
    b.advance = hb_font_get_glyph_h_advance(hb_font.get(), glyph);
    const bool gdef_mark = rules.gdef_classes && hb_ot_layout_get_glyph_class(face.get(), glyph) ==
                                                     HB_OT_LAYOUT_GLYPH_CLASS_MARK;
    const bool unicode_mark = is_unicode_mark(unicode, b.code);
    b.mark = gdef_mark || unicode_mark;
    b.zeroed = b.advance != 0 && (rules.gdef_classes ? gdef_mark : unicode_mark);
    b.ignorable = is_ignorable(unicode, b.code);
    b.space = has_space && glyph == space_glyph;
    const hb_script_t script = hb_unicode_script(unicode, b.code);
    b.hebrew = script == HB_SCRIPT_HEBREW;
    b.rtl = hb_script_get_horizontal_direction(script) == HB_DIRECTION_RTL;
    b.no_script =
        script == HB_SCRIPT_COMMON || script == HB_SCRIPT_INHERITED || script == HB_SCRIPT_UNKNOWN;
  }

  Candidates candidates(baked, bound, rules);
  PairShaper shaper(hb_font.get());
  std::vector<KerningPair> pairs;
  std::vector<u32> seconds;
  for (u32 i = 0; i < baked.size(); ++i) {
    if (!baked[i].mapped) continue;
    bool all = false;
    candidates.of(i, seconds, all);
    const u64 count = all ? baked.size() : seconds.size();
    for (u64 k = 0; k < count; ++k) {
      const u32 j = all ? u32(k) : seconds[k];
      if (j == i || !baked[j].mapped) continue;
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
