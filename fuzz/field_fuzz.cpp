// The baker's distance fields, single- and multi-channel, of any outline a
// font could hold: contours of on-curve points, conic and cubic controls, in
// either direction, crossing, touching and degenerate, with either fill rule.
// Fonts are untrusted input, so whatever the outline, each field must be made
// or refused without a fault, be exactly the size its placement gives, and
// come out the same twice; the multi-channel one's alpha is the other field.
//
// Input: spread (1 byte, 1..32 used), flags (bit 0: even-odd fill), the
// contour count (1 byte, up to 8), each contour's point count (1 byte, up to
// 32), then per point x and y (2 bytes each, signed, in 1/64 pixels, so up to
// 512 pixels from the origin) and its tag (1 byte: on, conic or cubic).
#include "fuzz/fuzz-support.h"

#include "tools/glyphmint/fields/distance-field.h"
#include "tools/glyphmint/fields/multi-channel-field.h"

#include <cstring>

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const u8 *data, size_t size) {
  fuzz::Reader in(data, size);
  const int spread = 1 + in.byte() % 32;
  const bool even_odd = (in.byte() & 1) != 0;
  const int contours = 1 + in.byte() % 8;
  std::vector<short> ends;
  int points = 0;
  for (int c = 0; c < contours; ++c) {
    points += 1 + in.byte() % 32;
    ends.push_back(static_cast<short>(points - 1));
  }
  std::vector<FT_Vector> xy(static_cast<size_t>(points));
  std::vector<char> tags(static_cast<size_t>(points));
  static const char kinds[] = {FT_CURVE_TAG_ON, FT_CURVE_TAG_CONIC, FT_CURVE_TAG_CUBIC};
  for (int p = 0; p < points; ++p) {
    xy[size_t(p)].x = static_cast<short>(in.bytes(2));
    xy[size_t(p)].y = static_cast<short>(in.bytes(2));
    tags[size_t(p)] = kinds[in.byte() % 3];
  }
  FT_Outline outline{};
  outline.n_contours = static_cast<short>(contours);
  outline.n_points = static_cast<short>(points);
  outline.points = xy.data();
  outline.tags = tags.data();
  outline.contours = ends.data();
  outline.flags = even_odd ? FT_OUTLINE_EVEN_ODD_FILL : 0;

  DistanceField field;
  MultiChannelField multi;
  const FT_Error multi_error = multi_channel_field(outline, spread, true, multi).error;
  if (distance_field(outline, spread, field).error != 0) {
    FUZZ_CHECK(field.pixels.empty() && multi_error != 0 && multi.image.pixels == nullptr,
               "a refused field left pixels behind, or the other field was made");
    return 0;
  }
  FUZZ_CHECK(multi_error == 0 && multi.image.channels == 4, "the multi-channel field was refused");
  for (size_t k = 0; k < field.pixels.size(); ++k)
    FUZZ_CHECK(multi.image.pixels[4 * k + 3] == field.pixels[k], "alpha is not the distance field");
  MultiChannelField multi_again;
  FUZZ_CHECK(multi_channel_field(outline, spread, true, multi_again).error == 0 &&
                 (field.pixels.empty() ||
                  std::memcmp(multi.image.pixels.get(), multi_again.image.pixels.get(),
                              field.pixels.size() * 4) == 0),
             "the same outline gave another multi-channel field");
  const FieldPlacement place = distance_field_placement(outline, spread);
  FUZZ_CHECK(field.width == place.width && field.rows == place.rows &&
                 field.bearing_x == place.bearing_x && field.bearing_y == place.bearing_y,
             "the field is not where its placement says");
  FUZZ_CHECK(multi.place.width == place.width && multi.place.rows == place.rows &&
                 multi.place.bearing_x == place.bearing_x &&
                 multi.place.bearing_y == place.bearing_y &&
                 (field.pixels.empty() ? multi.image.pixels == nullptr
                                       : multi.image.width == i32(place.width) &&
                                             multi.image.height == i32(place.rows)),
             "the multi-channel field is not where its placement says");
  FUZZ_CHECK(field.pixels.size() == u64{field.width} * field.rows, "the field's size");
  DistanceField again;
  FUZZ_CHECK(distance_field(outline, spread, again).error == 0 && again.pixels == field.pixels,
             "the same outline gave another field");
  return 0;
}
