#include "tools/glyphmint-font/shaping/shaped-text.h"

#include <algorithm>
#include <set>

namespace {

// What keeps the text from being shaped: invalid UTF-8, or code points that
// have no record and so no supplying font.
bool check_characters(const gm_font &font, std::string_view text, TextLayout &result) {
  std::set<u32> seen;
  for (size_t at = 0; at < text.size();) {
    const size_t start = at;
    u32 c = 0;
    if (!gm_utf8_decode(text.data(), text.size(), &at, &c)) {
      result.invalid_utf8_at = start;
      return false;
    }
    if (c != '\n' && gm_font_find(&font, c) < 0 && seen.insert(c).second)
      result.missing.push_back(c);
  }
  return result.missing.empty();
}

} // namespace

TextLayout lay_out_shaped_text(const LoadedFont &font, LineShaper &shaper, std::string_view text) {
  const gm_font &f = font.font;
  TextLayout result;
  if (!check_characters(f, text, result)) return result;
  std::set<u32> reported;
  i64 line = 0;
  for (size_t start = 0;; ++line) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const ShapedLine shaped = shaper.shape_line(text.substr(start, end - start));
    const i64 baseline = i64{f.ascender} + line * f.line_height;
    for (const ShapedGlyph &g : shaped.glyphs) {
      if (g.record < 0) {
        if (reported.insert(g.glyph_index).second)
          result.missing_glyphs.push_back({g.glyph_index, g.code_point});
        continue;
      }
      const gm_glyph record = gm_font_record(&f, size_t(g.record));
      result.place(record, g.origin_x + record.bearing_x, baseline - g.raise - record.bearing_y);
    }
    result.bounds.hold(0, line * f.line_height, shaped.advance, (line + 1) * f.line_height);
    if (end == text.size()) break;
    start = end + 1;
  }
  return result;
}
