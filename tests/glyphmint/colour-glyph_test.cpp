// Colour glyphs: Noto Color Emoji's strike scaled to two sizes, against a
// plain reading of the rule on FreeType's own strike bitmaps (every output
// pixel the area-weighted mean of the premultiplied pixels under its
// footprint, then made straight); a text glyph's alpha against FreeType's
// coverage; COLR layers and an SVG glyph of a font made by fontTools.
#include "tools/glyphmint/colour-glyph.h"

#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const std::string k_emoji = "/usr/share/fonts/truetype/noto/NotoColorEmoji.ttf";

FontLibrary &fonts() {
  static FontLibrary library;
  return library;
}

struct Rgba {
  u32 width = 0, rows = 0;
  i32 left = 0, top = 0, advance = 0;
  std::vector<u8> pixels;
};

// The strike's glyph from FreeType, scaled by s as the rule reads: each
// output pixel integrates the strike over its footprint, pixel by pixel.
Rgba reference_scaled(int code, double s) {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  Rgba out;
  if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, k_emoji.c_str(), 0, &face) != 0 ||
      FT_Select_Size(face, 0) != 0 || FT_Load_Char(face, FT_ULong(code), FT_LOAD_COLOR) != 0) {
    ADD_FAILURE() << "FreeType cannot load " << code;
    return out;
  }
  const FT_Bitmap &b = face->glyph->bitmap;
  EXPECT_EQ(b.pixel_mode, FT_PIXEL_MODE_BGRA);
  out.width = u32(std::ceil(b.width * s));
  out.rows = u32(std::ceil(b.rows * s));
  out.left = i32(std::lround(face->glyph->bitmap_left * s));
  out.top = i32(std::lround(face->glyph->bitmap_top * s));
  out.advance = i32(std::lround(double(face->glyph->advance.x) / 64.0 * s));
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
      const double alpha = sum[3] / area;
      for (int c = 0; c < 3; ++c)
        out.pixels.push_back(std::lround(alpha) == 0
                                 ? 0
                                 : u8(std::min(255L, std::lround(sum[c] / area * 255 / alpha))));
      out.pixels.push_back(u8(std::lround(alpha)));
    }
  FT_Done_Face(face);
  FT_Done_FreeType(library);
  return out;
}

TEST(ColourGlyph, AStrikeScalesByTheAreaOfEachFootprint) {
  const FT_Face face = get_face(fonts(), Path(k_emoji.c_str()));
  // Smileys, a heart, a flag's regional indicator, hands: soft and hard edges.
  for (const int size : {32, 19}) {
    Glyphmint settings;
    settings.render = RenderMode::Color;
    const GlyphStyle style = set_bake_size(face, size, settings);
    ASSERT_DOUBLE_EQ(style.strike_scale, size / 109.0);
    for (const int code : {0x1F600, 0x1F602, 0x2764, 0x1F1EF, 0x1F64F}) {
      SCOPED_TRACE(std::to_string(size) + " px, code " + std::to_string(code));
      const RasterGlyph got = RasterGlyph::load(face, code, style);
      const Rgba want = reference_scaled(code, style.strike_scale);
      ASSERT_EQ(got.channels, 4);
      ASSERT_EQ(got.width, want.width);
      ASSERT_EQ(got.rows, want.rows);
      EXPECT_EQ(got.bearing_x, want.left);
      EXPECT_EQ(got.bearing_y, want.top);
      EXPECT_EQ(got.advance, want.advance);
      int worst = 0;
      for (u64 i = 0; i < want.pixels.size(); ++i)
        worst = std::max(worst, std::abs(int(got.pixels[i]) - int(want.pixels[i])));
      EXPECT_LE(worst, 1); // float against double sums, and where they round
    }
  }
}

TEST(ColourGlyph, TextIsWhiteWithItsCoverageAsAlpha) {
  const FT_Face face = get_face(fonts(), Path(support::k_sans.c_str()));
  Glyphmint settings;
  settings.render = RenderMode::Color;
  const GlyphStyle style = set_bake_size(face, 17, settings);
  const support::RefFace ref(support::k_sans, 17);
  for (const int code : {int('g'), int('A'), int('&'), 0x20AC}) {
    SCOPED_TRACE(code);
    const RasterGlyph got = RasterGlyph::load(face, code, style);
    const support::RefGlyph want = ref.glyph(code);
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.rows, want.rows);
    EXPECT_EQ(got.advance, want.advance);
    std::vector<u8> alpha, white;
    for (u64 i = 0; i < want.bitmap.size(); ++i) {
      alpha.push_back(got.pixels[i * 4 + 3]);
      white.push_back(std::min({got.pixels[i * 4], got.pixels[i * 4 + 1], got.pixels[i * 4 + 2]}));
    }
    EXPECT_EQ(alpha, want.bitmap);
    EXPECT_EQ(white, std::vector<u8>(want.bitmap.size(), 255));
  }
}

TEST(ColourGlyph, LayersKeepTheirColoursAndSvgFallsBackToItsOutline) {
  const support::ScratchDir dir;
  const std::string font = dir.path() + "/colour.ttf";
  const support::RunResult made = support::run_program(
      "/usr/bin/python3", {GLYPHMINT_SOURCE_DIR "/tests/data/colour-font.py", font}, dir.path(),
      dir.path());
  ASSERT_EQ(made.exit_code, 0) << made;
  const FT_Face face = get_face(fonts(), Path(font.c_str()));
  Glyphmint settings;
  settings.render = RenderMode::Color;
  const GlyphStyle style = set_bake_size(face, 40, settings); // 0.04 pixels a unit
  ASSERT_EQ(style.strike_scale, 0.0);
  // B: blue at half alpha from 0 to 24 pixels, opaque red from 4 to 12.
  const RasterGlyph b = RasterGlyph::load(face, 'B', style);
  ASSERT_EQ(b.width, 24u);
  ASSERT_EQ(b.rows, 24u);
  const auto pixel = [&](u32 x, u32 y) {
    const u8 *p = b.pixels + (u64{y} * b.width + x) * 4;
    return std::vector<int>{p[0], p[1], p[2], p[3]};
  };
  EXPECT_EQ(pixel(8, 16), (std::vector<int>{255, 0, 0, 255}));
  const std::vector<int> blue = pixel(20, 4);
  EXPECT_EQ(std::vector<int>(blue.begin(), blue.begin() + 3), (std::vector<int>{0, 0, 255}));
  EXPECT_NEAR(blue[3], 128, 1);
  // A's SVG document is green; FreeType 2.12 cannot draw it, so its outline
  // is baked as text is, and C's plain outline alike.
  const support::RefFace ref(font, 40);
  for (const int code : {int('A'), int('C')}) {
    const RasterGlyph got = RasterGlyph::load(face, code, style);
    const support::RefGlyph want = ref.glyph(code);
    ASSERT_EQ(got.pixels_size, want.bitmap.size() * 4) << code;
    for (u64 i = 0; i < want.bitmap.size(); ++i)
      ASSERT_EQ(got.pixels[i * 4 + 1] + 1000 * got.pixels[i * 4 + 3], 255 + 1000 * want.bitmap[i])
          << code << " pixel " << i;
  }
}

} // namespace
