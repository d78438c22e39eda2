// Colour glyphs: Noto Color Emoji's strike scaled, against its images scaled
// by area in Pillow; text, an SVG glyph and COLR layers of a
// font that fontTools makes, against FreeType's coverage and the layers' colours.
#include "tools/glyphmint/glyphs/glyph.h"

#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

namespace {

FT_Face colour_face(const std::string &font, int size, GlyphStyle &style) {
  static FontLibrary library;
  const FT_Face face = get_face(library, Path(font.c_str()));
  Glyphmint settings;
  settings.render = RenderMode::Color;
  style = set_bake_size(face, size, settings);
  return face;
}

// The strike's images scaled to each size by fontTools and Pillow, without
// FreeType or our arithmetic (tests/data/strike-scaled.py), keyed by size
// and code point.
std::map<std::pair<int, int>, RasterGlyph> reference_scaled(const std::vector<int> &sizes,
                                                            const std::vector<int> &codes) {
  const support::ScratchDir dir;
  std::vector<std::string> args = {GLYPHMINT_TEST_DATA "/strike-scaled.py", support::k_emoji,
                                   dir.path()};
  for (const int size : sizes)
    for (const int code : codes) args.push_back(std::to_string(size) + ":" + std::to_string(code));
  std::map<std::pair<int, int>, RasterGlyph> scaled;
  if (support::run_program("/usr/bin/python3", args, dir.path(), dir.path()).exit_code != 0) {
    ADD_FAILURE() << "strike-scaled.py failed";
    return scaled;
  }
  for (const int size : sizes)
    for (const int code : codes) {
      const std::string bytes = support::read_file(dir.path() + "/" + std::to_string(size) + "-" +
                                                   std::to_string(code) + ".raw");
      const u64 header = bytes.find('\n') + 1;
      RasterGlyph &want = scaled[{size, code}];
      std::sscanf(bytes.c_str(), "%u %u", &want.width, &want.rows);
      want.channels = 4;
      want.pixels_size = bytes.size() - header;
      want.pixels = new u8[want.pixels_size];
      std::memcpy(want.pixels, bytes.data() + header, want.pixels_size);
    }
  return scaled;
}

TEST(ColourGlyph, AStrikeScalesByTheAreaOfEachFootprint) {
  // Smileys, a heart, a flag's regional indicator, hands: soft and hard edges.
  const std::vector<int> sizes = {32, 19}, codes = {0x1F600, 0x1F602, 0x2764, 0x1F1EF, 0x1F64F};
  const auto scaled = reference_scaled(sizes, codes);
  for (const int size : sizes) {
    GlyphStyle style;
    const FT_Face face = colour_face(support::k_emoji, size, style);
    ASSERT_DOUBLE_EQ(style.strike_scale, size / 109.0);
    for (const int code : codes) {
      SCOPED_TRACE(std::to_string(size) + " px, code " + std::to_string(code));
      const RasterGlyph got = rasterise_glyph(face, code, style);
      const RasterGlyph &want = scaled.at({size, code});
      ASSERT_EQ(std::tie(got.channels, got.width, got.rows),
                std::tie(want.channels, want.width, want.rows));
      ASSERT_EQ(got.pixels_size, want.pixels_size);
      // Pillow averages colours premultiplied to 8 bits, so under a low alpha
      // its colours are coarse; alpha it averages as we do.
      int worst_alpha = 0, worst_colour = 0;
      for (u64 i = 0; i < want.pixels_size; i += 4) {
        worst_alpha = std::max(worst_alpha, std::abs(int(got.pixels[i + 3]) - want.pixels[i + 3]));
        for (u64 c = 0; c < 3 && want.pixels[i + 3] >= 128; ++c)
          worst_colour =
              std::max(worst_colour, std::abs(int(got.pixels[i + c]) - want.pixels[i + c]));
      }
      EXPECT_LE(worst_alpha, 1);
      EXPECT_LE(worst_colour, 2);
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
