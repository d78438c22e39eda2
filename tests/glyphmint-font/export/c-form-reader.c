/* Compiled by c-source_test against export's c form of a font named test_font
 * (font.h): checks the sizes against the arrays and the font with fnt.h, then
 * draws argv[1], a text that stays within its line boxes, by render's rules
 * for coverage into argv[2], a binary PGM, and prints the font's spread.
 * Exit 1 on any fault. */
#include <glyphmint/fnt.h>

#include "font.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char **argv) {
  gm_font f;
  gm_text_box box;
  gm_layout layout;
  gm_placed_glyph g;
  gm_step step;
  int64_t r, c, x, y;
  unsigned char *image, from;
  size_t size;
  FILE *out;
  if (argc != 3 || sizeof test_font_fnt != test_font_fnt_size ||
      sizeof test_font_atlas != (size_t)test_font_atlas_width * test_font_atlas_height ||
      gm_font_parse(&f, test_font_fnt, test_font_fnt_size, NULL) != GM_OK ||
      gm_font_check_atlas(&f, test_font_atlas_width, test_font_atlas_height, NULL) != GM_OK ||
      gm_measure(&f, argv[1], strlen(argv[1]), &box, NULL) != GM_OK || box.missing != 0)
    return 1;
  size = (size_t)(box.width * box.height);
  image = (unsigned char *)calloc(size, 1);
  out = fopen(argv[2], "wb");
  if (!image || !out) return 1;
  gm_layout_begin(&layout, &f, argv[1], strlen(argv[1]));
  while ((step = gm_layout_next(&layout, &g)) != GM_STEP_END)
    for (r = 0; step == GM_STEP_GLYPH && r < g.height; ++r)
      for (c = 0; c < g.width; ++c) {
        x = g.dst_x + c, y = f.ascender + g.dst_y + r;
        if (x < 0 || y < 0 || x >= box.width || y >= box.height) return 1;
        from = test_font_atlas[(g.src_y + r) * test_font_atlas_width + g.src_x + c];
        if (from > image[y * box.width + x]) image[y * box.width + x] = from;
      }
  printf("spread %d\n", (int)f.spread);
  fprintf(out, "P5\n%ld %ld\n255\n", (long)box.width, (long)box.height);
  return fwrite(image, 1, size, out) == size && fclose(out) == 0 ? 0 : 1;
}
