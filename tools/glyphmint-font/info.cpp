// glyphmint-font info: checks a baked font and its atlas, then describes them
// in "key: value" lines, always the same keys in the same order.
#include "tools/glyphmint-font/commands.h"

#include "core/prog-opts.h"
#include "tools/glyphmint-font/baked/font-summary.h"
#include "tools/glyphmint-font/baked/loaded-font.h"
#include "tools/glyphmint-font/cli/console.h"
#include "tools/glyphmint-font/cli/given-paths.h"

namespace {

const char k_help[] =
    "Usage: glyphmint-font info FONT.fnt\n"
    "\n"
    "Checks a baked font and its atlas (the PNG that the file names, relative to\n"
    "the file's directory, which must be 8-bit greyscale, RGB for a multi-channel\n"
    "field, RGBA for one with the true distance or for colour, and hold every\n"
    "glyph cell) and prints one line per key, in this order:\n"
    "\n"
    "  image: the atlas's name as the file gives it\n"
    "  size: the baked pixel size\n"
    "  line height, ascender, descender: in pixels\n"
    "  glyphs: the glyph records (a code point baked twice counts twice)\n"
    "  atlas: the atlas's width and height in pixels, WxH\n"
    "  fill: the share of the atlas that the glyph cells (their one-pixel\n"
    "    frames included) cover, in percent with one decimal, halves rounded up\n"
    "  code points: inclusive ranges in ascending order, each code point once,\n"
    "    such as 32-126, 160-255, 8364; none for a font without glyphs\n"
    "  kind: what the atlas holds, as the file records it (also when it has\n"
    "    no glyphs): coverage, monochrome (only 0 and 255), distance field,\n"
    "    spread N (the distance in pixels where it saturates), multi-channel\n"
    "    distance field, spread N, multi-channel and true distance field,\n"
    "    spread N, or colour\n"
    "  shaped: for a shaped bake only, N glyphs beyond the code points: those\n"
    "    that shaping its code points can produce, found by glyph index\n"
    "\n"
    "Any fault: exit status 1 and one line on standard error naming the file.\n";

} // namespace

int run_info(i32 argc, const char *const *argv) {
  ProgOpts::set_synopsis(k_help);
  StrView words[1];
  static const char *const names[] = {"FONT.fnt"};
  (void)ProgOpts::parse(argc, argv, words, names);

  const LoadedFont loaded = LoadedFont::load(given_path(words[0], "FONT.fnt"));
  print_output(font_summary_text(loaded).view());
  return 0;
}
