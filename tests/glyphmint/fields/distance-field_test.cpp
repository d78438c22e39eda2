// The distance field against FreeType: its placement against the normal
// render's bitmap, its distances against FreeType's own sdf renderer and,
// for overlapping contours, which that renderer gets wrong, against the true
// distance (tests/support/true-distance.h).
#include "tools/glyphmint/fields/distance-field.h"
#include "tools/glyphmint/fields/multi-channel-field.h"

#include "tests/support/support.h"
#include "tests/support/true-distance.h"
#include "tools/glyphmint/glyphs/glyph.h"

#include FT_MODULE_H

#include <array>
#include <string>

namespace {

/// FreeType on its own, with DejaVu Sans open.
struct Sans {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  Sans() {
    EXPECT_EQ(FT_Init_FreeType(&library) || FT_New_Face(library, support::k_sans.c_str(), 0, &face),
              0);
  }
  ~Sans() { FT_Done_FreeType(library); }
  FT_GlyphSlot load(FT_ULong code, FT_Int32 flags = FT_LOAD_NO_HINTING | FT_LOAD_MONOCHROME) {
    EXPECT_EQ(FT_Load_Glyph(face, FT_Get_Char_Index(face, code), flags), 0) << code;
    return face->glyph;
  }
};

support::PixelBox box_of(const FieldPlacement &p) {
  return {p.bearing_x, p.bearing_y, int(p.width), int(p.rows)};
}

// The field's bitmap is the normal render's grown by the spread, unless empty.
void expect_grown(const FieldPlacement &got, FT_GlyphSlot rendered, int spread) {
  const FT_Bitmap &b = rendered->bitmap;
  const int grow = b.width == 0 || b.rows == 0 ? 0 : spread;
  EXPECT_TRUE(got.width == b.width + 2u * u32(grow) && got.rows == b.rows + 2u * u32(grow) &&
              got.bearing_x == rendered->bitmap_left - grow &&
              got.bearing_y == rendered->bitmap_top + grow);
}

// The accuracy a field must have over the pixels within 0.9 × spread of the edge.
void expect_accurate(const std::vector<double> &errors) {
  const support::FieldError e = support::summarise(errors);
  EXPECT_TRUE(e.pixels > 0 && e.mean <= 0.1 && e.p99 <= 0.25 && e.worst <= 0.6)
      << "mean " << e.mean << ", p99 " << e.p99 << ", worst " << e.worst;
}

TEST(DistanceField, GrowsTheNormalRenderAndMatchesFreeTypesSdf) {
  Sans sans;
  for (const auto &[size, spread] : {std::pair{32, 4}, std::pair{48, 8}}) {
    ASSERT_EQ(FT_Set_Pixel_Sizes(sans.face, 0, FT_UInt(size)), 0);
    ASSERT_EQ(FT_Property_Set(sans.library, "sdf", "spread", &spread), 0);
    // Straight and curved edges, a descender, a composite (É), and a space.
    for (const FT_ULong code : {65ul, 103ul, 79ul, 64ul, 201ul, 32ul}) {
      SCOPED_TRACE("size " + std::to_string(size) + ", code " + std::to_string(code));
      DistanceField field;
      ASSERT_EQ(distance_field(sans.load(code), spread, field).error, 0);
      ASSERT_EQ(FT_Render_Glyph(sans.face->glyph, FT_RENDER_MODE_NORMAL), 0);
      expect_grown(field, sans.face->glyph, spread);
      if (field.pixels.empty()) continue; // FreeType 2.12.1's sdf renderer mishandles these
      const FT_GlyphSlot slot = sans.load(code);
      ASSERT_EQ(FT_Render_Glyph(slot, FT_RENDER_MODE_SDF), 0);
      const FT_Bitmap &theirs = slot->bitmap;
      ASSERT_EQ(theirs.pitch, int(theirs.width));
      std::vector<float> distances;
      for (size_t k = 0; k < size_t(theirs.width) * theirs.rows; ++k)
        distances.push_back(float(theirs.buffer[k] - 128) * float(spread) / 128);
      std::vector<double> errors;
      const support::PixelBox box{slot->bitmap_left, slot->bitmap_top, int(theirs.width),
                                  int(theirs.rows)};
      support::gather_errors(field.pixels, box_of(field), distances, box, spread, errors);
      expect_accurate(errors);
    }
  }
}

TEST(DistanceField, PlacementIsTheNormalRendersForEveryGlyph) {
  Sans sans;
  for (const int size : {5, 16, 47}) {
    ASSERT_EQ(FT_Set_Pixel_Sizes(sans.face, 0, FT_UInt(size)), 0);
    for (FT_UInt index = 0; index < FT_UInt(sans.face->num_glyphs) && !HasFailure(); ++index) {
      SCOPED_TRACE("size " + std::to_string(size) + ", glyph " + std::to_string(index));
      ASSERT_EQ(FT_Load_Glyph(sans.face, index, FT_LOAD_NO_HINTING | FT_LOAD_MONOCHROME), 0);
      const FieldPlacement got = distance_field_placement(sans.face->glyph->outline, 3);
      ASSERT_EQ(FT_Render_Glyph(sans.face->glyph, FT_RENDER_MODE_NORMAL), 0);
      expect_grown(got, sans.face->glyph, 3);
    }
  }
}

// Where contours overlap or meet, only the filled region's edge counts.
TEST(DistanceField, OverlappingContoursMeasureTheFilledRegion) {
  using Squares = std::vector<std::array<int, 4>>; // left, bottom, right, top in pixels
  const std::tuple<const char *, Squares, int> cases[] = {
      {"crossing", {{0, 0, 12, 12}, {6, 4, 20, 8}}, FT_OUTLINE_NONE},
      {"sharing an upright edge", {{0, 0, 10, 10}, {10, 2, 16, 8}}, FT_OUTLINE_NONE},
      {"sharing a level edge", {{0, 0, 10, 10}, {3, 10, 7, 14}}, FT_OUTLINE_NONE},
      {"nested, even-odd", {{0, 0, 16, 16}, {4, 4, 12, 12}}, FT_OUTLINE_EVEN_ODD_FILL},
  };
  Sans sans;
  for (const auto &[what, squares, flags] : cases) {
    SCOPED_TRACE(what);
    std::vector<FT_Vector> points;
    std::vector<short> ends;
    for (const auto &[left, bottom, right, top] : squares) {
      for (const auto &[x, y] :
           {std::pair{left, bottom}, {left, top}, {right, top}, {right, bottom}})
        points.push_back({FT_Pos{x} * 64, FT_Pos{y} * 64});
      ends.push_back(short(points.size() - 1));
    }
    std::vector<char> tags(points.size(), FT_CURVE_TAG_ON);
    const FT_Outline outline{short(ends.size()), short(points.size()), points.data(),
                             tags.data(),        ends.data(),          flags};
    DistanceField field;
    ASSERT_EQ(distance_field(outline, 4, field).error, 0);
    std::vector<double> errors;
    support::gather_errors(field.pixels, box_of(field),
                           support::true_distances(sans.library, outline, box_of(field)),
                           box_of(field), 4, errors);
    expect_accurate(errors);
  }
}

TEST(DistanceField, TheBakeTakesTheOutlineOfAFontThatAlsoHoldsBitmapStrikes) {
  // AR PL UMing has bitmap strikes at 11 to 16 px beside its outlines.
  FontLibrary fonts;
  const FT_Face face = get_face(fonts, Path("/usr/share/fonts/truetype/arphic/uming.ttc"));
  ASSERT_NE(face->num_fixed_sizes, 0) << "the font has no strikes to leave aside";
  set_pixel_size(face, 12);
  const RasterGlyph glyph = rasterise_glyph(face, 0x4E2D, {RenderMode::Sdf, 4});
  ASSERT_EQ(FT_Load_Glyph(face, glyph_index(face, 0x4E2D), FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP),
            0);
  ASSERT_EQ(FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL), 0);
  expect_grown({glyph.width, glyph.rows, glyph.bearing_x, glyph.bearing_y}, face->glyph, 4);
}

TEST(DistanceField, RefusesABitmapOrASpreadOutOfRange) {
  Sans sans;
  ASSERT_EQ(FT_Set_Pixel_Sizes(sans.face, 0, 16), 0);
  DistanceField field;
  EXPECT_EQ(distance_field(sans.load('A', FT_LOAD_RENDER), 4, field).error,
            FT_Err_Invalid_Glyph_Format);
  EXPECT_EQ(distance_field(sans.load('A'), 33, field).error, FT_Err_Invalid_Argument);
  // Found without making the field, as making it finds them, for both kinds.
  const auto same = [](FtFailure a, FtFailure b) {
    return a.error == b.error && std::string(a.call ? a.call : "") == (b.call ? b.call : "");
  };
  for (const auto flags : {FT_Int32(FT_LOAD_RENDER), FT_Int32(FT_LOAD_NO_HINTING)})
    for (const int spread : {4, 33}) {
      const FT_GlyphSlot slot = sans.load('A', flags);
      MultiChannelField multi;
      EXPECT_TRUE(same(distance_field_failure(slot, spread), distance_field(slot, spread, field)))
          << flags << " " << spread;
      EXPECT_TRUE(same(multi_channel_field_failure(slot, spread),
                       multi_channel_field(slot, spread, false, multi)))
          << flags << " " << spread;
    }
}

} // namespace
