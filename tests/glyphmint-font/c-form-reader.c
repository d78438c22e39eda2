/* A program that compiles in a font of export's c form, named test_font in
 * font.h, checks it with glyphmint/fnt.h, draws argv[1] with it by render's
 * rules (no kerning) and writes the image to argv[2] as a binary PGM, which
 * the test compares with render's PNG of the same text. Exit 1 when the sizes
 * disagree with the arrays, the font is refused or it lacks a code point. */
#include <glyphmint/fnt.h>

#include "font.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
  int64_t left, top, right, bottom;
} box;

static void hold(box *b, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
  if (x0 < b->left) b->left = x0;
  if (y0 < b->top) b->top = y0;
  if (x1 > b->right) b->right = x1;
  if (y1 > b->bottom) b->bottom = y1;
}

/* One pass measures (image NULL), the next draws into the measured image. */
static int lay_out(const gm_font *font, const char *text, box *b, unsigned char *image) {
  gm_layout layout;
  gm_placed_glyph g;
  gm_step step;
  int64_t r, c, width = b->right - b->left;
  gm_layout_begin(&layout, font, text, strlen(text));
  do {
    step = gm_layout_next(&layout, &g);
    if (step == GM_STEP_MISSING || step == GM_STEP_ERROR) return 0;
    if (step == GM_STEP_LINE_BREAK || step == GM_STEP_END)
      hold(b, 0, g.line * font->line_height, g.pen_x, (g.line + 1) * font->line_height);
    if (step != GM_STEP_GLYPH || g.width == 0 || g.height == 0) continue;
    hold(b, g.dst_x, font->ascender + g.dst_y, g.dst_x + g.width,
         font->ascender + g.dst_y + g.height);
    for (r = 0; image && r < g.height; ++r)
      for (c = 0; c < g.width; ++c) {
        unsigned char from = test_font_atlas[(g.src_y + r) * test_font_atlas_width + g.src_x + c];
        unsigned char *to = &image[(font->ascender + g.dst_y + r - b->top) * width +
                                   g.dst_x + c - b->left];
        if (from > *to) *to = from;
      }
  } while (step != GM_STEP_END);
  return 1;
}

int main(int argc, char **argv) {
  gm_font font;
  box b = {0, 0, 0, 0};
  unsigned char *image;
  FILE *out;
  size_t size;
  if (argc != 3 || sizeof test_font_fnt != test_font_fnt_size ||
      sizeof test_font_atlas != (size_t)test_font_atlas_width * test_font_atlas_height ||
      gm_font_parse(&font, test_font_fnt, test_font_fnt_size, NULL) != GM_OK ||
      gm_font_check_atlas(&font, test_font_atlas_width, test_font_atlas_height, NULL) != GM_OK ||
      !lay_out(&font, argv[1], &b, NULL))
    return 1;
  size = (size_t)((b.right - b.left) * (b.bottom - b.top));
  image = (unsigned char *)calloc(size, 1);
  out = fopen(argv[2], "wb");
  if (!image || !out || !lay_out(&font, argv[1], &b, image)) return 1;
  fprintf(out, "P5\n%ld %ld\n255\n", (long)(b.right - b.left), (long)(b.bottom - b.top));
  return fwrite(image, 1, size, out) == size && fclose(out) == 0 ? 0 : 1;
}
