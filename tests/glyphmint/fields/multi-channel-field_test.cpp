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

} // namespace
