// Painting in eight lanes, where this processor has them, against four: the
// planes must be the same to the bit, or fields would differ by machine.
#include "tools/glyphmint/fields/channel-planes.h"

#include "tests/support/support.h"
#include "tools/glyphmint/fields/distance-field.h"

#include <cstring>

namespace {

TEST(ChannelPlanes, EveryWidthPaintsTheSame) {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  ASSERT_EQ(FT_Init_FreeType(&library) || FT_New_Face(library, support::k_sans.c_str(), 0, &face),
            0);
  for (const auto &[size, spread] : {std::pair{12, 3}, {16, 4}, {48, 8}}) {
    ASSERT_EQ(FT_Set_Pixel_Sizes(face, 0, FT_UInt(size)), 0);
    for (const char code : std::string("ag@&W*$.")) {
      SCOPED_TRACE(std::string(1, code) + " at " + std::to_string(size));
      ASSERT_EQ(FT_Load_Char(face, FT_ULong(code), FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP), 0);
      DistanceField place;
      ASSERT_EQ(distance_field(face->glyph->outline, spread, place).error, 0);
      const int width = int(place.width), rows = int(place.rows);
      outline::ColouredOutline edges;
      ASSERT_EQ(outline::coloured_outline(face->glyph->outline, place.bearing_x, place.bearing_y,
                                          width, rows, edges),
                0);
      std::vector<float> best_scratch, four_scratch;
      outline::Planes best(width, rows, best_scratch), four(width, rows, four_scratch);
      for (const outline::EdgePiece &piece : edges.pieces) {
        outline::paint(piece, float(spread), best);
        outline::paint_in_four_lanes(piece, float(spread), four);
      }
      const size_t plane = size_t(best.stride) * size_t(rows);
      for (size_t k = 0; k < 3; ++k) {
        ASSERT_EQ(std::memcmp(best.d2[k], four.d2[k], plane * sizeof(float)), 0);
        for (size_t p = 0; p < plane; ++p) {
          if (best.d2[k][p] < outline::k_no_piece) {
            ASSERT_EQ(std::memcmp(&best.value[k][p], &four.value[k][p], sizeof(float)), 0);
          }
        }
      }
    }
  }
  FT_Done_FreeType(library);
}

} // namespace
