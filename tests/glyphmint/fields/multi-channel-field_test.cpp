// The multi-channel field drawn at 8 times against FreeType's coverage of the
// same outline (tests/support/reconstruction.h), beside the single-channel
// field, over Basic Latin and Latin-1: sharp corners, serifs thinner than a
// pixel at 24 px, and composites whose contours overlap (Ç's cedilla and C).
#include "tools/glyphmint/fields/multi-channel-field.h"

#include "tests/support/reconstruction.h"
#include "tests/support/support.h"

namespace {

/// What a set of glyphs must reach: the mean IoU, the mismatched area per
/// outline length, the corners' mismatch against the single-channel field's.
struct Bar {
  std::string font;
  int size, spread;
  double iou, per_length;
};

TEST(MultiChannelField, DrawsCornersSharpWithoutArtefacts) {
  const Bar bars[] = {{"/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf", 24, 4, 0.962, 0.029},
                      {support::k_sans, 24, 4, 0.984, 0.014},
                      {support::k_sans, 48, 8, 0.989, 0.020}};
  for (const Bar &bar : bars) {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    ASSERT_EQ(FT_Init_FreeType(&library) || FT_New_Face(library, bar.font.c_str(), 0, &face) ||
                  FT_Set_Pixel_Sizes(face, 0, FT_UInt(bar.size)),
              0);
    double corners[2] = {}, iou = 0, mismatch = 0, length = 0, straight = 0;
    int glyphs = 0, samples = 0;
    for (FT_ULong code = 33; code < 256; code += code == 126 ? 35 : 1) {
      SCOPED_TRACE(bar.font + " at " + std::to_string(bar.size) + ", " + std::to_string(code));
      ASSERT_EQ(FT_Load_Char(face, code, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP), 0);
      const FT_Outline &outline = face->glyph->outline;
      DistanceField sdf;
      MultiChannelField msdf;
      ASSERT_TRUE(distance_field(outline, bar.spread, sdf).error == 0 &&
                  multi_channel_field(outline, bar.spread, true, msdf).error == 0);
      // Placed as the single-channel field, which is its alpha.
      ASSERT_TRUE(msdf.place.width == sdf.width && msdf.place.rows == sdf.rows &&
                  msdf.place.bearing_x == sdf.bearing_x && msdf.place.bearing_y == sdf.bearing_y &&
                  msdf.image.channels == 4);
      for (size_t k = 0; k < sdf.pixels.size(); ++k)
        ASSERT_EQ(msdf.image.pixels[4 * k + 3], sdf.pixels[k]) << k;
      if (sdf.pixels.empty()) continue;
      const support::PixelBox box{sdf.bearing_x, sdf.bearing_y, int(sdf.width), int(sdf.rows)};
      const std::vector<support::Accuracy> a = support::measure(
          library, outline,
          {{sdf.pixels.data(), 1, box, bar.spread}, {msdf.image.pixels.get(), 4, box, bar.spread}});
      EXPECT_EQ(a[1].artefacts, 0);
      corners[0] += a[0].corner_mismatch, corners[1] += a[1].corner_mismatch;
      iou += a[1].iou, mismatch += a[1].mismatch, length += a[1].length, ++glyphs;
      straight += a[1].straight_error, samples += a[1].straight_samples;
    }
    SCOPED_TRACE(bar.font + " at " + std::to_string(bar.size));
    EXPECT_LE(corners[1], 0.45 * corners[0]);
    EXPECT_GE(iou / glyphs, bar.iou);
    EXPECT_LE(mismatch / length, bar.per_length);
    EXPECT_LE(straight / samples, 0.05);
    FT_Done_FreeType(library);
  }
}

// Between two texels that are each right, bilinear sampling of three
// channels can put the median across the outline: at 16 px this cut the
// crossings of # and the crossbar of A. Every midpoint of neighbouring
// texels (across, down, diagonally) must land on FreeType's side of the
// outline wherever it lies a quarter of a pixel or more off it.
TEST(MultiChannelField, MidpointsBetweenTexelsKeepTheirSide) {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  ASSERT_EQ(FT_Init_FreeType(&library) || FT_New_Face(library, support::k_sans.c_str(), 0, &face) ||
                FT_Set_Pixel_Sizes(face, 0, 16),
            0);
  constexpr int k_spread = 4;
  for (const char code : {'#', 'A'}) {
    SCOPED_TRACE(std::string("glyph ") + code);
    ASSERT_EQ(FT_Load_Char(face, FT_ULong(code), FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP), 0);
    MultiChannelField msdf;
    ASSERT_EQ(multi_channel_field(face->glyph->outline, k_spread, false, msdf).error, 0);
    const support::PixelBox box{msdf.place.bearing_x, msdf.place.bearing_y, int(msdf.place.width),
                                int(msdf.place.rows)};
    const std::vector<unsigned char> truth =
        support::coverage_8x(library, face->glyph->outline, box, 0);
    const int width = box.width * 8;
    // Squared distances in eighths of a pixel to the other side of the outline.
    const std::vector<double> to_in = support::squared_distances_across(truth, width, true);
    const std::vector<double> to_out = support::squared_distances_across(truth, width, false);
    const support::FieldView field{msdf.image.pixels.get(), 3, box, k_spread};
    int wrong = 0;
    std::string first;
    for (int j = 0; j + 1 < box.rows; ++j) {
      for (int i = 0; i + 1 < box.width; ++i) {
        for (const auto &[di, dj] : {std::pair{1, 0}, {0, 1}, {1, 1}, {-1, 1}}) {
          if (i + di < 0) continue;
          const double u = i + di / 2.0, v = j + dj / 2.0;
          const size_t fine = size_t((v + 0.5) * 8) * size_t(width) + size_t((u + 0.5) * 8);
          const bool inside = truth[fine] >= 128;
          if ((inside ? to_out[fine] : to_in[fine]) < 2 * 2 ||
              (support::sample(field, u, v) >= 128) == inside || wrong++ > 0)
            continue;
          first = "texels (" + std::to_string(i) + ", " + std::to_string(j) + ") and (" +
                  std::to_string(i + di) + ", " + std::to_string(j + dj) + ")";
        }
      }
    }
    EXPECT_EQ(wrong, 0) << "first between " << first;
  }
  FT_Done_FreeType(library);
}

// Glyphs the corrections once spoiled, with FreeType's coverage as the
// judge: the bars of $ at 16 px, thinner than a texel and passing between two
// columns of them, broke into dots where they meet the S (0.84), whose edges
// took the channels that kept the bars' sides apart; the dots of . and : at
// 24 px, whose edges lie exactly on points the correction samples, were
// shaved by half a texel (0.94, 0.95).
TEST(MultiChannelField, KeepsSmallFeaturesWhole) {
  struct Case {
    char code;
    int size, spread;
    double iou;
  };
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  ASSERT_EQ(FT_Init_FreeType(&library) || FT_New_Face(library, support::k_sans.c_str(), 0, &face),
            0);
  // The spokes of * are 0.9 px wide: at 0.742 the lower two came apart.
  for (const Case &c : {Case{'$', 16, 4, 0.89}, Case{'*', 16, 4, 0.755}, Case{'.', 24, 4, 0.99},
                        Case{':', 24, 4, 0.99}}) {
    SCOPED_TRACE(std::string("glyph ") + c.code);
    ASSERT_EQ(FT_Set_Pixel_Sizes(face, 0, FT_UInt(c.size)) ||
                  FT_Load_Char(face, FT_ULong(c.code), FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP),
              0);
    MultiChannelField msdf;
    ASSERT_EQ(multi_channel_field(face->glyph->outline, c.spread, false, msdf).error, 0);
    const support::PixelBox box{msdf.place.bearing_x, msdf.place.bearing_y, int(msdf.place.width),
                                int(msdf.place.rows)};
    EXPECT_GE(support::measure(library, face->glyph->outline,
                               {{msdf.image.pixels.get(), 3, box, c.spread}})[0]
                  .iou,
              c.iou);
  }
  FT_Done_FreeType(library);
}

} // namespace
