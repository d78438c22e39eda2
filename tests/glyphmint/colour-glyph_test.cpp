// Colour glyphs: Noto Color Emoji's strike scaled, against the area rule read
// plainly on FreeType's strike bitmaps; text, an SVG glyph and COLR layers of a
// font that fontTools makes, against FreeType's coverage and the layers' colours.
#include "tools/glyphmint/colour-glyph.h"

#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const std::string k_emoji = "/usr/share/fonts/truetype/noto/NotoColorEmoji.ttf";

FT_Face colour_face(const std::string &font, int size, GlyphStyle &style) {
  static FontLibrary library;
  const FT_Face face = get_face(library, Path(font.c_str()));
  Glyphmint settings;
  settings.render = RenderMode::Color;
  style = set_bake_size(face, size, settings);
  return face;
}

// The strike's glyph from FreeType, scaled by s as the rule reads: each
// output pixel integrates the strike over its footprint, pixel by pixel.
RasterGlyph reference_scaled(int code, double s) {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  RasterGlyph out;
  if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, k_emoji.c_str(), 0, &face) != 0 ||
      FT_Select_Size(face, 0) != 0 || FT_Load_Char(face, FT_ULong(code), FT_LOAD_COLOR) != 0) {
    ADD_FAILURE() << "FreeType cannot load " << code;
    return out;
  }
  const FT_Bitmap &b = face->glyph->bitmap;
  out.width = u32(std::ceil(b.width * s));
  out.rows = u32(std::ceil(b.rows * s));
  out.bearing_x = i32(std::lround(face->glyph->bitmap_left * s));
  out.bearing_y = i32(std::lround(face->glyph->bitmap_top * s));
  out.advance = i32(std::lround(double(face->glyph->advance.x) / 64.0 * s));
  out.channels = 4;
  out.pixels = new u8[u64{out.width} * out.rows * 4];
  for (u32 j = 0; j < out.rows; ++j)
    for (u32 i = 0; i < out.width; ++i) {
      double sum[4] = {}, area = 0;
      for (u32 y = u32(j / s); y < b.rows && y < (j + 1) / s; ++y)
        for (u32 x = u32(i / s); x < b.width && x < (i + 1) / s; ++x) {
          const double a = (std::min((i + 1) / s, x + 1.0) - std::max(i / s, double(x))) *
                           (std::min((j + 1) / s, y + 1.0) - std::max(j / s, double(y)));
          const u8 *bgra = b.buffer + long(y) * b.pitch + x * 4;
          for (int c = 0; c < 4; ++c) sum[c] += a * bgra[c == 3 ? 3 : 2 - c];
          area += a;
        }
      u8 *to = out.pixels + (u64{j} * out.width + i) * 4;
      to[3] = u8(std::lround(sum[3] / area));
      for (int c = 0; c < 3; ++c)
        to[c] = to[3] == 0 ? 0 : u8(std::min(255L, std::lround(sum[c] * 255 / sum[3])));
    }
  FT_Done_Face(face);
  FT_Done_FreeType(library);
  return out;
}

TEST(ColourGlyph, AStrikeScalesByTheAreaOfEachFootprint) {
  for (const int size : {32, 19}) {
    GlyphStyle style;
    const FT_Face face = colour_face(k_emoji, size, style);
    ASSERT_DOUBLE_EQ(style.strike_scale, size / 109.0);
    // Smileys, a heart, a flag's regional indicator, hands: soft and hard edges.
    for (const int code : {0x1F600, 0x1F602, 0x2764, 0x1F1EF, 0x1F64F}) {
      SCOPED_TRACE(std::to_string(size) + " px, code " + std::to_string(code));
      const RasterGlyph got = rasterise_glyph(face, code, style);
      const RasterGlyph want = reference_scaled(code, style.strike_scale);
      ASSERT_EQ(std::tie(got.channels, got.width, got.rows, got.bearing_x, got.bearing_y),
                std::tie(want.channels, want.width, want.rows, want.bearing_x, want.bearing_y));
      EXPECT_EQ(got.advance, want.advance);
      int worst = 0; // float against double sums, and where they round
      for (u64 i = 0; i < u64{want.width} * want.rows * 4; ++i)
        worst = std::max(worst, std::abs(int(got.pixels[i]) - int(want.pixels[i])));
      EXPECT_LE(worst, 1);
    }
  }
}

// Text, and A, whose SVG document FreeType 2.12 cannot draw, bake from their
// outlines as white with FreeType's coverage as alpha; B's COLR layers are a
// square of 0 to 24 pixels in half-transparent blue under one of 4 to 12 in red.
TEST(ColourGlyph, OutlinesAreWhiteWithTheirCoverageAndLayersKeepTheirColours) {
  const support::ScratchDir dir;
  const std::string made = dir.path() + "/colour.ttf",
                    script = GLYPHMINT_TEST_DATA "/colour-font.py";
  ASSERT_EQ(
      support::run_program("/usr/bin/python3", {script, made}, dir.path(), dir.path()).exit_code,
      0);
  for (const auto &[font, code] : {std::pair{support::k_sans, int('g')},
                                   {support::k_sans, 0x20AC},
                                   {made, int('A')},
                                   {made, int('C')}}) {
    GlyphStyle style;
    const RasterGlyph got = rasterise_glyph(colour_face(font, 40, style), code, style);
    const support::RefGlyph want = support::RefFace(font, 40).glyph(code);
    ASSERT_EQ(got.pixels_size, want.bitmap.size() * 4) << code;
    for (u64 i = 0; i < want.bitmap.size(); ++i) // white, the coverage in alpha
      ASSERT_EQ(std::vector<u8>(got.pixels + i * 4, got.pixels + i * 4 + 4),
                (std::vector<u8>{255, 255, 255, want.bitmap[i]}))
          << code << " pixel " << i;
  }
  GlyphStyle style;
  const RasterGlyph b = rasterise_glyph(colour_face(made, 40, style), 'B', style);
  ASSERT_EQ(std::tie(b.width, b.rows), std::make_tuple(24u, 24u));
  const auto at = [&](u64 x, u64 y) {
    return std::vector<int>(b.pixels + (y * 24 + x) * 4, b.pixels + (y * 24 + x) * 4 + 4);
  };
  EXPECT_EQ(at(8, 16), (std::vector<int>{255, 0, 0, 255}));
  EXPECT_EQ(at(20, 4), (std::vector<int>{0, 0, 255, 128}));
}

} // namespace
