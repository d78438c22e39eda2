// glyphmint-font render: draws a text with a baked font into a PNG,
// by rules exact enough that the image can be checked pixel for pixel.
#include "tools/glyphmint-font/commands.h"

#include "core/fmt.h"
#include "core/prog-opts.h"
#include "tools/glyphmint-font/baked/glyph-suppliers.h"
#include "tools/glyphmint-font/baked/loaded-font.h"
#include "tools/glyphmint-font/cli/given-paths.h"
#include "tools/glyphmint-font/cli/output.h"
#include "tools/glyphmint-font/draw/text-image.h"
#include "tools/glyphmint-font/kerning/font-advances.h"
#include "tools/glyphmint-font/kerning/kerning.h"
#include "tools/glyphmint-font/shaping/shaped-text.h"

#include <string_view>
#include <vector>

namespace {

const char k_help[] =
    "Usage: glyphmint-font render [--font FONTFILE] [--scale N] FONT.fnt TEXT OUT.png\n"
    "\n"
    "Draws the UTF-8 TEXT with a baked font into OUT.png, an 8-bit greyscale PNG\n"
    "with a background of 0 (RGBA on transparent for a colour font). The pen starts\n"
    "at x = 0 on every line; line i (from 0) has its baseline at\n"
    "y = ascender + i * line height, and a line feed starts the next line (one at\n"
    "the very end starts an empty last line). Each glyph's bitmap is copied from\n"
    "the atlas to (pen + bearing x, baseline - bearing y), overlapping pixels\n"
    "keeping the larger value (a colour glyph is composited over them with its\n"
    "alpha), then the pen moves right by the advance. With --font, the font file\n"
    "the bake used, the advance is the font's to the nearest pixel (the .fnt keeps\n"
    "it rounded down) and its kerning pairs move the pen between neighbouring\n"
    "glyphs of a line, as export --font writes them; without it there is no\n"
    "kerning. The image is the smallest rectangle that holds every line's box (x\n"
    "from 0 to the line's advance, y from i * line height to (i + 1) * line height)\n"
    "and every glyph bitmap, moved so that its top-left corner is (0, 0): nothing\n"
    "is clipped.\n"
    "\n"
    "A shaped bake (shaped = true) given its font file with --font is drawn shaped:\n"
    "each line is shaped with HarfBuzz at the baked size, unhinted, its direction\n"
    "and script guessed from the line's text, and HarfBuzz's glyphs are drawn left\n"
    "to right. The pen starts at 0 and moves by round(x_advance / 64) per glyph\n"
    "(halves away from zero); a glyph's origin is at the pen plus\n"
    "round(x_offset / 64), its baseline raised by round(y_offset / 64), and its\n"
    "bitmap sits at the origin plus its bearings. Characters that a fallback font\n"
    "supplied are drawn one per code point, moving the pen by their advances. A\n"
    "glyph the shaped text needs that the bake lacks is an error naming its index.\n"
    "\n"
    "--scale N (1 to 16, default 1) multiplies every position (pen, bearings, line\n"
    "height) by N. A coverage or colour font's atlas pixels become N x N blocks. A\n"
    "distance field is drawn from its field: the output pixel whose centre lies at\n"
    "u = (x + 0.5) / N - 0.5, v = (y + 0.5) / N - 0.5 in the glyph's field bitmap\n"
    "takes the bilinear sample s there (clamped to the bitmap's edge pixels; for a\n"
    "multi-channel field, the median of the samples of its red, green and blue) and\n"
    "holds 255 * clamp(0.5 + (s - 128) / 128 * spread * N, 0, 1), rounded: the\n"
    "outline sharp, with about one pixel of anti-aliasing, at any scale.\n"
    "\n"
    "Nothing is written when TEXT is not valid UTF-8, when the font lacks any of\n"
    "its code points (the message names them all), when the image would be empty or\n"
    "larger than 16384 pixels on a side or 64 Mi pixels in all, or when OUT.png\n"
    "names FONT.fnt, its atlas or FONTFILE. Put -- before the arguments when TEXT\n"
    "starts with '-'. An OUT.png of - writes the PNG to standard output (not to a\n"
    "terminal).\n";

const char k_scale_error[] = "--scale takes an integer from 1 to 16.";

constexpr i64 k_max_side = 16384;
constexpr i64 k_max_pixels = i64(64) << 20;

// The faults that stop a render, in the order they are looked for; the
// bounds are the layout's, scaled.
void check_layout(const TextLayout &layout, const TextBounds &bounds, const LoadedFont &loaded,
                  StrView out_name) {
  if (layout.invalid_utf8_at)
    throw Err(fmt("the text is not valid UTF-8 (at byte ", u64(*layout.invalid_utf8_at), ")"));
  if (!layout.missing.empty()) {
    StrBuilder message;
    fmt(message, loaded.fnt_path, ": no glyph for ");
    for (u64 i = 0; i < layout.missing.size(); ++i)
      message.appendf("%sU+%04X", i == 0 ? "" : ", ", unsigned(layout.missing[i]));
    throw Err(message.view());
  }
  if (!layout.missing_glyphs.empty()) {
    StrBuilder message;
    fmt(message, loaded.fnt_path, ": shaping the text gives glyphs the bake lacks: ");
    for (u64 i = 0; i < layout.missing_glyphs.size(); ++i)
      message.appendf("%sglyph %u (from U+%04X)", i == 0 ? "" : ", ",
                      unsigned(layout.missing_glyphs[i].glyph_index),
                      unsigned(layout.missing_glyphs[i].code_point));
    throw Err(message.view());
  }
  const i64 width = bounds.right - bounds.left;
  const i64 height = bounds.bottom - bounds.top;
  if (width <= 0 || height <= 0)
    throw Err(fmt(out_name, ": not written: the text makes an empty image (", width, 'x', height,
                  " pixels)"));
  if (width > k_max_side || height > k_max_side || width * height > k_max_pixels)
    throw Err(fmt(out_name, ": not written: the image would be ", width, 'x', height,
                  " pixels, more than 16384 on a side or 64 Mi in all"));
}

// A shaped bake with its font file is shaped; any other text is laid out
// code point by code point, kerned with the font file's pairs when given.
TextLayout lay_out(const LoadedFont &loaded, const Path &font_path, std::string_view text) {
  if (font_path.empty()) return lay_out_text(loaded, text, {});
  if (loaded.font.shaped) {
    LineShaper shaper(font_path, loaded.font);
    return lay_out_shaped_text(loaded, shaper, text);
  }
  NeighbourKerning pairs(font_path, loaded.font,
                         glyph_suppliers(loaded).fallback_codes(loaded.font));
  return lay_out_text(loaded, text, {NeighbourKerning::kerning_fn, &pairs});
}

} // namespace

int run_render(i32 argc, const char *const *argv) {
  Str font_file;
  ProgOpts::add(ProgOpts::ArgumentStr{"font", 0,
                                      "The font file the bake used: apply its kerning pairs.",
                                      "FONTFILE", &font_file, ProgOpts::Optional});
  // Taken as text so that its help shows the value, and read in decimal.
  Str scale_text;
  ProgOpts::add(ProgOpts::ArgumentStr{"scale", 0, "Draw N times as large (1 to 16).", "N",
                                      &scale_text, ProgOpts::Optional});
  ProgOpts::set_value_error(&font_file, "--font takes the font file the bake used.");
  ProgOpts::set_value_error(&scale_text, k_scale_error);
  ProgOpts::set_synopsis(k_help);
  StrView words[3];
  static const char *const names[] = {"FONT.fnt", "TEXT", "OUT.png"};
  (void)ProgOpts::parse(argc, argv, words, names);
  int scale = 1;
  if (ProgOpts::given(&scale_text) && (!StrParser<int>::try_parse(scale_text.view(), scale) ||
                                       scale < 1 || scale > k_max_text_scale))
    ProgOpts::usage_error(k_scale_error);
  const std::string_view text(words[1].data, words[1].len);
  const bool to_stdout = is_standard_stream(words[2]);
  const Path out_path = to_stdout ? Path() : given_path(words[2], "OUT.png");
  const Path font_path =
      ProgOpts::given(&font_file) ? given_path(font_file.view(), "--font") : Path();

  LoadedFont loaded = LoadedFont::load(given_path(words[0], "FONT.fnt"));
  const Input inputs[] = {{loaded.fnt_path, "the font being drawn with"},
                          {loaded.image_path, "the atlas of the font being drawn with"},
                          {font_path, "the font file given with --font"}};
  if (!to_stdout) refuse_overwriting(ArrView<const Input>(inputs, 3), out_path);
  if (!font_path.empty()) take_font_advances(loaded, font_path);
  const TextLayout layout = lay_out(loaded, font_path, text);
  const TextBounds bounds = scaled(layout.bounds, scale);
  check_layout(layout, bounds, loaded, to_stdout ? StrView("standard output") : out_path.view());
  const Image image = draw_text(loaded, layout, scale);
  const Bytes png = encode_png(image);
  if (to_stdout)
    write_standard_output(png.view());
  else
    write_output(out_path, png.view());
  return 0;
}
