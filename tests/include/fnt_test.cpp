// The reader header: hand-built files for every structural fault, lookup,
// UTF-8, line feeds and kerning, each also run through the C translation unit
// fnt_c.c; then a real bake of DejaVu Sans, whose layout is checked against
// FreeType called directly. Every input sits in a block of exactly its size,
// so AddressSanitizer reports any read past the end.
#include "glyphmint/fnt.h"

#include "tests/include/fnt_c.h"
#include "tests/support/support.h"

#include <stb_image.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

/// The fields of a record that the tests set, in gm_glyph's order; reserved
/// stays 0.
struct Rec {
  i32 code = 0;
  u32 width = 0;
  u32 rows = 0;
  i32 bearing_x = 0;
  i32 bearing_y = 0;
  i32 x = 0;
  i32 y = 0;
  i32 advance = 0;
};

void set_le(std::string &b, size_t at, u64 v, size_t bytes = 8) {
  for (size_t i = 0; i < bytes; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}

/// A .fnt file with these records, in the order given.
std::string fnt(const std::vector<Rec> &recs, const std::string &name = "a.png",
                i32 line_height = 10) {
  support::FntFile f{name, line_height, 12, 8, -2, {}};
  for (const Rec &r : recs)
    f.records.push_back(
        {r.code, r.width, r.rows, r.bearing_x, r.bearing_y, r.x, r.y, r.advance, 0, 0, 0});
  return support::fnt_bytes(f);
}

/// Bytes in a heap block of exactly their size.
class Exact {
public:
  explicit Exact(const std::string &s) : data_(new u8[s.size()]), size_(s.size()) {
    if (!s.empty()) std::memcpy(data_.get(), s.data(), s.size());
  }
  [[nodiscard]] const u8 *data() const { return data_.get(); }
  [[nodiscard]] const char *text() const { return reinterpret_cast<const char *>(data_.get()); }
  [[nodiscard]] size_t size() const { return size_; }

private:
  std::unique_ptr<u8[]> data_;
  size_t size_;
};

/// A file parsed from its exact-size copy, which it keeps alive.
struct Parsed {
  explicit Parsed(const std::string &bytes) : file(bytes) {
    error = gm_font_parse(&font, file.data(), file.size(), &where);
  }
  Exact file;
  gm_font font{};
  gm_error error = GM_OK;
  size_t where = 0;
};

/// "GLYPH 97 @0 line 0 pen 0 src 1,1 3x4 dst 0,-4"; the rectangles for glyphs only.
std::string describe(const fnt_c_step &s) {
  static const char *const names[] = {"END", "GLYPH", "MISSING", "BREAK", "ERROR"};
  std::string out = std::string(names[s.step]) + " " + std::to_string(s.code_point) + " @" +
                    std::to_string(s.text_offset) + " line " + std::to_string(s.line) + " pen " +
                    std::to_string(s.pen_x);
  if (s.step == GM_STEP_GLYPH)
    out += " src " + std::to_string(s.src_x) + "," + std::to_string(s.src_y) + " " +
           std::to_string(s.width) + "x" + std::to_string(s.height) + " dst " +
           std::to_string(s.dst_x) + "," + std::to_string(s.dst_y);
  return out;
}

/// The layout's steps through the C++ translation unit, up to END or ERROR.
std::vector<fnt_c_step> layout_cpp(const gm_font &font, const Exact &text,
                                   gm_kerning_fn kerning = nullptr, void *user = nullptr) {
  std::vector<fnt_c_step> steps;
  gm_layout layout;
  gm_layout_begin(&layout, &font, text.text(), text.size());
  gm_layout_set_kerning(&layout, kerning, user);
  for (;;) {
    gm_placed_glyph p;
    fnt_c_step s{};
    s.step = gm_layout_next(&layout, &p);
    s.code_point = p.code_point;
    s.text_offset = p.text_offset;
    s.line = p.line;
    s.pen_x = p.pen_x;
    if (s.step == GM_STEP_GLYPH) {
      s.src_x = p.src_x;
      s.src_y = p.src_y;
      s.width = p.width;
      s.height = p.height;
      s.dst_x = p.dst_x;
      s.dst_y = p.dst_y;
    }
    steps.push_back(s);
    if (s.step == GM_STEP_END || s.step == GM_STEP_ERROR) return steps;
  }
}

/// The same layout through the C translation unit.
std::vector<fnt_c_step> layout_c(const Exact &file, const Exact &text,
                                 gm_kerning_fn kerning = nullptr, void *user = nullptr) {
  std::vector<fnt_c_step> steps(text.size() + 2);
  steps.resize(fnt_c_layout(file.data(), file.size(), text.text(), text.size(), kerning, user,
                            steps.data(), steps.size()));
  return steps;
}

std::vector<std::string> described(const std::vector<fnt_c_step> &steps) {
  std::vector<std::string> out;
  for (const fnt_c_step &s : steps) out.push_back(describe(s));
  return out;
}

// Two glyphs that the layout tests share: line height 10.
const Rec k_a{'a', 3, 4, 0, 4, 0, 0, 5};
const Rec k_b{'b', 2, 6, 1, 6, 5, 0, 7};

/// A shaped file of these records, code points' first, and each one's
/// (font number, glyph index) in the same order, through the encoders.
std::string shaped_fnt(const std::vector<Rec> &codes, const std::vector<Rec> &others,
                       const std::vector<std::pair<u32, u32>> &ids,
                       gm_kind kind = GM_KIND_COVERAGE) {
  std::vector<gm_glyph> all;
  for (const Rec &r : codes)
    all.push_back({r.code, r.width, r.rows, r.bearing_x, r.bearing_y, r.x, r.y, r.advance,
                   gm_kind_reserved(kind, 0), ids[all.size()].second, ids[all.size()].first});
  for (const Rec &r : others)
    all.push_back({r.code, r.width, r.rows, r.bearing_x, r.bearing_y, r.x, r.y, r.advance,
                   gm_kind_reserved(kind, 0), ids[all.size()].second, ids[all.size()].first});
  gm_font header{};
  header.shaped = 1, header.kind = kind, header.glyph_count = codes.size(),
  header.record_count = all.size();
  std::string section(gm_font_shaped_size(&header), '\0');
  gm_font_encode_shaped(&header, all.data(), all.data() + codes.size(),
                        reinterpret_cast<unsigned char *>(section.data()));
  all.resize(codes.size());
  return support::fnt_bytes({"a.png", 10, 12, 8, -2, all}) + section;
}

TEST(FntReader, RejectsEachStructuralFaultWhereItLies) {
  // Atlas 16 x 8. The name "a.png" puts the records at 37, the count at 29.
  const std::string good = fnt({{'A', 3, 4, 0, 4, 0, 0, 5}, {'B', 2, 2, 1, 2, 5, 0, 4}});
  const size_t rec = 37;
  const auto with_u64 = [&](size_t at, u64 v) {
    std::string b = good;
    set_le(b, at, v);
    return b;
  };
  const auto one = [](Rec r) { return fnt({{'A', 1, 1, 0, 0, 0, 0, 1}, r}); };
  // Spreads in the two records' reserved fields.
  const auto spreads = [&](u32 first, u32 second) {
    std::string b = good;
    set_le(b, rec + GM_GLYPH_RESERVED_OFFSET, first, 4);
    set_le(b, rec + 36 + GM_GLYPH_RESERVED_OFFSET, second, 4);
    return b;
  };
  // A file without records, then a kind word.
  const auto kind_word = [&](u32 word) {
    std::string b = with_u64(29, 0).substr(0, rec + 4);
    set_le(b, rec, word, 4);
    return b;
  };
  // A shaped file: its section at 109, the glyph order at 229; the fuzz
  // target's seeds cut and spoil each of its parts against its model.
  const auto shaped = [](size_t at, u32 v) {
    std::string b = shaped_fnt({{'A', 3, 4, 0, 4, 0, 0, 5}, {'B', 2, 2, 1, 2, 5, 0, 4}},
                               {{-1, 1, 1, 0, 0, 8, 0, 3}, {-1, 1, 1, 0, 0, 11, 0, 3}},
                               {{0, 7}, {1, 3}, {0, 5}, {0, 9}});
    set_le(b, at, v, 4);
    return b;
  };
  // The largest count whose 32 + L + 36 N still fits in 64 bits.
  const u64 max_count = (UINT64_MAX - rec) / 36;
  struct Case {
    const char *name;
    std::string bytes;
    gm_error error;
    size_t offset;
  };
  const Case cases[] = {
      {"empty", "", GM_ERR_SHORT_HEADER, 0},
      {"31 bytes", good.substr(0, 31), GM_ERR_SHORT_HEADER, 31},
      {"name one byte past the end", with_u64(0, good.size() - 31), GM_ERR_NAME_PAST_END, 0},
      {"name length 2^64 - 1", with_u64(0, UINT64_MAX), GM_ERR_NAME_PAST_END, 0},
      {"count 2^64 - 1", with_u64(29, UINT64_MAX), GM_ERR_COUNT_OVERFLOW, 29},
      {"count just past 64 bits", with_u64(29, max_count + 1), GM_ERR_COUNT_OVERFLOW, 29},
      {"count just inside 64 bits", with_u64(29, max_count), GM_ERR_RECORDS_TRUNCATED, rec + 72},
      {"count one too many", with_u64(29, 3), GM_ERR_RECORDS_TRUNCATED, rec + 72},
      {"last record cut short", good.substr(0, good.size() - 1), GM_ERR_RECORDS_TRUNCATED,
       rec + 36},
      {"count one too few", with_u64(29, 1), GM_ERR_TRAILING_BYTES, rec + 36},
      {"codes descending", fnt({{'B', 0, 0, 0, 0, 0, 0, 1}, {'A', 0, 0, 0, 0, 0, 0, 1}}),
       GM_ERR_UNSORTED, rec + 36},
      {"negative code after a positive one",
       fnt({{5, 0, 0, 0, 0, 0, 0, 1}, {-1, 0, 0, 0, 0, 0, 0, 1}}), GM_ERR_UNSORTED, rec + 36},
      {"frame one past the right edge", one({'B', 3, 1, 0, 0, 12, 0, 1}), GM_ERR_CELL_OUTSIDE_ATLAS,
       rec + 36},
      {"frame one past the bottom edge", one({'B', 1, 5, 0, 0, 0, 2, 1}), GM_ERR_CELL_OUTSIDE_ATLAS,
       rec + 36},
      {"negative x", one({'B', 1, 1, 0, 0, -1, 0, 1}), GM_ERR_CELL_OUTSIDE_ATLAS, rec + 36},
      {"negative y", one({'B', 1, 1, 0, 0, 0, -1, 1}), GM_ERR_CELL_OUTSIDE_ATLAS, rec + 36},
      {"width 2^32 - 1", one({'B', UINT32_MAX, 1, 0, 0, 0, 0, 1}), GM_ERR_CELL_OUTSIDE_ATLAS,
       rec + 36},
      {"first record outside", fnt({{'A', 1, 1, 0, 0, 0, 7, 1}}), GM_ERR_CELL_OUTSIDE_ATLAS, rec},
      {"spreads differ", spreads(4, 5), GM_ERR_BAD_SPREAD, rec + 36},
      {"coverage then a spread", spreads(0, 4), GM_ERR_BAD_SPREAD, rec + 36},
      {"negative spread", spreads(u32(-4), u32(-4)), GM_ERR_UNKNOWN_KIND, rec},
      {"colour with a spread", spreads(u32(-1025), u32(-1025)), GM_ERR_UNKNOWN_KIND, rec},
      {"msdf then mtsdf", spreads(u32(-516), u32(-772)), GM_ERR_BAD_SPREAD, rec + 36},
      {"mono with a spread", spreads(u32(-1283), u32(-1283)), GM_ERR_UNKNOWN_KIND, rec},
      // An empty file's kind word: one encoding per kind, and only there.
      {"kind word 0", kind_word(0), GM_ERR_TRAILING_BYTES, rec},
      {"kind word naming no kind", kind_word(u32(-4)), GM_ERR_UNKNOWN_KIND, rec},
      {"kind word after records", good + kind_word(4).substr(rec), GM_ERR_TRAILING_BYTES, rec + 72},
      // What every reader before 1.4 says of a shaped file: trailing bytes.
      {"shaped section without its tag", shaped(109, 0), GM_ERR_TRAILING_BYTES, rec + 72},
      {"shaped records not of the section's kind", shaped(113, 4), GM_ERR_BAD_SPREAD, rec},
      {"glyph order out of order", shaped(229, 0), GM_ERR_BAD_GLYPH_ORDER, 233},
      {"glyph order cut", shaped(109, u32(GM_FNT_SHAPED_TAG)).substr(0, 244),
       GM_ERR_SHAPED_TRUNCATED, 241},
      // Sound files around the same edges.
      {"good", good, GM_OK, 0},
      {"distance field", spreads(4, 4), GM_OK, 0},
      {"no glyphs", fnt({}), GM_OK, 0},
      {"empty name", fnt({}, ""), GM_OK, 0},
      {"frame on the right and bottom edges", one({'B', 3, 4, 0, 0, 11, 2, 1}), GM_OK, 0},
      {"empty bitmap in the corner", one({'B', 0, 0, 0, 0, 14, 6, 1}), GM_OK, 0},
      {"code baked twice", fnt({{'A', 0, 0, 0, 0, 0, 0, 1}, {'A', 0, 0, 0, 0, 0, 0, 1}}), GM_OK, 0},
      {"negative code first", fnt({{-1, 0, 0, 0, 0, 0, 0, 1}, {5, 0, 0, 0, 0, 0, 0, 1}}), GM_OK, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const Exact file(c.bytes);
    gm_font font;
    std::memset(&font, 0xab, sizeof font);
    gm_font untouched;
    std::memcpy(&untouched, &font, sizeof font);
    size_t where = 12345;
    gm_error e = gm_font_parse(&font, file.data(), file.size(), &where);
    if (e != GM_OK) {
      EXPECT_EQ(std::memcmp(&font, &untouched, sizeof font), 0) << "a failed parse wrote the font";
    } else {
      EXPECT_EQ(font.glyph_count * 36 + font.records_offset, file.size());
      e = gm_font_check_atlas(&font, 16, 8, &where);
    }
    EXPECT_EQ(e, c.error) << gm_error_text(e);
    if (c.error != GM_OK) {
      EXPECT_EQ(where, c.offset);
    }

    size_t c_where = 12345;
    EXPECT_EQ(fnt_c_check(file.data(), file.size(), 16, 8, &c_where), c.error) << "from C";
    if (c.error != GM_OK) {
      EXPECT_EQ(c_where, c.offset) << "from C";
    }
  }
}

TEST(FntReader, ReadsEachKindItsWriterEncodes) {
  struct Row {
    gm_kind kind;
    i32 spread, channels;
  };
  for (const Row row :
       {Row{GM_KIND_COVERAGE, 0, 1}, Row{GM_KIND_SDF, 4, 1}, Row{GM_KIND_MSDF, 32, 3},
        Row{GM_KIND_MTSDF, 2, 4}, Row{GM_KIND_COLOR, 0, 4}, Row{GM_KIND_MONO, 0, 1}}) {
    std::string bytes = fnt({{'A', 3, 4, 0, 4, 0, 0, 5}, {'B', 2, 2, 1, 2, 5, 0, 4}});
    for (size_t record = 37; record < bytes.size(); record += 36)
      set_le(bytes, record + GM_GLYPH_RESERVED_OFFSET, u32(gm_kind_reserved(row.kind, row.spread)),
             4);
    const Exact file(bytes);
    gm_font font;
    size_t where = 0;
    ASSERT_EQ(gm_font_parse(&font, file.data(), file.size(), &where), GM_OK) << row.kind;
    EXPECT_EQ(font.kind, row.kind);
    EXPECT_EQ(font.spread, row.spread);
    EXPECT_EQ(font.channels, row.channels);
  }
  // Files of the first kinds keep the bytes they always had; mono's is documented.
  EXPECT_EQ(gm_kind_reserved(GM_KIND_COVERAGE, 0), 0);
  EXPECT_EQ(gm_kind_reserved(GM_KIND_SDF, 6), 6);
  EXPECT_EQ(gm_kind_reserved(GM_KIND_MONO, 0), -1280);
}

TEST(FntReader, FindGivesTheFirstOfEqualCodesAndNothingForAbsentOnes) {
  struct Case {
    std::vector<i32> codes;
    u32 code_point;
    ptrdiff_t index;
  };
  const std::vector<i32> codes = {-5, 65, 66, 66, 70};
  const Case cases[] = {
      {codes, 65, 1},
      {codes, 66, 2},
      {codes, 70, 4},
      {codes, 0, -1},
      {codes, 64, -1},
      {codes, 67, -1},
      {codes, 71, -1},
      // -5 in the file is no code point, whatever its bits read as unsigned.
      {codes, static_cast<u32>(-5), -1},
      {codes, UINT32_MAX, -1},
      {{66, 66, 66, 66, 66, 66, 66}, 66, 0},
      {{1, 2, 3, 4, 5, 5, 5, 5}, 5, 4},
      {{}, 0, -1},
  };
  for (const Case &c : cases) {
    std::vector<Rec> recs;
    for (const i32 code : c.codes) recs.push_back({code, 0, 0, 0, 0, 0, 0, 1});
    const Parsed p(fnt(recs));
    ASSERT_EQ(p.error, GM_OK);
    EXPECT_EQ(gm_font_find(&p.font, c.code_point), c.index)
        << "code point " << c.code_point << " in " << testing::PrintToString(c.codes);
    EXPECT_EQ(fnt_c_find(p.file.data(), p.file.size(), c.code_point), c.index)
        << "from C, code point " << c.code_point << " in " << testing::PrintToString(c.codes);
  }
}

TEST(FntReader, FindsShapedGlyphsByFontAndIndex) {
  // Two code points share glyph 7; many others written in scrambled order.
  std::vector<Rec> others;
  std::vector<std::pair<u32, u32>> ids = {{0, 7}, {0, 7}, {1, 3}};
  for (u32 k = 0; k < 300; ++k) {
    others.push_back({-1, 0, 0, 0, 0, 0, 0, 1});
    ids.emplace_back(k % 3, 1000 + (k * 7919) % 300);
  }
  const Parsed p(shaped_fnt(
      {{'A', 0, 0, 0, 0, 0, 0, 1}, {'B', 0, 0, 0, 0, 0, 0, 1}, {'C', 0, 0, 0, 0, 0, 0, 1}}, others,
      ids));
  ASSERT_EQ(p.error, GM_OK) << gm_error_text(p.error);
  EXPECT_TRUE(p.font.shaped && p.font.glyph_count == 3 && p.font.record_count == 303);
  EXPECT_EQ(gm_font_find(&p.font, 'B'), 1);
  for (size_t r = 0; r < ids.size(); ++r) {
    const auto [font, index] = ids[r];
    const ptrdiff_t want = r == 1 ? 0 : ptrdiff_t(r);
    EXPECT_EQ(gm_font_find_glyph(&p.font, font, index), want) << r;
    EXPECT_EQ(fnt_c_find_glyph(p.file.data(), p.file.size(), font, index), want);
    const gm_glyph g = gm_font_record(&p.font, r);
    EXPECT_TRUE(g.font_number == font && g.glyph_index == index &&
                g.code == (r < 3 ? 'A' + i32(r) : -1))
        << r;
  }
  // Absent glyphs, and files that are not shaped, the fuzz target checks against its model.
}

TEST(FntReader, DecodesWellFormedUtf8AndStopsAtAnythingElse) {
  // Each sequence follows "a" and ends the text, so a cut-off sequence ends
  // the buffer too. Valid ones are missing from the font (or 'b').
  struct Case {
    const char *name;
    std::string sequence;
    i64 code_point; // -1: invalid at offset 1
  };
  const Case cases[] = {
      {"ASCII", "b", 'b'},
      {"smallest 2-byte", "\xC2\x80", 0x80},
      {"largest 2-byte", "\xDF\xBF", 0x7FF},
      {"smallest 3-byte", "\xE0\xA0\x80", 0x800},
      {"euro sign", "\xE2\x82\xAC", 0x20AC},
      {"below the surrogates", "\xED\x9F\xBF", 0xD7FF},
      {"above the surrogates", "\xEE\x80\x80", 0xE000},
      {"smallest 4-byte", "\xF0\x90\x80\x80", 0x10000},
      {"largest code point", "\xF4\x8F\xBF\xBF", 0x10FFFF},
      {"overlong 2-byte NUL", "\xC0\x80", -1},
      {"overlong 2-byte", "\xC1\xBF", -1},
      {"overlong 3-byte", "\xE0\x9F\xBF", -1},
      {"overlong 4-byte", "\xF0\x8F\xBF\xBF", -1},
      {"first surrogate", "\xED\xA0\x80", -1},
      {"last surrogate", "\xED\xBF\xBF", -1},
      {"above U+10FFFF", "\xF4\x90\x80\x80", -1},
      {"lead byte F5", "\xF5\x80\x80\x80", -1},
      {"byte FF", "\xFF", -1},
      {"stray continuation", "\x80", -1},
      {"truncated 2-byte", "\xC2", -1},
      {"truncated 3-byte", "\xE2\x82", -1},
      {"truncated 4-byte", "\xF0\x90\x80", -1},
      {"ASCII where a continuation belongs", "\xE2\x28\xA1", -1},
  };
  const Parsed p(fnt({k_a, k_b}));
  ASSERT_EQ(p.error, GM_OK);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const Exact text("a" + c.sequence);
    size_t offset = 1;
    u32 cp = 0;
    const int ok = gm_utf8_decode(text.text(), text.size(), &offset, &cp);
    EXPECT_EQ(ok, c.code_point >= 0 ? 1 : 0);
    EXPECT_EQ(offset, c.code_point >= 0 ? text.size() : 1u);
    if (ok) {
      EXPECT_EQ(cp, c.code_point);
    }

    const std::vector<fnt_c_step> steps = layout_cpp(p.font, text);
    ASSERT_EQ(steps.size(), c.code_point < 0 ? 2u : 3u);
    const fnt_c_step &second = steps[1];
    EXPECT_EQ(second.text_offset, 1u);
    if (c.code_point < 0) {
      EXPECT_EQ(second.step, GM_STEP_ERROR);
    } else {
      EXPECT_EQ(second.step, c.code_point == 'b' ? GM_STEP_GLYPH : GM_STEP_MISSING);
      EXPECT_EQ(second.code_point, c.code_point);
      EXPECT_EQ(steps[2].step, GM_STEP_END);
    }
    EXPECT_EQ(described(layout_c(p.file, text)), described(steps)) << "from C";

    gm_text_box box{};
    size_t where = 0;
    EXPECT_EQ(gm_measure(&p.font, text.text(), text.size(), &box, &where),
              c.code_point < 0 ? GM_ERR_INVALID_UTF8 : GM_OK);
    if (c.code_point < 0) {
      EXPECT_EQ(where, 1u);
    }
    EXPECT_EQ(box.width, c.code_point == 'b' ? 12 : 5) << "the box covers the text before a fault";
  }
}

TEST(FntReader, LineFeedsStartLinesOneLineHeightLower) {
  const Parsed p(fnt({k_a, k_b}));
  ASSERT_EQ(p.error, GM_OK);
  const Exact text("ab\nb?");
  const std::vector<std::string> want = {
      "GLYPH 97 @0 line 0 pen 0 src 1,1 3x4 dst 0,-4",
      "GLYPH 98 @1 line 0 pen 5 src 6,1 2x6 dst 6,-6",
      "BREAK 10 @2 line 0 pen 12",
      "GLYPH 98 @3 line 1 pen 0 src 6,1 2x6 dst 1,4",
      "MISSING 63 @4 line 1 pen 7",
      "END 0 @5 line 1 pen 7",
  };
  EXPECT_EQ(described(layout_cpp(p.font, text)), want);
  EXPECT_EQ(described(layout_c(p.file, text)), want) << "from C";
}

TEST(FntReader, MeasuresTheLineBoxes) {
  struct Case {
    std::string text;
    i64 lines, width, height;
    size_t missing;
  };
  const Case cases[] = {
      {"", 1, 0, 10, 0},       {"ab", 1, 12, 10, 0},   {"ab\na", 2, 12, 20, 0},
      {"a\nab", 2, 12, 20, 0}, {"ab\n", 2, 12, 20, 0}, {"\n\n", 3, 0, 30, 0},
      {"a?b", 1, 12, 10, 1},   {"?\n??", 2, 0, 20, 3},
  };
  const Parsed p(fnt({k_a, k_b}));
  ASSERT_EQ(p.error, GM_OK);
  for (const Case &c : cases) {
    const Exact text(c.text);
    for (const bool from_c : {false, true}) {
      gm_text_box box{};
      size_t where = 99;
      const gm_error e = from_c ? fnt_c_measure(p.file.data(), p.file.size(), text.text(),
                                                text.size(), &box, &where)
                                : gm_measure(&p.font, text.text(), text.size(), &box, &where);
      const std::string row = testing::PrintToString(c.text) + (from_c ? " from C" : "");
      EXPECT_EQ(e, GM_OK) << row;
      EXPECT_EQ(box.lines, c.lines) << row;
      EXPECT_EQ(box.width, c.width) << row;
      EXPECT_EQ(box.height, c.height) << row;
      EXPECT_EQ(box.missing, c.missing) << row;
    }
  }
}

struct KernLog {
  std::vector<std::pair<u32, u32>> calls;
};

i32 kern(void *user, u32 first, u32 second) {
  static_cast<KernLog *>(user)->calls.emplace_back(first, second);
  if (first == 'a' && second == 'b') return -2;
  if (first == 'b' && second == 'a') return 3;
  return 0;
}

TEST(FntReader, KerningJoinsNeighboursOfALineOnly) {
  // Kerned across the missing '?', which draws nothing; not across the line feed.
  const Parsed p(fnt({k_a, k_b}));
  ASSERT_EQ(p.error, GM_OK);
  const Exact text("ab?a\nba");
  const std::vector<std::string> want = {
      "GLYPH 97 @0 line 0 pen 0 src 1,1 3x4 dst 0,-4",
      "GLYPH 98 @1 line 0 pen 3 src 6,1 2x6 dst 4,-6",
      "MISSING 63 @2 line 0 pen 10",
      "GLYPH 97 @3 line 0 pen 13 src 1,1 3x4 dst 13,-4",
      "BREAK 10 @4 line 0 pen 18",
      "GLYPH 98 @5 line 1 pen 0 src 6,1 2x6 dst 1,4",
      "GLYPH 97 @6 line 1 pen 10 src 1,1 3x4 dst 10,6",
      "END 0 @7 line 1 pen 15",
  };
  const std::vector<std::pair<u32, u32>> want_calls = {{'a', 'b'}, {'b', 'a'}, {'b', 'a'}};
  KernLog log;
  EXPECT_EQ(described(layout_cpp(p.font, text, kern, &log)), want);
  EXPECT_EQ(log.calls, want_calls);
  KernLog c_log;
  EXPECT_EQ(described(layout_c(p.file, text, kern, &c_log)), want) << "from C";
  EXPECT_EQ(c_log.calls, want_calls) << "from C";

  gm_layout layout;
  gm_layout_begin(&layout, &p.font, text.text(), text.size());
  gm_layout_set_kerning(&layout, kern, &log);
  gm_text_box box{};
  EXPECT_EQ(gm_layout_measure(&layout, &box, nullptr), GM_OK);
  EXPECT_EQ(box.width, 18);
  EXPECT_EQ(box.lines, 2);
}

TEST(FntReader, PositionsStopAtThe64BitLimits) {
  // Only gigabytes of text reach these pens and lines, so the layout starts
  // there; UBSan fails the test if any sum or product overflows instead.
  struct Case {
    i32 metric; // line height, bearings, advance and kerning alike
    i64 start;  // the pen to start from
    i64 limit;
  };
  const Case cases[] = {{INT32_MAX, INT64_MAX - 1, INT64_MAX},
                        {INT32_MIN, INT64_MIN + 1, INT64_MIN}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.metric);
    const Parsed p(
        fnt({{'a', 0, 0, c.metric, c.metric == INT32_MIN ? INT32_MAX : INT32_MIN, 0, 0, c.metric}},
            "a.png", c.metric));
    ASSERT_EQ(p.error, GM_OK);
    const Exact text("aa\na");
    gm_layout layout;
    gm_layout_begin(&layout, &p.font, text.text(), text.size());
    gm_layout_set_kerning(
        &layout, [](void *user, u32, u32) { return *static_cast<const i32 *>(user); },
        const_cast<i32 *>(&c.metric));
    layout.pen_x = c.start;
    layout.line = INT64_MAX - 1;
    gm_placed_glyph g;
    int glyphs = 0;
    for (gm_step s; (s = gm_layout_next(&layout, &g)) != GM_STEP_END;) {
      ASSERT_NE(s, GM_STEP_ERROR);
      if (s != GM_STEP_GLYPH) continue;
      ++glyphs;
      EXPECT_EQ(g.dst_y, c.limit) << "glyph " << glyphs;
      if (glyphs < 3) {
        EXPECT_EQ(g.dst_x, c.limit) << "glyph " << glyphs;
      }
    }
    EXPECT_EQ(glyphs, 3);
    EXPECT_EQ(layout.pen_x, c.metric);
    gm_text_box box{};
    gm_layout_begin(&layout, &p.font, text.text(), text.size());
    layout.line = INT64_MAX;
    EXPECT_EQ(gm_layout_measure(&layout, &box, nullptr), GM_OK);
    EXPECT_EQ(box.lines, INT64_MAX);
    EXPECT_EQ(box.height, c.limit);
  }
}

// ---------------------------------------------------------------------------
// A real bake.

/// The .fnt and atlas that the baker makes of DejaVu Sans at `size`.
struct Baked {
  std::string fnt;
  std::string png;
};

Baked bake_dejavu(const support::ScratchDir &dir, int size) {
  const std::string fonts = dir.path() + "/fonts";
  std::filesystem::create_directory(fonts);
  std::filesystem::copy_file(support::k_sans, fonts + "/DejaVuSans.ttf");
  support::write_file(fonts + "/x.glyphmint.ini", "path = DejaVuSans.ttf\nsizes = [" +
                                                      std::to_string(size) +
                                                      "]\nranges = [32-126]\nchars = []\n");
  const support::RunResult run =
      support::run_program(GLYPHMINT_EXE, {"--dir", fonts}, dir.path(), dir.path());
  EXPECT_TRUE(run.exited && run.exit_code == 0) << run;
  const std::string stem = fonts + "/DejaVuSans-" + std::to_string(size);
  return {support::read_file(stem + ".fnt"), support::read_file(stem + ".png")};
}

TEST(FntReader, PlacesDejaVuSansGlyphsWhereFreeTypeDoes) {
  const int size = 32;
  const support::ScratchDir dir;
  const Baked baked = bake_dejavu(dir, size);

  // gm_load_file, from C, reads what the baker wrote.
  size_t loaded_length = 0;
  void *loaded = fnt_c_load((dir.path() + "/fonts/DejaVuSans-32.fnt").c_str(), &loaded_length);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(std::string(static_cast<const char *>(loaded), loaded_length), baked.fnt);
  fnt_c_free(loaded);
  size_t ignored = 7;
  EXPECT_EQ(fnt_c_load((dir.path() + "/fonts/none.fnt").c_str(), &ignored), nullptr);
  EXPECT_EQ(fnt_c_load(dir.path().c_str(), &ignored), nullptr) << "a directory";
  EXPECT_EQ(ignored, 7u);

  const Parsed p(baked.fnt);
  ASSERT_EQ(p.error, GM_OK) << gm_error_text(p.error) << " at " << p.where;
  int w = 0, h = 0, channels = 0;
  std::unique_ptr<u8, void (*)(void *)> atlas(
      stbi_load_from_memory(reinterpret_cast<const u8 *>(baked.png.data()),
                            static_cast<int>(baked.png.size()), &w, &h, &channels, 1),
      stbi_image_free);
  ASSERT_NE(atlas, nullptr);
  size_t where = 0;
  ASSERT_EQ(gm_font_check_atlas(&p.font, u32(w), u32(h), &where), GM_OK) << where;

  // The header as the independent reader in support.h sees it.
  support::FntFile ref_file;
  std::string why;
  ASSERT_TRUE(support::parse_fnt(baked.fnt, ref_file, why)) << why;
  EXPECT_EQ(std::string(p.font.image_name, p.font.image_name_length), ref_file.image);
  EXPECT_EQ(static_cast<const void *>(p.font.image_name), p.file.data() + 8) << "not copied";
  EXPECT_EQ(p.font.line_height, ref_file.line_height);
  EXPECT_EQ(p.font.size, size);
  EXPECT_EQ(p.font.ascender, ref_file.ascender);
  EXPECT_EQ(p.font.descender, ref_file.descender);
  EXPECT_EQ(p.font.glyph_count, ref_file.records.size());

  // A space, descenders (g, j, y), negative left bearings (J, j) and a line feed.
  const support::RefFace face(support::k_sans, size);
  ASSERT_TRUE(face.ok());
  const std::string text_bytes = "Jg jy\nyJ";
  ASSERT_LT(face.glyph('J').left, 0);
  ASSERT_LT(face.glyph('j').left, 0);
  ASSERT_LT(face.glyph('g').top - i32(face.glyph('g').rows), 0);
  ASSERT_EQ(face.glyph(' ').width, 0u);
  const Exact text(text_bytes);
  const std::vector<fnt_c_step> steps = layout_cpp(p.font, text);
  EXPECT_EQ(described(layout_c(p.file, text)), described(steps)) << "from C";

  const i64 line_height = face.metrics().line_height;
  i64 pen = 0, line = 0;
  size_t at = 0;
  for (const fnt_c_step &s : steps) {
    SCOPED_TRACE(describe(s));
    EXPECT_EQ(s.pen_x, pen);
    EXPECT_EQ(s.line, line);
    if (s.step == GM_STEP_END) break;
    ASSERT_LT(at, text_bytes.size());
    const char c = text_bytes[at++];
    if (c == '\n') {
      EXPECT_EQ(s.step, GM_STEP_LINE_BREAK);
      pen = 0;
      ++line;
      continue;
    }
    ASSERT_EQ(s.step, GM_STEP_GLYPH);
    const support::RefGlyph ref = face.glyph(c);
    EXPECT_EQ(s.dst_x, pen + ref.left);
    EXPECT_EQ(s.dst_y, line * line_height - ref.top);
    EXPECT_EQ(s.width, i64(ref.width));
    EXPECT_EQ(s.height, i64(ref.rows));
    // The source rectangle holds FreeType's bitmap, pixel for pixel.
    ASSERT_TRUE(s.src_x >= 0 && s.src_y >= 0 && s.src_x + s.width <= w && s.src_y + s.height <= h);
    std::vector<u8> pixels;
    for (i64 row = 0; row < s.height; ++row) {
      const u8 *from = atlas.get() + (s.src_y + row) * w + s.src_x;
      pixels.insert(pixels.end(), from, from + s.width);
    }
    EXPECT_TRUE(pixels == ref.bitmap);
    pen += ref.advance;
  }
  EXPECT_EQ(at, text_bytes.size());
}

// Bakes of every kind, empty ones (whose atlas only the recorded kind
// describes) and a mono one (which only it tells from coverage), read back by
// the C reader and every command of the font tool; stb_image gives the
// atlas's channels. The baker writes the kind word through the encoders.
TEST(FntReader, BakesOfEveryKindReadBackWithAndWithoutGlyphs) {
  const std::tuple<const char *, const char *, gm_kind, const char *> rows[] = {
      {"coverage", "", GM_KIND_COVERAGE, "coverage"},
      {"mono", "", GM_KIND_MONO, "monochrome"},
      {"sdf", "", GM_KIND_SDF, "distance field, spread 4"},
      {"msdf", "", GM_KIND_MSDF, "multi-channel distance field, spread 4"},
      {"mtsdf", "", GM_KIND_MTSDF, "multi-channel and true distance field, spread 4"},
      {"color", "", GM_KIND_COLOR, "colour"},
      {"mono", "65", GM_KIND_MONO, "monochrome"}};
  for (const auto &[render, chars, kind, info_kind] : rows) {
    SCOPED_TRACE(std::string(render) + " [" + chars + "]");
    const support::ScratchDir dir;
    const auto run = [&](const char *exe, const std::vector<std::string> &args) {
      return support::run_program(exe, args, dir.path(), dir.path());
    };
    std::filesystem::copy_file(support::k_sans, dir.path() + "/Sans.ttf");
    support::write_file(dir.path() + "/Sans.glyphmint.ini",
                        std::string("path = Sans.ttf\nsizes = [16]\nranges = []\nchars = [") +
                            chars + "]\nrender = " + render + "\n");
    ASSERT_EQ(run(GLYPHMINT_EXE, {"--dir", "."}).exit_code, 0);
    const Exact file(support::read_file(dir.path() + "/Sans-16.fnt"));
    gm_font font;
    int w = 0, h = 0, channels = 0;
    ASSERT_EQ(fnt_c_parse(file.data(), file.size(), &font, nullptr), GM_OK);
    ASSERT_TRUE(stbi_info((dir.path() + "/Sans-16.png").c_str(), &w, &h, &channels));
    EXPECT_EQ(font.kind, kind);
    EXPECT_EQ(font.channels, channels);
    const support::RunResult info = run(GLYPHMINT_FONT_EXE, {"info", "Sans-16.fnt"});
    EXPECT_NE(info.out.find(std::string("\nkind: ") + info_kind + "\n"), std::string::npos) << info;
    EXPECT_EQ(run(GLYPHMINT_FONT_EXE, {"export", "Sans-16.fnt", "text", "e.fnt"}).exit_code, 0);
    EXPECT_NE(support::read_file(dir.path() + "/e.fnt")
                  .find(kind == GM_KIND_MONO ? " smooth=0 " : " smooth=1 "),
              std::string::npos);
    EXPECT_EQ(run(GLYPHMINT_FONT_EXE, {"export", "Sans-16.fnt", "c", "e.h"}).exit_code, 0);
    EXPECT_EQ(run(GLYPHMINT_FONT_EXE, {"preview", "Sans-16.fnt", "p.html"}).exit_code, 0);
    // An empty bake reads back, and then lacks the letter.
    const support::RunResult drawn =
        run(GLYPHMINT_FONT_EXE, {"render", "Sans-16.fnt", "A", "r.png"});
    EXPECT_EQ(drawn.exit_code, *chars ? 0 : 1) << drawn;
    EXPECT_EQ(drawn.err.find("Sans-16.fnt: no glyph for U+0041") != std::string::npos, !*chars);
  }
}

} // namespace
