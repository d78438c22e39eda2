// glyphmint-font render and its text-image module, run as a user runs them on
// DejaVu Sans baked by glyphmint. The oracles are FreeType called directly and
// stb_image's decoding of what was written.
#include "tests/glyphmint-font/baked-sans.h"
#include "tools/glyphmint-font/kerning/kerning.h"

#include <clocale>
#include <cmath>
#include <cuchar>
#include <functional>
#include <stb_image.h>
#include <stb_image_write.h>

namespace {

using baked_sans::bake;
using baked_sans::font_tool;
using support::read_file;
using support::RunResult;
using support::ScratchDir;

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
// bitmaps and metrics; `kerning` moves the pen between neighbours of a line,
// and with it the pen steps by FreeType's advance to the nearest pixel, as
// render --font steps, rather than rounded down as the .fnt keeps it.
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
    pen += kerning ? std::lround(double(g.advance_26_6) / 64.0) : g.advance;
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

// The image with each pixel an n x n block.
Grey upscaled(const Grey &image, long n) {
  Grey out{image.width * n, image.height * n, {}};
  for (long y = 0; y < out.height; ++y)
    for (long x = 0; x < out.width; ++x)
      out.pixels.push_back(image.pixels[std::size_t(y / n * image.width + x / n)]);
  return out;
}

TEST(Render, ScaleDrawsCoverageAsBlocks) {
  ScratchDir out;
  const std::string text = "fjord AV\nj";
  const RunResult r = font_tool(
      {"render", "--scale", "3", bake().root.path() + "/fonts/DejaVuSans-16.fnt", text, "out.png"},
      out.path());
  ASSERT_EQ(r.exit_code, 0) << r;
  expect_same_image(decode_grey_png(read_file(out.path() + "/out.png")),
                    upscaled(compose(16, text), 3), text);
}

TEST(Render, AFieldDrawnFourTimesAsLargeIsTheOutlineAtFourTimesTheSize) {
  // The reference is FreeType's coverage of the same outline at 64 px, put
  // at the 16 px records' pen positions times 4, the image's corner where
  // render's bounds put it: a field drawn right matches it but for the
  // anti-aliasing of the edges; one drawn a pixel off differs along them all.
  const std::string text = "AgQ&s", fnt_path = bake().root.path() + "/fonts/DejaVuSans-SDF-16.fnt";
  ScratchDir out;
  ASSERT_EQ(font_tool({"render", "--scale", "4", fnt_path, text, "o.png"}, out.path()).exit_code,
            0);
  const Grey got = decode_grey_png(read_file(out.path() + "/o.png"));
  support::FntFile fnt;
  std::string why;
  ASSERT_TRUE(support::parse_fnt(read_file(fnt_path), fnt, why)) << why;
  std::vector<long> pens = {0};
  long left = 0, top = 0;
  for (const char c : text) {
    const gm_glyph &g = fnt.records[std::size_t(c - ' ')]; // 32-126, one record each
    left = std::min(left, 4 * (pens.back() + g.bearing_x));
    top = std::min(top, 4 * long(fnt.ascender - g.bearing_y));
    pens.push_back(pens.back() + g.advance);
  }
  const support::RefFace large(support::k_sans, 64);
  Grey want{got.width, got.height, std::vector<u8>(got.pixels.size(), 0)};
  for (std::size_t i = 0; i < text.size(); ++i) {
    const support::RefGlyph g = large.glyph(text[i]);
    for (u32 y = 0; y < g.rows; ++y)
      for (u32 x = 0; x < g.width; ++x) {
        u8 &to = want.pixels[std::size_t((4 * fnt.ascender - g.top - top + y) * want.width +
                                         4 * pens[i] + g.left - left + x)];
        to = std::max(to, g.bitmap[y * g.width + x]);
      }
  }
  long ink = 0, far = 0, difference = 0;
  for (std::size_t i = 0; i < got.pixels.size(); ++i) {
    const int d = std::abs(int(got.pixels[i]) - int(want.pixels[i]));
    ink += want.pixels[i] >= 128, far += d > 160, difference += d;
  }
  // The stated error: pixels more than 160 apart (inside in one, outside in
  // the other) at most 4% of the ink's, and all differences together at most
  // 15% of the ink's full value. Drawn right, this text gives 1.7% and 9.2%;
  // moved by one output pixel, 14% and 25%.
  EXPECT_GT(ink, 2000);
  EXPECT_LE(far * 100, 4 * ink);
  EXPECT_LE(difference * 100, 15 * 255 * ink);
}

TEST(Render, MultiChannelFieldsDrawAsTheFieldTheirMedianHolds) {
  // A field of 3 x 2 pixels with spread 2, its bitmap one row below the top
  // of a 4-pixel line, drawn 4 times as large: as one channel first, whose
  // drawing the test above checks against FreeType.
  ScratchDir out;
  const long n = 4, spread = 2, w = 3, h = 2;
  const u8 field[h][w] = {{40, 128, 200}, {90, 160, 255}};
  Grey want;
  // A multi-channel field whose other channel (unlike the two that hold the
  // field, at each position in turn) strays far from it draws the same: the
  // median of the three samples is the field's own.
  const char *const info[] = {"", "distance field", "multi-channel distance field",
                              "multi-channel and true distance field"};
  const struct {
    gm_kind kind;
    int channels, stray; ///< the channel that is not the field
  } kinds[] = {{GM_KIND_SDF, 1, -1},
               {GM_KIND_MSDF, 3, 0},
               {GM_KIND_MSDF, 3, 2},
               {GM_KIND_MTSDF, 4, 1},
               {GM_KIND_MTSDF, 4, 3}};
  for (const auto &k : kinds) {
    SCOPED_TRACE(k.kind * 10 + k.stray);
    std::vector<u8> atlas(std::size_t(8 * 8 * k.channels), 0);
    for (long y = 0; y < h; ++y)
      for (long x = 0; x < w; ++x)
        for (int c = 0; c < k.channels; ++c)
          atlas[std::size_t(((y + 1) * 8 + x + 1) * k.channels + c)] =
              c == k.stray ? u8(x * 97 + y * 150) : field[y][x];
    ASSERT_NE(stbi_write_png((out.path() + "/f-4.png").c_str(), 8, 8, k.channels, atlas.data(),
                             8 * k.channels),
              0);
    const i32 reserved = gm_kind_reserved(k.kind, i32(spread));
    const gm_glyph glyph{'A', u32(w), u32(h), 0, 2, 0, 0, 3, reserved, 0, 0};
    support::FntFile fnt{"f-4.png", 4, 4, 3, -1, {glyph}};
    support::write_file(out.path() + "/f-4.fnt", support::fnt_bytes(fnt));
    const RunResult f =
        font_tool({"render", "--scale", std::to_string(n), "f-4.fnt", "A", "f.png"}, out.path());
    ASSERT_EQ(f.exit_code, 0) << f;
    const Grey got = decode_grey_png(read_file(out.path() + "/f.png"));
    if (k.kind == GM_KIND_SDF) want = got;
    expect_same_image(got, want, "the field");
    EXPECT_NE(font_tool({"info", "f-4.fnt"}, out.path())
                  .out.find(std::string("\nkind: ") + info[k.kind] + ", spread 2\n"),
              std::string::npos);
  }
}

TEST(Render, CombiningMarksLeaveTheSpacingAlone) {
  // Liberation Sans attaches U+0301 to x through GPOS, which moves the mark
  // alone; applied as kerning it pulled every following x 2 pixels left.
  ScratchDir dir;
  std::filesystem::copy_file("/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
                             dir.path() + "/LiberationSans.ttf");
  support::write_file(dir.path() + "/LiberationSans.glyphmint.ini",
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
      {{"render", fnt, "a"},
       "glyphmint-font: Missing argument: OUT.png\nTry 'glyphmint-font help render' for more "
       "information.\n",
       ""},
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

} // namespace
