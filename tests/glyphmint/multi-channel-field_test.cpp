// The multi-channel field drawn at 8 times against FreeType's coverage of the
// same outline (tests/support/reconstruction.h), beside the single-channel
// field: glyphs with sharp corners, serifs and overlapping contours.
#include "tools/glyphmint/multi-channel-field.h"

#include "tests/support/reconstruction.h"
#include "tests/support/support.h"

namespace {

const std::string k_serif = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";

struct Face {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  explicit Face(const std::string &path) {
    EXPECT_EQ(FT_Init_FreeType(&library) || FT_New_Face(library, path.c_str(), 0, &face), 0);
  }
  ~Face() { FT_Done_FreeType(library); }
  const FT_Outline &load(FT_ULong code) {
    EXPECT_EQ(FT_Load_Char(face, code, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP), 0) << code;
    return face->glyph->outline;
  }
};

// A, W, M, k, x and & turn sharply; Ç, Ę, ţ and Ơ are composites whose
// contours overlap.
TEST(MultiChannelField, KeepsCornersSharpWithoutArtefacts) {
  const std::u32string glyphs = U"AWMkx&ÇĘţƠEZ";
  for (const auto &[font, size, spread] : {std::tuple{support::k_sans, 24, 4},
                                           std::tuple{k_serif, 24, 4}, std::tuple{k_serif, 48, 8}}) {
    Face face(font);
    ASSERT_EQ(FT_Set_Pixel_Sizes(face.face, 0, FT_UInt(size)), 0);
    support::Accuracy single, multi;
    for (const char32_t code : glyphs) {
      SCOPED_TRACE(font + ", size " + std::to_string(size) + ", code " + std::to_string(code));
      const FT_Outline &outline = face.load(code);
      DistanceField sdf;
      MultiChannelField msdf;
      ASSERT_EQ(distance_field(outline, spread, sdf).error, 0);
      ASSERT_EQ(multi_channel_field(outline, spread, true, msdf).error, 0);
      // Placed as the single-channel field, its true distance in alpha.
      ASSERT_TRUE(msdf.place.width == sdf.width && msdf.place.rows == sdf.rows &&
                  msdf.place.bearing_x == sdf.bearing_x && msdf.place.bearing_y == sdf.bearing_y);
      ASSERT_EQ(msdf.image.channels, 4);
      for (size_t k = 0; k < sdf.pixels.size(); ++k)
        ASSERT_EQ(msdf.image.pixels[4 * k + 3], sdf.pixels[k]) << k;
      const support::PixelBox box{sdf.bearing_x, sdf.bearing_y, int(sdf.width), int(sdf.rows)};
      const support::Accuracy s = support::measure(face.library, outline, {sdf.pixels.data(), 1, box, spread});
      const support::Accuracy m =
          support::measure(face.library, outline, {msdf.image.pixels.get(), 4, box, spread});
      EXPECT_EQ(m.artefacts, 0);
      EXPECT_GE(m.iou, s.iou);
      std::printf("%u: corners %.2f / %.2f IoU %.4f / %.4f len %.4f / %.4f straight %.4f\n", unsigned(code), m.corner_mismatch, s.corner_mismatch, m.iou, s.iou, m.mismatch / m.length, s.mismatch / s.length, m.straight_error / std::max(1, m.straight_samples));
      single.corner_mismatch += s.corner_mismatch, multi.corner_mismatch += m.corner_mismatch;
      multi.straight_error += m.straight_error, multi.straight_samples += m.straight_samples;
    }
    EXPECT_LE(multi.corner_mismatch, 0.45 * single.corner_mismatch);
    EXPECT_LE(multi.straight_error / multi.straight_samples, 0.05);
  }
}

} // namespace
