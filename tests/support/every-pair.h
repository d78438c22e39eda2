// The plain way to find a font's kerning pairs, the oracle that the kerning
// tests and benchmark hold kerning_pairs against: HarfBuzz straight from the
// file, shaping every ordered pair of code points (a code point with itself
// too) where neither is a mark. It uses nothing of glyphmint-font, or the
// check would only compare the code with itself.
#pragma once

#include "core/types.h"

#include <cmath>
#include <hb-ot.h>
#include <hb.h>
#include <string>
#include <tuple>
#include <vector>

namespace oracle {

/// (first, second, amount in whole pixels), sorted as the pairs were tried.
using Amounts = std::vector<std::tuple<u32, u32, i32>>;

/// Marks, which pair with nothing: GDEF's mark class, or Unicode's Mn, Mc, Me.
inline bool is_mark(hb_face_t *face, hb_codepoint_t glyph, u32 code) {
  if (hb_ot_layout_get_glyph_class(face, glyph) == HB_OT_LAYOUT_GLYPH_CLASS_MARK) return true;
  const hb_unicode_general_category_t category =
      hb_unicode_general_category(hb_unicode_funcs_get_default(), code);
  return category == HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK ||
         category == HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK ||
         category == HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK;
}

/// Every pair of `codes` (in that order), neither of them a mark, whose
/// shaped amount at `size` pixels rounds to a non-zero number and whose
/// glyphs shaping leaves alone; false when HarfBuzz cannot read the file.
inline bool shape_every_pair(const std::string &font_path, int size, const std::vector<u32> &codes,
                             Amounts &out) {
  hb_blob_t *blob = hb_blob_create_from_file_or_fail(font_path.c_str());
  if (blob == nullptr) return false;
  hb_face_t *face = hb_face_create(blob, 0);
  hb_font_t *font = hb_font_create(face);
  hb_font_set_scale(font, size * 64, size * 64);
  hb_buffer_t *buffer = hb_buffer_create();
  std::vector<hb_codepoint_t> glyphs(codes.size());
  std::vector<u8> pairs(codes.size());
  for (size_t i = 0; i < codes.size(); ++i)
    pairs[i] = hb_font_get_nominal_glyph(font, codes[i], &glyphs[i]) != 0 &&
               !is_mark(face, glyphs[i], codes[i]);
  for (size_t i = 0; i < codes.size(); ++i) {
    if (!pairs[i]) continue;
    const hb_position_t advance = hb_font_get_glyph_h_advance(font, glyphs[i]);
    for (size_t j = 0; j < codes.size(); ++j) {
      if (!pairs[j]) continue;
      hb_buffer_clear_contents(buffer);
      const u32 text[2] = {codes[i], codes[j]};
      hb_buffer_add_utf32(buffer, text, 2, 0, 2);
      hb_buffer_set_direction(buffer, HB_DIRECTION_LTR);
      hb_buffer_guess_segment_properties(buffer);
      hb_buffer_set_language(buffer, HB_LANGUAGE_INVALID);
      hb_shape(font, buffer, nullptr, 0);
      unsigned int n = 0;
      const hb_glyph_info_t *info = hb_buffer_get_glyph_infos(buffer, &n);
      const hb_glyph_position_t *pos = hb_buffer_get_glyph_positions(buffer, nullptr);
      if (n != 2 || info[0].codepoint != glyphs[i] || info[1].codepoint != glyphs[j]) continue;
      // lround rounds halves away from zero, as the amounts are defined.
      const long pixels =
          std::lround(double(i64{pos[0].x_advance} + pos[1].x_offset - advance) / 64.0);
      if (pixels != 0) out.emplace_back(codes[i], codes[j], i32(pixels));
    }
  }
  hb_buffer_destroy(buffer);
  hb_font_destroy(font);
  hb_face_destroy(face);
  hb_blob_destroy(blob);
  return true;
}

} // namespace oracle
