// The reader header (parse, atlas check, find, UTF-8, layout, measure)
// against a model written from the file format: sizes in 128 bits, lookup by
// linear scan, UTF-8 by the table of well-formed byte sequences, positions
// summed step by step, a shaped section's glyph lookup by linear scan. Beyond
// the model, a placed glyph's source rectangle must lie inside an atlas that
// passed the check.
//
// Input: atlas width and height (2 bytes each), a text length byte, the text,
// then the .fnt bytes to the end. The text is copied into a block of its own
// size, so a read past its end is caught as well as one past the file's.
#include "fuzz/fuzz-support.h"

#include "glyphmint/fnt.h"

#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

struct Model {
  gm_error error = GM_OK;
  u64 offset = 0;
  u64 name_length = 0;
  i32 line_height = 0;
  i32 kind_word = 0; // the reserved value every record holds, or the kind word
  std::vector<gm_glyph> records;
  // A shaped file's: its records without a code point, where they start, and
  // every record's font number and glyph index, code-point records first.
  bool shaped = false;
  std::vector<gm_glyph> others;
  u64 others_at = 0;
  std::vector<std::pair<u32, u32>> ids;
};

u64 le(const u8 *p, int n) {
  u64 v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

i32 le_i32(const u8 *p) {
  const u64 v = le(p, 4);
  return static_cast<i32>(static_cast<fuzz::I128>(v) - (v >> 31 ? fuzz::I128(1) << 32 : 0));
}

/// 0, a spread, or a negative value naming a multi-channel field (spread
/// 1..255), colour or mono (spread 0).
bool names_a_kind(i32 reserved) {
  const i64 kind = reserved < 0 ? -i64{reserved} / 256 : 0;
  const i64 spread = reserved < 0 ? -i64{reserved} % 256 : 0;
  return reserved >= 0 || ((kind == 2 || kind == 3) && spread > 0) ||
         ((kind == 4 || kind == 5) && spread == 0);
}

gm_glyph model_record(const u8 *r) {
  gm_glyph g{};
  g.code = le_i32(r + GM_GLYPH_CODE_OFFSET);
  g.width = static_cast<u32>(le(r + GM_GLYPH_WIDTH_OFFSET, 4));
  g.rows = static_cast<u32>(le(r + GM_GLYPH_ROWS_OFFSET, 4));
  g.bearing_x = le_i32(r + GM_GLYPH_BEARING_X_OFFSET);
  g.bearing_y = le_i32(r + GM_GLYPH_BEARING_Y_OFFSET);
  g.x = le_i32(r + GM_GLYPH_X_OFFSET);
  g.y = le_i32(r + GM_GLYPH_Y_OFFSET);
  g.advance = le_i32(r + GM_GLYPH_ADVANCE_OFFSET);
  g.reserved = le_i32(r + GM_GLYPH_RESERVED_OFFSET);
  return g;
}

/// The shaped section at `at`, part by part: GM_OK with the others and every
/// record's id read, or how and where the file fails before its records do.
gm_error model_shaped(const u8 *p, u64 n, u64 at, u64 count, Model &m, fuzz::U128 &where) {
  const auto failed = [&](gm_error e, fuzz::U128 offset) {
    where = offset;
    return e;
  };
  if (n - at < GM_FNT_SHAPED_HEADER_SIZE) return failed(GM_ERR_SHAPED_TRUNCATED, at);
  const fuzz::U128 others = le(p + at + GM_FNT_SHAPED_COUNT_OFFSET, 8);
  const fuzz::U128 all = others + count;
  if (all > UINT32_MAX) return failed(GM_ERR_COUNT_OVERFLOW, at + GM_FNT_SHAPED_COUNT_OFFSET);
  const u64 sizes[] = {GM_FNT_RECORD_SIZE, GM_FNT_GLYPH_ID_SIZE, GM_FNT_ORDER_ENTRY_SIZE};
  const fuzz::U128 counts[] = {others, all, all};
  fuzz::U128 starts[4] = {at + GM_FNT_SHAPED_HEADER_SIZE, 0, 0, 0};
  for (int k = 0; k < 3; ++k) {
    starts[k + 1] = starts[k] + counts[k] * sizes[k];
    if (starts[k + 1] > n)
      return failed(GM_ERR_SHAPED_TRUNCATED, starts[k] + (n - starts[k]) / sizes[k] * sizes[k]);
  }
  if (starts[3] < n) return failed(GM_ERR_TRAILING_BYTES, starts[3]);
  m.others_at = static_cast<u64>(starts[0]);
  for (u64 i = 0; i < others; ++i) {
    m.others.push_back(model_record(p + m.others_at + GM_FNT_RECORD_SIZE * i));
    if (m.others.back().code != -1)
      return failed(GM_ERR_OTHER_HAS_CODE, m.others_at + GM_FNT_RECORD_SIZE * i);
  }
  const u8 *ids = p + static_cast<u64>(starts[1]);
  for (u64 i = 0; i < all; ++i)
    m.ids.emplace_back(static_cast<u32>(le(ids + 8 * i, 4)),
                       static_cast<u32>(le(ids + 8 * i + 4, 4)));
  const auto key = [&](u64 r) { return std::tuple(m.ids[r].first, m.ids[r].second, r); };
  for (u64 k = 0; k < all; ++k) {
    const u64 entry = static_cast<u64>(starts[2]) + 4 * k;
    const u64 record = le(p + entry, 4);
    if (record >= all || (k > 0 && key(le(p + entry - 4, 4)) >= key(record)))
      return failed(GM_ERR_BAD_GLYPH_ORDER, entry);
  }
  m.kind_word = le_i32(p + at + GM_FNT_SHAPED_KIND_OFFSET);
  if (!names_a_kind(m.kind_word))
    return failed(GM_ERR_UNKNOWN_KIND, at + GM_FNT_SHAPED_KIND_OFFSET);
  m.shaped = true;
  return GM_OK;
}

Model model_parse(const u8 *p, u64 n) {
  Model m;
  const auto fail = [&](gm_error e, fuzz::U128 at) {
    m.error = e;
    m.offset = static_cast<u64>(at);
    return m;
  };
  constexpr u64 header = GM_FNT_HEADER_SIZE, record = GM_FNT_RECORD_SIZE;
  if (n < header) return fail(GM_ERR_SHORT_HEADER, n);
  const fuzz::U128 name = le(p + GM_FNT_NAME_LENGTH_OFFSET, 8);
  if (header + name > n) return fail(GM_ERR_NAME_PAST_END, 0);
  m.name_length = static_cast<u64>(name);
  m.line_height = le_i32(p + GM_FNT_LINE_HEIGHT_OFFSET + m.name_length);
  const fuzz::U128 count = le(p + GM_FNT_COUNT_OFFSET + m.name_length, 8);
  const fuzz::U128 total = header + name + record * count;
  if (total > UINT64_MAX) return fail(GM_ERR_COUNT_OVERFLOW, GM_FNT_COUNT_OFFSET + name);
  if (total > n)
    return fail(GM_ERR_RECORDS_TRUNCATED, header + name + (n - header - name) / record * record);
  // An empty file may end in one word naming a kind other than coverage.
  if (count == 0 && n - total == 4 && le_i32(p + total) != 0) {
    m.kind_word = le_i32(p + total);
    if (!names_a_kind(m.kind_word)) return fail(GM_ERR_UNKNOWN_KIND, total);
    return m;
  }
  // Anything else after the records is a shaped section or trailing bytes.
  if (total < n && !(n - total >= 4 && le(p + static_cast<u64>(total), 4) == GM_FNT_SHAPED_TAG))
    return fail(GM_ERR_TRAILING_BYTES, total);
  fuzz::U128 where = 0;
  if (total < n) {
    const gm_error e =
        model_shaped(p, n, static_cast<u64>(total), static_cast<u64>(count), m, where);
    if (e != GM_OK) return fail(e, where);
  }
  for (u64 i = 0; i < count; ++i) {
    const gm_glyph g = model_record(p + header + m.name_length + record * i);
    m.records.push_back(g);
    if (i > 0 && m.records[i].code < m.records[i - 1].code)
      return fail(GM_ERR_UNSORTED, header + name + record * i);
    // Every record carries the font's kind: the shaped section's, or the first record's.
    if (!m.shaped && i == 0) {
      if (!names_a_kind(g.reserved)) return fail(GM_ERR_UNKNOWN_KIND, header + name);
      m.kind_word = g.reserved;
    }
    if (g.reserved != m.kind_word) return fail(GM_ERR_BAD_SPREAD, header + name + record * i);
  }
  for (u64 i = 0; i < m.others.size(); ++i)
    if (m.others[i].reserved != m.kind_word)
      return fail(GM_ERR_BAD_SPREAD, m.others_at + record * i);
  return m;
}

/// Unicode's table of well-formed UTF-8: the lead byte's range, the second
/// byte's range, the length. Every later byte is 80..BF.
struct Utf8Row {
  u8 lead_lo, lead_hi, second_lo, second_hi, length;
};
const Utf8Row k_utf8[] = {
    {0xC2, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3}, {0xE1, 0xEC, 0x80, 0xBF, 3},
    {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3}, {0xF0, 0xF0, 0x90, 0xBF, 4},
    {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4},
};

/// The sequence's length at s[at], 0 when it is not well-formed.
size_t model_utf8(const std::string &s, size_t at, u32 &cp) {
  const auto b = [&](size_t i) { return static_cast<u8>(s[at + i]); };
  if (b(0) < 0x80) {
    cp = b(0);
    return 1;
  }
  for (const Utf8Row &row : k_utf8) {
    if (b(0) < row.lead_lo || b(0) > row.lead_hi) continue;
    if (s.size() - at < row.length || b(1) < row.second_lo || b(1) > row.second_hi) return 0;
    cp = b(0) & (0xFFu >> (row.length + 1));
    for (size_t i = 1; i < row.length; ++i) {
      if ((b(i) & 0xC0) != 0x80) return 0;
      cp = cp << 6 | (b(i) & 0x3Fu);
    }
    return row.length;
  }
  return 0;
}

/// The first record holding that glyph of that font; -1 in a file not shaped.
ptrdiff_t model_find_glyph(const Model &m, u32 font, u32 glyph) {
  for (size_t i = 0; i < m.ids.size(); ++i)
    if (m.ids[i] == std::pair(font, glyph)) return static_cast<ptrdiff_t>(i);
  return -1;
}

ptrdiff_t model_find(const Model &m, u32 cp) {
  for (size_t i = 0; i < m.records.size(); ++i)
    if (static_cast<i64>(m.records[i].code) == static_cast<i64>(cp))
      return static_cast<ptrdiff_t>(i);
  return -1;
}

/// Some amount for each pair, the extremes included.
i32 kern(void *salt, u32 first, u32 second) {
  const u32 h = (first * 2654435761u) ^ second ^ *static_cast<const u8 *>(salt);
  if ((h & 0xFF) == 0) return INT32_MIN;
  if ((h & 0xFF) == 1) return INT32_MAX;
  return static_cast<i32>(h % 17) - 8;
}

/// Lays the text out with the header and with the model side by side, then
/// measures it.
void check_layout(const Model &m, const gm_font &font, const std::string &text, const char *copy,
                  bool kerning, u8 salt, bool atlas_ok, u32 atlas_w, u32 atlas_h) {
  gm_layout layout;
  gm_layout_begin(&layout, &font, copy, text.size());
  if (kerning) gm_layout_set_kerning(&layout, kern, &salt);
  fuzz::I128 pen = 0, widest = 0;
  i64 line = 0;
  size_t at = 0, missing = 0;
  u32 previous = 0;
  bool has_previous = false;
  bool error = false;
  const auto where = [&] { return fuzz::quote(text) + " at " + std::to_string(at); };
  for (;;) {
    gm_placed_glyph g;
    const gm_step step = gm_layout_next(&layout, &g);
    u32 cp = 0;
    const size_t length = at < text.size() ? model_utf8(text, at, cp) : 0;
    const ptrdiff_t index = length != 0 ? model_find(m, cp) : -1;
    const bool glyph = length != 0 && cp != '\n' && index >= 0;
    if (glyph && kerning && has_previous) pen += kern(&salt, previous, cp);
    FUZZ_CHECK(g.pen_x == pen && g.line == line && g.text_offset == at,
               "pen, line or offset of " + where());
    if (at == text.size()) {
      FUZZ_CHECK(step == GM_STEP_END, "no END at the end of " + where());
      break;
    }
    if (length == 0) {
      FUZZ_CHECK(step == GM_STEP_ERROR && layout.error_offset == at, "no ERROR for " + where());
      FUZZ_CHECK(gm_layout_next(&layout, &g) == GM_STEP_ERROR, "restarted after " + where());
      error = true;
      break;
    }
    FUZZ_CHECK(g.code_point == cp, "code point of " + where());
    FUZZ_CHECK(gm_font_find(&font, cp) == index, "find " + std::to_string(cp));
    if (cp == '\n') {
      FUZZ_CHECK(step == GM_STEP_LINE_BREAK, "no LINE_BREAK for " + where());
      if (pen > widest) widest = pen;
      pen = 0;
      ++line;
      has_previous = false;
    } else if (!glyph) {
      FUZZ_CHECK(step == GM_STEP_MISSING, "no MISSING for " + where());
      ++missing;
    } else {
      FUZZ_CHECK(step == GM_STEP_GLYPH, "no GLYPH for " + where());
      const gm_glyph &r = m.records[static_cast<size_t>(index)];
      FUZZ_CHECK(g.src_x == fuzz::I128(r.x) + 1 && g.src_y == fuzz::I128(r.y) + 1 &&
                     g.width == r.width && g.height == r.rows,
                 "source rectangle of " + where());
      FUZZ_CHECK(g.dst_x == pen + r.bearing_x &&
                     g.dst_y == fuzz::I128(line) * m.line_height - r.bearing_y,
                 "destination of " + where());
      if (atlas_ok)
        FUZZ_CHECK(g.src_x >= 1 && g.src_y >= 1 && g.src_x + g.width < atlas_w &&
                       g.src_y + g.height < atlas_h,
                   "source rectangle outside a checked atlas for " + where());
      pen += r.advance;
      previous = cp;
      has_previous = true;
    }
    at += length;
  }
  if (pen > widest) widest = pen;

  // Measuring the same text gives the boxes the walk saw.
  gm_text_box box;
  size_t error_offset = 0;
  gm_layout_begin(&layout, &font, copy, text.size());
  if (kerning) gm_layout_set_kerning(&layout, kern, &salt);
  const gm_error e = gm_layout_measure(&layout, &box, &error_offset);
  FUZZ_CHECK(e == (error ? GM_ERR_INVALID_UTF8 : GM_OK), "measure error for " + where());
  FUZZ_CHECK(!error || error_offset == at, "measure error offset for " + where());
  FUZZ_CHECK(box.lines == line + 1 && box.width == widest && box.missing == missing &&
                 box.height == fuzz::I128(line + 1) * m.line_height,
             "measure of " + where());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8 *data, size_t size) {
  fuzz::Reader in(data, size);
  const u32 atlas_w = static_cast<u32>(in.bytes(2));
  const u32 atlas_h = static_cast<u32>(in.bytes(2));
  const u8 flags = in.byte();
  const std::string text = in.short_text();
  const size_t font_at = size - in.left();
  const u8 *file = data + font_at;
  const size_t length = size - font_at;

  const Model m = model_parse(file, length);
  gm_font font;
  size_t offset = 0;
  const gm_error e = gm_font_parse(&font, length ? file : nullptr, length, &offset);
  FUZZ_CHECK(e == m.error,
             std::string("parse gave ") + gm_error_text(e) + ", model " + gm_error_text(m.error));
  FUZZ_CHECK(e == GM_OK || offset == m.offset,
             "parse offset " + std::to_string(offset) + ", model " + std::to_string(m.offset));
  if (e != GM_OK) return 0;
  FUZZ_CHECK(font.glyph_count == m.records.size() && font.shaped == int(m.shaped) &&
                 font.record_count == m.records.size() + m.others.size() &&
                 font.line_height == m.line_height &&
                 gm_kind_reserved(font.kind, font.spread) == m.kind_word &&
                 font.channels == gm_kind_channels(font.kind) &&
                 font.image_name_length == m.name_length &&
                 font.image_name == reinterpret_cast<const char *>(file) + GM_FNT_NAME_OFFSET,
             "header fields");

  // The atlas: the first cell that leaves it, frame included.
  std::vector<gm_glyph> all = m.records;
  all.insert(all.end(), m.others.begin(), m.others.end());
  gm_error want = GM_OK;
  u64 want_at = 0;
  for (size_t i = 0; i < all.size() && want == GM_OK; ++i) {
    const gm_glyph &r = all[i];
    if (r.x < 0 || r.y < 0 || fuzz::I128(r.x) + r.width + 2 > atlas_w ||
        fuzz::I128(r.y) + r.rows + 2 > atlas_h) {
      want = GM_ERR_CELL_OUTSIDE_ATLAS;
      want_at = i < m.records.size() ? GM_FNT_HEADER_SIZE + m.name_length + GM_FNT_RECORD_SIZE * i
                                     : m.others_at + GM_FNT_RECORD_SIZE * (i - m.records.size());
    }
  }
  const gm_error atlas = gm_font_check_atlas(&font, atlas_w, atlas_h, &offset);
  FUZZ_CHECK(atlas == want && (want == GM_OK || offset == want_at), "atlas check");

  for (size_t i = 0; i < all.size(); ++i) {
    const gm_glyph g = gm_font_record(&font, i);
    const gm_glyph &r = all[i];
    const std::pair<u32, u32> id = m.shaped ? m.ids[i] : std::pair<u32, u32>(0, 0);
    FUZZ_CHECK(g.code == r.code && g.width == r.width && g.rows == r.rows &&
                   g.bearing_x == r.bearing_x && g.bearing_y == r.bearing_y && g.x == r.x &&
                   g.y == r.y && g.advance == r.advance && g.reserved == r.reserved &&
                   g.font_number == id.first && g.glyph_index == id.second,
               "record " + std::to_string(i));
    const u32 cp = static_cast<u32>(r.code);
    for (const u32 near : {cp - 1, cp, cp + 1})
      FUZZ_CHECK(gm_font_find(&font, near) == model_find(m, near), "find " + std::to_string(near));
    for (const u32 near : {id.second - 1, id.second, id.second + 1})
      FUZZ_CHECK(gm_font_find_glyph(&font, id.first, near) == model_find_glyph(m, id.first, near),
                 "find glyph " + std::to_string(id.first) + ":" + std::to_string(near));
  }

  std::unique_ptr<char[]> copy(new char[text.size()]);
  if (!text.empty()) std::memcpy(copy.get(), text.data(), text.size());
  check_layout(m, font, text, copy.get(), (flags & 1) != 0, static_cast<u8>(flags >> 1),
               atlas == GM_OK, atlas_w, atlas_h);
  return 0;
}
