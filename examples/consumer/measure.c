/* measure: prints the size of a text laid out in a font baked by glyphmint.
 *
 *   measure FONT.fnt TEXT
 *
 * prints "width: W" and "height: H" in pixels: the widest line's advance and
 * the number of lines times the line height (a line feed in TEXT starts a new
 * line). Only the .fnt is read; drawing would also need its atlas image.
 * Exits with status 1 when the font lacks code points of the text.
 */
#define GM_FNT_LOAD_FILE
#include <glyphmint/fnt.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char **argv) {
  size_t length = 0, where = 0;
  void *bytes;
  gm_font font;
  gm_text_box box;
  gm_error error;
  int status = 1;

  if (argc != 3) {
    fprintf(stderr, "usage: measure FONT.fnt TEXT\n");
    return 2;
  }
  bytes = gm_load_file(argv[1], &length);
  if (!bytes) {
    fprintf(stderr, "measure: %s: cannot be read\n", argv[1]);
    return 1;
  }
  error = gm_font_parse(&font, bytes, length, &where);
  if (error != GM_OK) {
    fprintf(stderr, "measure: %s: %s at byte %zu\n", argv[1], gm_error_text(error), where);
  } else if ((error = gm_measure(&font, argv[2], strlen(argv[2]), &box, &where)) != GM_OK) {
    fprintf(stderr, "measure: the text: %s at byte %zu\n", gm_error_text(error), where);
  } else {
    printf("width: %lld\nheight: %lld\n", (long long)box.width, (long long)box.height);
    /* Code points the font lacks take no room: say so rather than pass quietly. */
    if (box.missing != 0)
      fprintf(stderr, "measure: %zu code point(s) of the text are not in the font\n", box.missing);
    status = box.missing != 0;
  }
  free(bytes);
  return status;
}
