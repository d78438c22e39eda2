/* The reader header from C: compiled as C99 into fnt_test, under its
 * sanitizers, and by the fnt.clang test unchanged as C++11 as well, so it
 * keeps to what both languages accept. */
#define GM_FNT_LOAD_FILE
#include "fnt_c.h"

#include <stdlib.h>

gm_error fnt_c_parse(const void *bytes, size_t length, gm_font *font, size_t *error_offset) {
  return gm_font_parse(font, bytes, length, error_offset);
}

gm_error fnt_c_check(const void *bytes, size_t length, uint32_t atlas_width, uint32_t atlas_height,
                     size_t *error_offset) {
  gm_font font;
  gm_error error = gm_font_parse(&font, bytes, length, error_offset);
  if (error == GM_OK) error = gm_font_check_atlas(&font, atlas_width, atlas_height, error_offset);
  return error;
}

ptrdiff_t fnt_c_find(const void *bytes, size_t length, uint32_t code_point) {
  gm_font font;
  if (gm_font_parse(&font, bytes, length, NULL) != GM_OK) return -2;
  return gm_font_find(&font, code_point);
}

ptrdiff_t fnt_c_find_glyph(const void *bytes, size_t length, uint32_t font_number,
                           uint32_t glyph_index) {
  gm_font font;
  if (gm_font_parse(&font, bytes, length, NULL) != GM_OK) return -2;
  return gm_font_find_glyph(&font, font_number, glyph_index);
}

size_t fnt_c_layout(const void *bytes, size_t length, const char *text, size_t text_length,
                    gm_kerning_fn kerning, void *user, fnt_c_step *steps, size_t max) {
  gm_font font;
  gm_layout layout;
  gm_placed_glyph placed;
  size_t n = 0;
  if (gm_font_parse(&font, bytes, length, NULL) != GM_OK) return 0;
  gm_layout_begin(&layout, &font, text, text_length);
  gm_layout_set_kerning(&layout, kerning, user);
  while (n < max) {
    fnt_c_step *s = &steps[n++];
    s->step = gm_layout_next(&layout, &placed);
    s->code_point = placed.code_point;
    s->text_offset = placed.text_offset;
    s->line = placed.line;
    s->pen_x = placed.pen_x;
    s->src_x = s->src_y = s->width = s->height = s->dst_x = s->dst_y = 0;
    if (s->step == GM_STEP_GLYPH) {
      s->src_x = placed.src_x;
      s->src_y = placed.src_y;
      s->width = placed.width;
      s->height = placed.height;
      s->dst_x = placed.dst_x;
      s->dst_y = placed.dst_y;
    }
    if (s->step == GM_STEP_END || s->step == GM_STEP_ERROR) break;
  }
  return n;
}

gm_error fnt_c_measure(const void *bytes, size_t length, const char *text, size_t text_length,
                       gm_text_box *box, size_t *error_offset) {
  gm_font font;
  gm_error error = gm_font_parse(&font, bytes, length, error_offset);
  if (error != GM_OK) return error;
  return gm_measure(&font, text, text_length, box, error_offset);
}

void *fnt_c_load(const char *path, size_t *length) {
  return gm_load_file(path, length);
}

void fnt_c_free(void *buffer) {
  free(buffer);
}
