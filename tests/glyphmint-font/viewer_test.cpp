// glyphmint-font info and render, run as a user runs them on DejaVu Sans baked
// by glyphmint. The oracles are FreeType called directly, the test's own .fnt
// reader and stb_image's decoding of what was written.
#include "tests/support/support.h"
#include "tools/glyphmint-font/kerning.h"

#include <array>
#include <clocale>
#include <cuchar>
#include <functional>
#include <stb_image.h>
#include <stb_image_write.h>

namespace {

using support::read_file;
using support::RunResult;
using support::ScratchDir;
using support::write_file;

// The bake every test reads: fonts/DejaVuSans-{16,24}.{fnt,png} under root.
// 'A' is asked for twice, so it has two records.
struct Bake {
  ScratchDir root;
  ScratchDir captures;
  Bake() {
    const std::string fonts = root.path() + "/fonts";
    std::filesystem::create_directory(fonts);
    std::filesystem::copy_file(support::k_sans, fonts + "/DejaVuSans.ttf");
    write_file(fonts + "/DejaVuSans.glyphmint.ini",
               "path = DejaVuSans.ttf\nsizes = [16, 24]\n"
               "ranges = [32-126, 160-255, 945-969]\nchars = [65, 8364]\n");
    const RunResult r =
        support::run_program(GLYPHMINT_EXE, {"--dir", "fonts"}, root.path(), captures.path());
    EXPECT_EQ(r.exit_code, 0) << r;
  }
};

const Bake &bake() {
  static const Bake made;
  return made;
}

const std::string k_expected_code_points = "32-126, 160-255, 945-969, 8364";
const std::size_t k_expected_glyphs = 95 + 96 + 25 + 2;

RunResult font_tool(const std::vector<std::string> &args, const std::string &cwd) {
  return support::run_program(GLYPHMINT_FONT_EXE, args, cwd, bake().captures.path());
}

// The code points of a UTF-8 text, as the C library decodes them.
std::u32string code_points(const std::string &text) {
  EXPECT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  std::u32string out;
  std::mbstate_t state{};
  for (std::size_t at = 0, n = 0; at < text.size(); at += n) {
    char32_t c = 0;
    n = std::mbrtoc32(&c, text.data() + at, text.size() - at, &state);
    if (n == 0 || n > text.size() - at) return out + U"<invalid UTF-8>";
    out += c;
  }
  return out;
}

struct Grey {
  long width = 0;
  long height = 0;
  std::vector<u8> pixels;
};

// The text drawn by the rules that `render --help` states, from FreeType's
// bitmaps and metrics; `kerning` moves the pen between neighbours of a line.
Grey compose(int pixel_size, const std::string &utf8,
             const std::function<long(char32_t, char32_t)> &kerning = nullptr) {
  const std::u32string text = code_points(utf8);
  const support::RefFace face(support::k_sans, pixel_size);
  const support::RefMetrics m = face.metrics();
  struct Placed {
    long x, y;
    support::RefGlyph glyph;
  };
  std::vector<Placed> placed;
  long left = 0, top = 0, right = 0, bottom = 0, line = 0, pen = 0;
  const auto hold = [&](long x0, long y0, long x1, long y1) {
    left = std::min(left, x0), top = std::min(top, y0);
    right = std::max(right, x1), bottom = std::max(bottom, y1);
  };
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == U'\n') {
      hold(0, line * m.line_height, pen, (line + 1) * m.line_height);
      ++line, pen = 0;
      continue;
    }
    if (kerning && i > 0 && text[i - 1] != U'\n') pen += kerning(text[i - 1], text[i]);
    const support::RefGlyph g = face.glyph(int(text[i]));
    const long x = pen + g.left;
    const long y = m.ascender + line * m.line_height - g.top;
    if (g.width != 0 && g.rows != 0) hold(x, y, x + long(g.width), y + long(g.rows));
    placed.push_back({x, y, g});
    pen += g.advance;
  }
  Grey image{right - left, bottom - top, {}};
  image.pixels.assign(std::size_t(image.width * image.height), 0);
  for (const Placed &p : placed)
    for (u32 r = 0; r < p.glyph.rows; ++r)
      for (u32 c = 0; c < p.glyph.width; ++c) {
        u8 &to = image.pixels[std::size_t((p.y - top + r) * image.width + p.x - left + c)];
        to = std::max(to, p.glyph.bitmap[r * p.glyph.width + c]);
      }
  return image;
}

// An 8-bit greyscale PNG's pixels; an empty image for anything else.
Grey decode_grey_png(const std::string &png) {
  Grey image;
  if (png.size() < 26 || png[24] != 8 || png[25] != 0) return image;
  int w = 0, h = 0, channels = 0;
  u8 *p = stbi_load_from_memory(reinterpret_cast<const u8 *>(png.data()), int(png.size()), &w, &h,
                                &channels, 1);
  if (p == nullptr) return image;
  image = {w, h, std::vector<u8>(p, p + long(w) * h)};
  stbi_image_free(p);
  return image;
}

void expect_same_image(const Grey &got, const Grey &want, const std::string &text) {
  ASSERT_EQ(got.width, want.width) << text;
  ASSERT_EQ(got.height, want.height) << text;
  const auto diff = std::mismatch(got.pixels.begin(), got.pixels.end(), want.pixels.begin());
  const long at = long(diff.first - got.pixels.begin());
  EXPECT_TRUE(diff.first == got.pixels.end())
      << text << ": first difference at x " << at % got.width << ", y " << at / got.width;
}

TEST(Render, MatchesTheTextComposedFromFreeTypeBitmaps) {
  // fj and AV overlap, V reaches past its line's advance, j starts left of
  // the pen and ζ hangs below the last line's box.
  for (const std::string text : {"fjord AV\njζ ÿ €", "Ab\n", "\n \nq"}) {
    ScratchDir out;
    const RunResult r = font_tool(
        {"render", bake().root.path() + "/fonts/DejaVuSans-24.fnt", text, "out.png"}, out.path());
    ASSERT_EQ(r.exit_code, 0) << text << "\n" << r;
    expect_same_image(decode_grey_png(read_file(out.path() + "/out.png")), compose(24, text), text);
  }
}

TEST(Render, WithTheFontFileAppliesItsKerningBetweenNeighbours) {
  // The amounts are kerning_pairs' own (checked against HarfBuzz by its own
  // tests); this checks where render applies them: between neighbours of a
  // line only, and that they change the image at all.
  const std::string fnt = bake().root.path() + "/fonts/DejaVuSans-24.fnt";
  const std::string bytes = read_file(fnt);
  gm_font font;
  ASSERT_EQ(gm_font_parse(&font, bytes.data(), bytes.size(), nullptr), GM_OK);
  const std::vector<KerningPair> pairs = kerning_pairs(Path(support::k_sans.c_str()), font);
  const auto kerning = [&](char32_t a, char32_t b) { return long(kerning_amount(pairs, a, b)); };
  const std::string text = "AVATAR\nTo Wa LT\nVA";
  ASSERT_NE(kerning(U'A', U'V'), 0) << "DejaVu Sans kerns AV";
  ScratchDir out;
  const RunResult r =
      font_tool({"render", "--font", support::k_sans, fnt, text, "out.png"}, out.path());
  ASSERT_EQ(r.exit_code, 0) << r;
  const Grey got = decode_grey_png(read_file(out.path() + "/out.png"));
  expect_same_image(got, compose(24, text, kerning), text);
  EXPECT_NE(got.width, compose(24, text).width) << "the kerning made no difference";
}

TEST(Render, CombiningMarksLeaveTheSpacingAlone) {
  // Liberation Sans attaches U+0301 to x through GPOS, which moves the mark
  // alone; applied as kerning it pulled every following x 2 pixels left.
  ScratchDir dir;
  std::filesystem::copy_file("/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
                             dir.path() + "/LiberationSans.ttf");
  write_file(dir.path() + "/LiberationSans.glyphmint.ini",
             "path = LiberationSans.ttf\nsizes = [16]\nranges = []\nchars = [120, 769]\n");
  ASSERT_EQ(support::run_program(GLYPHMINT_EXE, {"--dir", "."}, dir.path(), dir.path()).exit_code,
            0);
  const std::string text = "x\u0301x\u0301x";
  const RunResult kerned = font_tool(
      {"render", "--font", "LiberationSans.ttf", "LiberationSans-16.fnt", text, "kerned.png"},
      dir.path());
  ASSERT_EQ(kerned.exit_code, 0) << kerned;
  const RunResult plain =
      font_tool({"render", "LiberationSans-16.fnt", text, "plain.png"}, dir.path());
  ASSERT_EQ(plain.exit_code, 0) << plain;
  EXPECT_EQ(read_file(dir.path() + "/kerned.png"), read_file(dir.path() + "/plain.png"));
}

TEST(Render, FaultsWriteNothing) {
  const std::string fnt = bake().root.path() + "/fonts/DejaVuSans-16.fnt";
  const std::string atlas = bake().root.path() + "/fonts/DejaVuSans-16.png";
  const support::RefFace face(support::k_sans, 16);
  const std::string line_height = std::to_string(face.metrics().line_height);
  const std::string tall = std::to_string(1001 * face.metrics().line_height);
  struct Row {
    std::vector<std::string> args;
    std::string err;
    std::string out_start;
  } rows[] = {
      {{"render", fnt, "a\tb\u0378\U0001F600\u0378c", "o.png"},
       "glyphmint-font: " + fnt + ": no glyph for U+0009, U+0378, U+1F600\n",
       ""},
      {{"render", fnt, "ab\xC3(", "o.png"},
       "glyphmint-font: the text is not valid UTF-8 (at byte 2)\n",
       ""},
      {{"render", "--", fnt, "", "o.png"},
       "glyphmint-font: o.png: not written: the text makes an empty image (0x" + line_height +
           " pixels)\n",
       ""},
      {{"render", fnt, std::string(1000, '\n') + " ", "o.png"},
       "glyphmint-font: o.png: not written: the image would be " +
           std::to_string(face.glyph(' ').advance) + "x" + tall +
           " pixels, more than 16384 on a side or 64 Mi in all\n",
       ""},
      {{"render", "nothing.fnt", "a", "o.png"},
       "glyphmint-font: nothing.fnt: not found or not a regular file\n",
       ""},
      {{"render", fnt, "a"}, "", "Missing argument: OUT.png\nUsage: glyphmint-font render "},
      {{"render", fnt, "a", atlas},
       "glyphmint-font: " + atlas + ": is the atlas of the font being drawn with (" + atlas +
           "); nothing was written\n",
       ""},
      {{"render", "--font", "/dev/null", fnt, "a", "o.png"},
       "glyphmint-font: /dev/null: not found or not a regular file\n",
       ""},
  };
  for (const Row &row : rows) {
    ScratchDir out;
    const RunResult r = font_tool(row.args, out.path());
    EXPECT_EQ(r.exit_code, 1) << r;
    EXPECT_EQ(r.err, row.err) << r;
    EXPECT_EQ(r.out.substr(0, row.out_start.size()), row.out_start) << r;
    EXPECT_TRUE(support::tree(out.path()).empty()) << r;
  }
}

TEST(Info, DescribesABakedFont) {
  for (const int size : {16, 24}) {
    const std::string name = "DejaVuSans-" + std::to_string(size);
    support::FntFile fnt;
    std::string why;
    ASSERT_TRUE(parse_fnt(read_file(bake().root.path() + "/fonts/" + name + ".fnt"), fnt, why));
    int w = 0, h = 0, channels = 0;
    ASSERT_TRUE(
        stbi_info((bake().root.path() + "/fonts/" + name + ".png").c_str(), &w, &h, &channels));
    // A bake's cells never overlap, so their areas add up.
    double cells = 0;
    for (const gm_glyph &rec : fnt.records) cells += double(rec.width + 2) * double(rec.rows + 2);
    const double fill = 100 * cells / (double(w) * h);
    const support::RefMetrics m = support::RefFace(support::k_sans, size).metrics();

    const RunResult r = font_tool({"info", "fonts/" + name + ".fnt"}, bake().root.path());
    ASSERT_EQ(r.exit_code, 0) << r;
    std::istringstream lines(r.out);
    std::string line, fill_line;
    std::vector<std::string> got;
    while (std::getline(lines, line)) got.push_back(line);
    if (got.size() > 7) fill_line = got[7], got[7] = "fill";
    const std::vector<std::string> want = {
        "image: " + name + ".png",
        "size: " + std::to_string(size),
        "line height: " + std::to_string(m.line_height),
        "ascender: " + std::to_string(m.ascender),
        "descender: " + std::to_string(m.descender),
        "glyphs: " + std::to_string(k_expected_glyphs),
        "atlas: " + std::to_string(w) + "x" + std::to_string(h),
        "fill",
        "code points: " + k_expected_code_points,
    };
    EXPECT_EQ(got, want) << r;
    double shown = -1;
    char percent = 0;
    EXPECT_EQ(std::sscanf(fill_line.c_str(), "fill: %lf%c", &shown, &percent), 2) << fill_line;
    EXPECT_EQ(percent, '%');
    EXPECT_EQ(fill_line.find('.'), fill_line.size() - 3) << fill_line << ": one decimal";
    EXPECT_LE(std::abs(shown - fill), 0.05) << fill_line << " for " << fill;
  }
}

// 36-byte records of code, width, rows, cell x, cell y; the bearings and
// advance play no part in info.
std::string fnt_bytes(const std::string &image, const std::vector<std::array<i32, 5>> &glyphs) {
  support::FntFile f{image, 20, 16, 15, -4, {}};
  for (const auto &g : glyphs)
    f.records.push_back({g[0], u32(g[1]), u32(g[2]), 0, 0, g[3], g[4], 9, 0});
  return support::fnt_bytes(f);
}

void write_png(const std::string &path, int w, int h, int channels) {
  const std::vector<u8> pixels(std::size_t(w * h * channels), 0);
  ASSERT_NE(stbi_write_png(path.c_str(), w, h, channels, pixels.data(), w * channels), 0) << path;
}

TEST(Info, CountsSharedCellsOnceAndEachCodePointOnce) {
  ScratchDir dir;
  // An 8x10 atlas: 'A' twice in one 5x5 cell, 'B' inside it, 'D' in a 2x2
  // cell of its own: 29 of 80 pixels, 36.25%, shown half up.
  const std::string image = std::string("atlas\x01") + ".png";
  write_png(dir.path() + "/" + image, 8, 10, 1);
  write_file(
      dir.path() + "/hand.fnt",
      fnt_bytes(image, {{65, 3, 3, 0, 0}, {65, 3, 3, 0, 0}, {66, 1, 1, 2, 2}, {68, 0, 0, 5, 7}}));
  const RunResult r = font_tool({"info", "hand.fnt"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r;
  EXPECT_EQ(r.out, "image: atlas\\x01.png\nsize: 16\nline height: 20\nascender: 15\n"
                   "descender: -4\nglyphs: 4\natlas: 8x10\nfill: 36.3%\ncode points: 65-66, 68\n");
}

TEST(Info, FaultsAreOneLineNamingTheFile) {
  const std::string fonts = bake().root.path() + "/fonts";
  const std::string baked_fnt = read_file(fonts + "/DejaVuSans-16.fnt");
  int w = 0, h = 0, channels = 0;
  ASSERT_TRUE(stbi_info((fonts + "/DejaVuSans-16.png").c_str(), &w, &h, &channels));
  struct Row {
    const char *name;
    std::function<void(const std::string &dir)> damage;
    std::string file; // the one the message names
    std::string fault;
  } rows[] = {
      {"no atlas", [](const std::string &) {}, "f/DejaVuSans-16.png", "not found"},
      {"atlas too small",
       [&](const std::string &d) { write_png(d + "/DejaVuSans-16.png", 16, 16, 1); },
       "f/DejaVuSans-16.fnt", "glyph cell lies outside the atlas"},
      {"RGB atlas", [&](const std::string &d) { write_png(d + "/DejaVuSans-16.png", w, h, 3); },
       "f/DejaVuSans-16.png", "not an 8-bit greyscale PNG"},
      {"atlas header claims 40000x40000",
       [&](const std::string &d) {
         // Signature and an IHDR of an 8-bit grey image, no pixel data: the
         // size alone must stop it before any decoding.
         write_file(d + "/DejaVuSans-16.png",
                    std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x9c\x40\0\0\x9c\x40"
                                "\x08\0\0\0\0\0\0\0\0",
                                33));
       },
       "f/DejaVuSans-16.png", "image too large (40000x40000)"},
      {"damaged .fnt",
       [&](const std::string &d) {
         write_png(d + "/DejaVuSans-16.png", w, h, 1);
         write_file(d + "/DejaVuSans-16.fnt", baked_fnt.substr(0, baked_fnt.size() - 10));
       },
       "f/DejaVuSans-16.fnt", "file ends inside the glyph records"},
  };
  for (const Row &row : rows) {
    ScratchDir dir;
    std::filesystem::create_directory(dir.path() + "/f");
    write_file(dir.path() + "/f/DejaVuSans-16.fnt", baked_fnt);
    row.damage(dir.path() + "/f");
    const RunResult r = font_tool({"info", "f/DejaVuSans-16.fnt"}, dir.path());
    EXPECT_EQ(r.exit_code, 1) << row.name << "\n" << r;
    EXPECT_EQ(r.out, "") << row.name;
    const std::string start = "glyphmint-font: " + row.file + ": ";
    EXPECT_EQ(r.err.substr(0, start.size()), start) << row.name << "\n" << r;
    EXPECT_NE(r.err.find(row.fault), std::string::npos) << row.name << "\n" << r;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << row.name << ": one line\n" << r;
  }
}

} // namespace
