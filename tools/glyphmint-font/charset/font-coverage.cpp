#include "tools/glyphmint-font/charset/font-coverage.h"

#include <algorithm>

CodePointSet mapped_code_points(FT_Face font) {
  CodePointSet set;
  FT_UInt index = 0;
  for (FT_ULong c = FT_Get_First_Char(font, &index); index != 0;
       c = FT_Get_Next_Char(font, c, &index))
    if (c <= k_last_code_point && has_glyph(font, static_cast<i64>(c))) set.add(u32(c), u32(c));
  return set;
}

CodePointSplit split_by_font(const CodePointSet &requested, FT_Face font) {
  CodePointSplit split;
  for (const CodePointRun &r : requested.runs) {
    for (u64 c = r.first; c <= std::min(r.last, k_last_code_point); ++c)
      (has_glyph(font, static_cast<i64>(c)) ? split.present : split.missing).add(u32(c), u32(c));
    if (r.last > k_last_code_point)
      split.missing.add(std::max(r.first, k_last_code_point + 1), r.last);
  }
  return split;
}
