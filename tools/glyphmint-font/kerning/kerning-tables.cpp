// Reading GPOS and kern tables into a PairBound.
//
// A damaged table is read as far as its bytes go, which only widens the
// bound, since HarfBuzz applies nothing from data outside a table.
#include "tools/glyphmint-font/kerning/kerning-tables.h"

#include "core/str.h"
#include "tools/glyphmint-font/kerning/hb-ptr.h"

#include <hb-ot.h>

#include <algorithm>
#include <bit>
#include <set>
#include <utility>
#include <vector>

namespace {

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
  k_context = 7,
  k_chain_context = 8,
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

// A GPOS subtable with its own type, an extension's target in place of the
// extension.
struct Subtable {
  u64 at = 0;
  u16 kind = 0;
};

// The subtables of the lookup at `lookup` in the GPOS table; false (and
// bound.everything) when the budget runs out or an extension wraps another,
// which HarfBuzz rejects: not narrowing is safe.
bool lookup_subtables(const TableBytes &t, u64 lookup, PairBound &bound,
                      std::vector<Subtable> &out) {
  out.clear();
  const u16 type = t.u16_at(lookup);
  const u32 subtable_count = t.u16_at(lookup + 4);
  if (!bound.spend(subtable_count)) return false;
  for (u32 s = 0; s < subtable_count; ++s) {
    const u16 subtable_offset = t.u16_at(lookup + 6 + 2 * u64{s});
    if (subtable_offset == 0) continue;
    Subtable sub{lookup + subtable_offset, type};
    if (type == k_extension) {
      sub.kind = t.u16_at(sub.at + 2);
      const u32 target = t.u32_at(sub.at + 4);
      if (target == 0) continue;
      sub.at += target;
      if (sub.kind == k_extension) {
        bound.everything = true;
        return false;
      }
    }
    out.push_back(sub);
  }
  return true;
}

// The GPOS lookups HarfBuzz may apply to pairs of text in these scripts,
// shaped as PairShaper shapes them: the lookups of the default features in
// the shape plan of each script (or of none, for text of no definite
// script), by index. Features that are off unless asked for, such as
// proportional or vertical widths, are left out with their lookups. The plan
// does not list the lookups that contextual ones call, so where it holds a
// contextual lookup every lookup counts.
std::vector<u8> applied_lookups(hb_face_t *face, const TableBytes &t, u64 list,
                                const std::vector<hb_script_t> &scripts, PairBound &bound) {
  const u32 lookup_count = t.u16_at(list);
  HbPtr<hb_set_t> indices(hb_set_create());
  for (hb_script_t script : scripts) {
    hb_segment_properties_t props = HB_SEGMENT_PROPERTIES_DEFAULT;
    props.direction = HB_DIRECTION_LTR;
    props.script = script;
    props.language = HB_LANGUAGE_INVALID;
    HbPtr<hb_shape_plan_t> plan(hb_shape_plan_create_cached(face, &props, nullptr, 0, nullptr));
    hb_ot_shape_plan_collect_lookups(plan.get(), HB_OT_TAG_GPOS, indices.get());
  }
  if (!hb_set_allocation_successful(indices.get())) throw Err("Out of memory");
  std::vector<u8> applied(lookup_count, 0);
  std::vector<Subtable> subtables;
  for (hb_codepoint_t l = HB_SET_VALUE_INVALID; hb_set_next(indices.get(), &l);) {
    if (l >= lookup_count) continue;
    applied[l] = 1;
    const u16 lookup_offset = t.u16_at(list + 2 + 2 * u64{l});
    if (lookup_offset == 0) continue;
    if (!lookup_subtables(t, list + lookup_offset, bound, subtables)) return applied;
    for (const Subtable &sub : subtables)
      if (sub.kind == k_context || sub.kind == k_chain_context)
        return std::vector<u8>(lookup_count, 1);
  }
  return applied;
}

void bound_gpos(hb_face_t *face, const std::vector<hb_script_t> &scripts, PairBound &bound) {
  HbPtr<hb_blob_t> blob(hb_face_reference_table(face, HB_OT_TAG_GPOS));
  const TableBytes t(blob.get());
  if (t.size() == 0) return;
  const u64 list = t.u16_at(8);
  if (list == 0) return;
  const std::vector<u8> applied = applied_lookups(face, t, list, scripts, bound);
  // Offsets may share lookups and subtables; each is read once.
  std::set<std::pair<u64, u16>> seen;
  std::vector<Subtable> subtables;
  for (u32 l = 0; l < applied.size() && !bound.everything; ++l) {
    const u16 lookup_offset = t.u16_at(list + 2 + 2 * u64{l});
    if (!applied[l] || lookup_offset == 0) continue;
    if (!lookup_subtables(t, list + lookup_offset, bound, subtables)) return;
    for (const Subtable &sub : subtables) {
      if (bound.everything) return;
      if (!seen.insert({sub.at, sub.kind}).second) continue;
      switch (sub.kind) {
      case k_single:
        bound_single(t, sub.at, bound);
        break;
      case k_pair:
        bound_pair(t, sub.at, bound);
        break;
      case k_cursive:
      case k_mark_base:
      case k_mark_ligature:
      case k_mark_mark:
        bound_attachment(t, sub.at, sub.kind, bound);
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

} // namespace

bool has_table(hb_face_t *face, hb_tag_t tag) {
  HbPtr<hb_blob_t> blob(hb_face_reference_table(face, tag));
  return hb_blob_get_length(blob.get()) != 0;
}

PairBound read_pair_bound(hb_face_t *face, const std::vector<hb_script_t> &scripts) {
  PairBound bound;
  for (hb_tag_t tag :
       {HB_TAG('m', 'o', 'r', 'x'), HB_TAG('k', 'e', 'r', 'x'), HB_TAG('t', 'r', 'a', 'k')})
    if (has_table(face, tag)) bound.everything = true;
  if (!bound.everything) bound_gpos(face, scripts, bound);
  if (!bound.everything) bound_kern(face, bound);
  return bound;
}
