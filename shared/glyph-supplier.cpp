#include "shared/glyph-supplier.h"

namespace {

bool in_ranges(const List<CharRange> &ranges, i64 code) {
  for (const CharRange &range : ranges)
    if (range.first <= code && code <= range.last) return true;
  return false;
}

// The first of faces[from, to) that maps the code point, or `to`.
u64 first_mapping(ArrView<const FT_Face> faces, u64 from, u64 to, i64 code) {
  for (u64 k = from; k < to; ++k)
    if (has_glyph(faces[k], code)) return k;
  return to;
}

} // namespace

u64 supplying_font(const Glyphmint &settings, ArrView<const FT_Face> faces, i64 code) {
  const u64 count = faces.count;
  if (count > 1 && in_ranges(settings.fallback_first, code)) {
    const u64 fallback = first_mapping(faces, 1, count, code);
    return fallback < count ? fallback : 0;
  }
  if (has_glyph(faces[0], code)) return 0;
  const u64 fallback = first_mapping(faces, 1, count, code);
  return fallback < count ? fallback : 0;
}
