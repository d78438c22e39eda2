/* The reader header driven from a C translation unit (fnt_c.c, compiled as
 * C99), so fnt_test.cpp can run its cases through C as well as C++. */
#ifndef GLYPHMINT_TESTS_FNT_C_H
#define GLYPHMINT_TESTS_FNT_C_H

#include "glyphmint/fnt.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One layout step; the glyph's rectangles are 0 for other steps. */
typedef struct fnt_c_step {
  gm_step step;
  uint32_t code_point;
  size_t text_offset;
  int64_t line;
  int64_t pen_x;
  int64_t src_x, src_y, width, height;
  int64_t dst_x, dst_y;
} fnt_c_step;

/* gm_font_parse into *font. */
gm_error fnt_c_parse(const void *bytes, size_t length, gm_font *font, size_t *error_offset);

/* gm_font_parse, then gm_font_check_atlas against an atlas of that size. */
gm_error fnt_c_check(const void *bytes, size_t length, uint32_t atlas_width, uint32_t atlas_height,
                     size_t *error_offset);

/* gm_font_find on the parsed bytes; -2 when they do not parse. */
ptrdiff_t fnt_c_find(const void *bytes, size_t length, uint32_t code_point);

/* gm_font_find_glyph on the parsed bytes; -2 when they do not parse. */
ptrdiff_t fnt_c_find_glyph(const void *bytes, size_t length, uint32_t font_number,
                           uint32_t glyph_index);

/* Lays the text out, kerning with the callback when it is not NULL; writes up
 * to max steps, the last being END or ERROR, and returns how many. */
size_t fnt_c_layout(const void *bytes, size_t length, const char *text, size_t text_length,
                    gm_kerning_fn kerning, void *user, fnt_c_step *steps, size_t max);

/* gm_measure on the parsed bytes (which must parse). */
gm_error fnt_c_measure(const void *bytes, size_t length, const char *text, size_t text_length,
                       gm_text_box *box, size_t *error_offset);

/* gm_load_file; the buffer goes back through fnt_c_free. */
void *fnt_c_load(const char *path, size_t *length);
void fnt_c_free(void *buffer);

#ifdef __cplusplus
}
#endif

#endif
