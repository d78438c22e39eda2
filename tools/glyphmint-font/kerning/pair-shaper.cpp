#include "tools/glyphmint-font/kerning/pair-shaper.h"

#include "core/fmt.h"

PairShaper::PairShaper(hb_font_t *font) : font_(font), buffer_(hb_buffer_create()) {
  if (!hb_buffer_allocation_successful(buffer_.get())) throw Err("Out of memory");
}

bool PairShaper::amount(const MappedCode &a, const MappedCode &b, i64 &out) {
  hb_buffer_t *buffer = buffer_.get();
  hb_buffer_clear_contents(buffer);
  const u32 text[2] = {a.code, b.code};
  hb_buffer_add_utf32(buffer, text, 2, 0, 2);
  // Horizontal, the script the text shows, and no language, so the font's
  // default language system applies and the locale plays no part.
  hb_buffer_set_direction(buffer, HB_DIRECTION_LTR);
  hb_buffer_guess_segment_properties(buffer);
  hb_buffer_set_language(buffer, HB_LANGUAGE_INVALID);
  hb_shape(font_, buffer, nullptr, 0);
  if (!hb_buffer_allocation_successful(buffer)) throw Err("Out of memory");
  unsigned int n = 0;
  const hb_glyph_info_t *info = hb_buffer_get_glyph_infos(buffer, &n);
  const hb_glyph_position_t *pos = hb_buffer_get_glyph_positions(buffer, nullptr);
  if (n != 2 || info[0].codepoint != a.glyph || info[1].codepoint != b.glyph) return false;
  out = i64{pos[0].x_advance} + pos[1].x_offset - a.advance;
  return true;
}
