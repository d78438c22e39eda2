// Kerning pairs against HarfBuzz used without our code: its hb-shape program
// on classic pairs, and every ordered pair of a small bake shaped one by one;
// the fonts that give no pairs or fail; and the helpers a layout uses.
#include "shared/glyph-loading.h"
#include "tests/support/every-pair.h"
#include "tests/support/support.h"
#include "tools/glyphmint-font/kerning/kerning.h"

#include <gtest/gtest.h>
#include <hb-ot.h>
#include <hb.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

const std::string k_serif = "/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf";
const std::string k_sans_liberation =
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
const std::string k_hb_shape = "/usr/bin/hb-shape";

using oracle::Amounts;

Amounts amounts_of(const std::vector<KerningPair> &pairs) {
  Amounts out;
  for (const KerningPair &p : pairs) out.emplace_back(p.first, p.second, p.amount);
  return out;
}

// A baked .fnt read back; font points into bytes.
struct Bake {
  std::string bytes;
  gm_font font{};
  std::vector<u32> codes;
};

// The fonts baked once by the built baker: DejaVu Sans and Liberation Serif
// 32-126 at 16 and 40 pixels. DejaVu Sans also has U+0370, which DejaVu Sans
// Mono lacks, a few combining marks, which attach to letters, Hebrew points
// and letters, U+065A, a mark with an advance that HarfBuzz zeroes, and "A"
// twice. DejaVuSansMarks is DejaVu Sans at 16 with every combining mark and
// Greek letter it has. Liberation Sans has Latin, the combining marks, Greek
// and the Hebrew letters at 11, where some Hebrew pairs kern, and 16, where
// "11" kerns.
class Kerning : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    scratch_ = new support::ScratchDir;
    const std::string dir = scratch_->path();
    ASSERT_EQ(symlink(support::k_sans.c_str(), (dir + "/DejaVuSans.ttf").c_str()), 0);
    ASSERT_EQ(symlink(k_serif.c_str(), (dir + "/LiberationSerif-Regular.ttf").c_str()), 0);
    ASSERT_EQ(symlink(k_sans_liberation.c_str(), (dir + "/LiberationSans-Regular.ttf").c_str()), 0);
    ASSERT_EQ(symlink(support::k_sans.c_str(), (dir + "/DejaVuSansMarks.ttf").c_str()), 0);
    support::write_file(dir + "/DejaVuSans.glyphmint.ini",
                        "path = DejaVuSans.ttf\nsizes = [16, 40]\n"
                        "ranges = [32-126, 768-772, 1456-1465, 1488-1490]\n"
                        "chars = [880, 1626, 65]\n");
    support::write_file(dir + "/LiberationSerif.glyphmint.ini",
                        "path = LiberationSerif-Regular.ttf\nsizes = [16, 40]\nranges = [32-126]\n"
                        "chars = []\n");
    support::write_file(dir + "/DejaVuSansMarks.glyphmint.ini",
                        "path = DejaVuSansMarks.ttf\nsizes = [16]\n"
                        "ranges = [32-126, 768-847, 849-851, 855-856, 860-866, 880-887, 890-895, "
                        "900-906, 910-929, 931-1023]\nchars = [908]\n");
    support::write_file(dir + "/LiberationSans.glyphmint.ini",
                        "path = LiberationSans-Regular.ttf\nsizes = [11, 16]\n"
                        "ranges = [32-126, 768-879, 884-885, 890-894, 900-906, 910-929, 931-974, "
                        "976-1023, 1488-1514]\nchars = [908]\n");
    const support::RunResult r = support::run_program(GLYPHMINT_EXE, {"--dir", dir}, dir, dir);
    ASSERT_TRUE(r.exited && r.exit_code == 0) << r;
  }
  static void TearDownTestSuite() {
    delete scratch_;
    scratch_ = nullptr;
  }

  static Bake load(const std::string &font_path, int size) {
    const size_t slash = font_path.rfind('/');
    const std::string base = font_path.substr(slash + 1, font_path.rfind('.') - slash - 1);
    Bake bake;
    bake.bytes =
        support::read_file(scratch_->path() + "/" + base + "-" + std::to_string(size) + ".fnt");
    EXPECT_EQ(gm_font_parse(&bake.font, bake.bytes.data(), bake.bytes.size(), nullptr), GM_OK);
    for (size_t i = 0; i < bake.font.glyph_count; ++i)
      bake.codes.push_back(u32(gm_font_glyph(&bake.font, i).code));
    bake.codes.erase(std::unique(bake.codes.begin(), bake.codes.end()), bake.codes.end());
    return bake;
  }

  static support::ScratchDir *scratch_;
};

support::ScratchDir *Kerning::scratch_ = nullptr;

// One glyph of hb-shape's text output: gid=cluster[@dx,dy]+ax[,ay].
struct Shaped {
  u32 glyph = 0;
  i64 dx = 0;
  i64 ax = 0;
};

std::vector<Shaped> parse_hb_line(const std::string &line) {
  std::vector<Shaped> glyphs;
  if (line.size() < 2 || line.front() != '[' || line.back() != ']') return glyphs;
  std::stringstream items(line.substr(1, line.size() - 2));
  std::string item;
  while (std::getline(items, item, '|')) {
    Shaped g;
    g.glyph = u32(std::stoul(item));
    const size_t at = item.find('@'), plus = item.find('+');
    if (at != std::string::npos) g.dx = std::stoll(item.substr(at + 1));
    if (plus != std::string::npos) g.ax = std::stoll(item.substr(plus + 1));
    glyphs.push_back(g);
  }
  return glyphs;
}

TEST(KerningRounding, NearestWithHalvesAwayFromZero) {
  const struct {
    i64 amount;
    i32 pixels;
  } rows[] = {{-96, -2}, {-95, -1}, {-33, -1}, {-32, -1}, {-31, 0}, {0, 0},
              {31, 0},   {32, 1},   {63, 1},   {95, 1},   {96, 2},  {-640, -10}};
  for (const auto &row : rows)
    EXPECT_EQ(round_26_6(row.amount), row.pixels) << "amount " << row.amount;
}

// The classic pairs and their reverses, shaped by hb-shape at the same scale:
// the amount is the pair's first advance plus the second's offset, less the
// first's advance shaped alone; changed glyphs mean no pair.
TEST_F(Kerning, ClassicPairsMatchHbShape) {
  const std::vector<std::string> classic = {"AV", "To", "Ty", "LT", "Wa", "P.", "Yo"};
  std::vector<std::string> pairs;
  for (const std::string &p : classic) pairs.insert(pairs.end(), {p, {p[1], p[0]}});
  std::string chars;
  for (const std::string &p : classic)
    for (char c : p)
      if (chars.find(c) == std::string::npos) chars += c;
  for (const std::string &font_path : {support::k_sans, k_serif}) {
    for (int size : {16, 40}) {
      const Bake bake = load(font_path, size);
      const std::vector<KerningPair> ours = kerning_pairs(Path(font_path.c_str()), bake.font);
      const std::string text_file = scratch_->path() + "/pairs.txt";
      std::string text;
      for (const std::string &p : pairs) text += p + "\n";
      for (char c : chars) text += std::string(1, c) + "\n";
      support::write_file(text_file, text);
      const support::RunResult r =
          support::run_program(k_hb_shape,
                               {"--font-size=" + std::to_string(size * 64), "--no-glyph-names",
                                "--text-file=" + text_file, font_path},
                               scratch_->path(), scratch_->path());
      ASSERT_TRUE(r.exited && r.exit_code == 0) << r;
      std::vector<std::vector<Shaped>> lines;
      std::stringstream out(r.out);
      for (std::string line; std::getline(out, line);) lines.push_back(parse_hb_line(line));
      ASSERT_EQ(lines.size(), pairs.size() + chars.size()) << r;
      auto alone = [&](char c) { return lines[pairs.size() + chars.find(c)].at(0); };

      int kerned = 0;
      for (size_t i = 0; i < pairs.size(); ++i) {
        const std::string &p = pairs[i];
        const std::vector<Shaped> &g = lines[i];
        const bool unchanged =
            g.size() == 2 && g[0].glyph == alone(p[0]).glyph && g[1].glyph == alone(p[1]).glyph;
        const i32 want =
            unchanged ? i32(std::lround(double(g[0].ax + g[1].dx - alone(p[0]).ax) / 64.0)) : 0;
        kerned += want != 0;
        EXPECT_EQ(kerning_amount(ours, u32(p[0]), u32(p[1])), want)
            << font_path << " at " << size << ", pair \"" << p << "\"";
      }
      // Most of these pairs kern in both fonts; none would make the check empty.
      EXPECT_GE(kerned, 6) << font_path << " at " << size;
    }
  }
}

Amounts every_pair(const std::string &font_path, int size, const std::vector<u32> &codes) {
  Amounts out;
  EXPECT_TRUE(oracle::shape_every_pair(font_path, size, codes, out)) << font_path;
  return out;
}

// A copy of a font with some of its tables renamed out of the way ("GPOS"
// to "GPOT", "kern" to "kero": the directory stays sorted), in the scratch
// directory; returns its path.
std::string renamed_tables(const std::string &font, const std::vector<std::string> &tags,
                           const std::string &copy) {
  std::string bytes = support::read_file(font);
  const size_t tables = size_t(u8(bytes[4])) << 8 | u8(bytes[5]);
  for (size_t i = 0; i < tables; ++i)
    for (const std::string &tag : tags)
      if (bytes.compare(12 + 16 * i, 4, tag) == 0) bytes[12 + 16 * i + 3] += 1;
  support::write_file(copy, bytes);
  return copy;
}

// A copy of a font whose GPOS script list calls 'hebr' 'hebx' (the list
// stays sorted); returns its path.
std::string without_hebrew_gpos(const std::string &font, const std::string &copy) {
  std::string bytes = support::read_file(font);
  auto u16_at = [&](size_t at) { return size_t(u8(bytes[at])) << 8 | u8(bytes[at + 1]); };
  auto u32_at = [&](size_t at) { return u16_at(at) << 16 | u16_at(at + 2); };
  for (size_t i = 0; i < u16_at(4); ++i) {
    if (bytes.compare(12 + 16 * i, 4, "GPOS") != 0) continue;
    const size_t gpos = u32_at(12 + 16 * i + 8), scripts = gpos + u16_at(gpos + 4);
    for (size_t k = 0; k < u16_at(scripts); ++k)
      if (bytes.compare(scripts + 2 + 6 * k, 4, "hebr") == 0) bytes[scripts + 2 + 6 * k + 3] = 'x';
  }
  support::write_file(copy, bytes);
  return copy;
}

// DejaVu Sans has the same pairs in GPOS and kern, so each is also read
// alone. Without a 'hebr' GPOS script HarfBuzz places Hebrew points itself.
// Hebrew is shaped right to left even in a left-to-right run, so its pairs
// kern by the records of the reverse order, which the narrowing once missed.
// Marks, which GPOS attaches to letters, must pair with nothing; a code point
// may pair with itself ("11" in Liberation Sans at 16).
TEST_F(Kerning, EqualsShapingEveryPair) {
  const std::string dir = scratch_->path();
  const struct {
    std::string font;
    std::string baked_from;
    int size;
    size_t at_least;
    bool doubled; ///< some code point kerns with itself
  } rows[] = {
      {support::k_sans, support::k_sans, 16, 50, false},
      {renamed_tables(support::k_sans, {"kern"}, dir + "/GposOnly.ttf"), support::k_sans, 16, 50,
       false},
      {renamed_tables(support::k_sans, {"GPOS"}, dir + "/KernOnly.ttf"), support::k_sans, 16, 50,
       false},
      {without_hebrew_gpos(support::k_sans, dir + "/NoHebrewGpos.ttf"), support::k_sans, 16, 50,
       false},
      {dir + "/DejaVuSansMarks.ttf", dir + "/DejaVuSansMarks.ttf", 16, 50, false},
      {k_serif, k_serif, 16, 50, false},
      {k_sans_liberation, k_sans_liberation, 11, 3, false},
      {k_sans_liberation, k_sans_liberation, 16, 50, true},
  };
  for (const auto &row : rows) {
    const Bake bake = load(row.baked_from, row.size);
    const Amounts want = every_pair(row.font, row.size, bake.codes);
    EXPECT_GE(want.size(), row.at_least) << row.font;
    const bool doubled = std::any_of(
        want.begin(), want.end(), [](const auto &p) { return std::get<0>(p) == std::get<1>(p); });
    EXPECT_TRUE(doubled || !row.doubled) << row.font;
    EXPECT_EQ(amounts_of(kerning_pairs(Path(row.font.c_str()), bake.font)), want) << row.font;
  }
}

TEST_F(Kerning, FontWithoutKerningDataGivesNoPairs) {
  const std::string copy =
      renamed_tables(support::k_sans, {"GPOS", "kern"}, scratch_->path() + "/NoKerning.ttf");
  const Bake bake = load(support::k_sans, 16);
  EXPECT_TRUE(kerning_pairs(Path(copy.c_str()), bake.font).empty());
}

TEST_F(Kerning, WrongFontsAndSizesFail) {
  const std::string text_file = scratch_->path() + "/not-a-font.ttf";
  support::write_file(text_file, "not a font\n");
  const Bake bake = load(support::k_sans, 16);
  Bake size_zero = load(support::k_sans, 16);
  const size_t name_length = size_t(u8(size_zero.bytes[0]));
  size_zero.bytes.replace(8 + name_length + 4, 4, std::string(4, '\0'));
  ASSERT_EQ(gm_font_parse(&size_zero.font, size_zero.bytes.data(), size_zero.bytes.size(), nullptr),
            GM_OK);
  const struct {
    std::string font;
    const Bake *bake;
    std::string message;
  } rows[] = {
      {text_file, &bake, text_file + ": not a font FreeType can open"},
      {scratch_->path() + "/missing.ttf", &bake,
       scratch_->path() + "/missing.ttf: not found or not a regular file"},
      {support::k_sans, &size_zero, support::k_sans + ": cannot kern at the bake's pixel size 0"},
  };
  for (const auto &row : rows) {
    try {
      (void)kerning_pairs(Path(row.font.c_str()), row.bake->font);
      ADD_FAILURE() << "no error for " << row.message;
    } catch (const Err &e) {
      EXPECT_EQ(std::string(e.message.data, e.message.len), row.message);
    }
  }
}

TEST_F(Kerning, LayoutAppliesPairsBetweenNeighbours) {
  const Bake bake = load(support::k_sans, 16);
  std::vector<KerningPair> pairs = {{'A', 'V', -2}, {'V', 'A', -1}, {'V', 'a', 3}};
  EXPECT_EQ(kerning_amount(pairs, 'V', 'A'), -1);
  EXPECT_EQ(kerning_amount(pairs, 'A', 'A'), 0);
  EXPECT_EQ(kerning_amount(pairs, 'a', 'V'), 0);
  EXPECT_EQ(kerning_amount({}, 'A', 'V'), 0);

  gm_layout layout;
  gm_layout_begin(&layout, &bake.font, "AVA\nVa", 6);
  gm_layout_set_kerning(&layout, kerning_from_pairs, &pairs);
  auto advance = [&](char c) {
    return gm_font_glyph(&bake.font, size_t(gm_font_find(&bake.font, u32(c)))).advance;
  };
  const i64 want_pens[] = {0, advance('A') - 2, advance('A') - 2 + advance('V') - 1, 0,
                           advance('V') + 3};
  std::vector<i64> pens;
  gm_placed_glyph placed;
  for (gm_step step; (step = gm_layout_next(&layout, &placed)) != GM_STEP_END;)
    if (step == GM_STEP_GLYPH)
      pens.push_back(placed.pen_x);
    else if (step != GM_STEP_LINE_BREAK)
      ADD_FAILURE() << "step " << step;
  EXPECT_EQ(pens, std::vector<i64>(std::begin(want_pens), std::end(want_pens)));
}

} // namespace
