// glyphmint-font render: draws a text with a baked font into a greyscale PNG,
// by rules exact enough that the image can be checked pixel for pixel.
#include "tools/glyphmint-font/commands.h"

#include "core/fmt.h"
#include "core/prog-opts.h"
#include "tools/glyphmint-font/kerning.h"
#include "tools/glyphmint-font/loaded-font.h"
#include "tools/glyphmint-font/output.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>
#include <vector>

namespace {

const char k_help[] =
    "Usage: glyphmint-font render [--font FONTFILE] FONT.fnt TEXT OUT.png\n"
    "\n"
    "Draws the UTF-8 TEXT with a baked font into OUT.png, an 8-bit greyscale PNG\n"
    "with a background of 0. The pen starts at x = 0 on every line; line i (from 0)\n"
    "has its baseline at y = ascender + i * line height, and a line feed starts the\n"
    "next line (one at the very end starts an empty last line). Each glyph's bitmap\n"
    "is copied from the atlas to (pen + bearing x, baseline - bearing y),\n"
    "overlapping pixels keeping the larger value, then the pen moves right by the\n"
    "advance. With --font, the font file the bake used, its kerning pairs (as\n"
    "export --font writes them) move the pen between neighbouring glyphs of a line;\n"
    "without it there is no kerning. The image is the smallest rectangle that holds\n"
    "every line's box (x from 0 to the line's advance, y from i * line height to\n"
    "(i + 1) * line height) and every glyph bitmap, moved so that its top-left\n"
    "corner is (0, 0): nothing is clipped.\n"
    "\n"
    "Nothing is written when TEXT is not valid UTF-8, when the font lacks any of\n"
    "its code points (the message names them all), when the image would be empty or\n"
    "larger than 16384 pixels on a side or 64 Mi pixels in all, or when OUT.png\n"
    "names FONT.fnt, its atlas or FONTFILE. Put -- before the arguments when TEXT\n"
    "starts with '-'.\n";

constexpr i64 k_max_side = 16384;
constexpr i64 k_max_pixels = i64(64) << 20;

// The rectangle that holds everything drawn, in the frame where line 0's box
// starts at (0, 0); edges are inclusive on the left and top only.
struct Bounds {
  i64 left = INT64_MAX;
  i64 top = INT64_MAX;
  i64 right = INT64_MIN;
  i64 bottom = INT64_MIN;

  // Either corner may be the smaller: a hostile font's advances and line
  // height can be negative.
  void hold(i64 x0, i64 y0, i64 x1, i64 y1) {
    left = std::min({left, x0, x1});
    top = std::min({top, y0, y1});
    right = std::max({right, x0, x1});
    bottom = std::max({bottom, y0, y1});
  }
};

void begin_layout(gm_layout &layout, const LoadedFont &loaded, StrView text,
                  NeighbourKerning *kerning) {
  gm_layout_begin(&layout, &loaded.font, text.data, text.len);
  if (kerning != nullptr) gm_layout_set_kerning(&layout, NeighbourKerning::kerning_fn, kerning);
}

// Lays the whole text out once: the bounds, or the fault that stops the render.
Bounds measure(const LoadedFont &loaded, StrView text, NeighbourKerning *kerning) {
  const gm_font &font = loaded.font;
  gm_layout layout;
  begin_layout(layout, loaded, text, kerning);
  Bounds bounds;
  std::vector<u32> missing;
  std::set<u32> seen;
  for (;;) {
    gm_placed_glyph g;
    const gm_step step = gm_layout_next(&layout, &g);
    if (step == GM_STEP_ERROR)
      throw Err(fmt("the text is not valid UTF-8 (at byte ", u64(layout.error_offset), ")"));
    if (step == GM_STEP_MISSING && seen.insert(g.code_point).second)
      missing.push_back(g.code_point);
    // An empty bitmap (a space's) holds no pixel, so it asks for no room.
    if (step == GM_STEP_GLYPH && g.width > 0 && g.height > 0) {
      const i64 top = font.ascender + g.dst_y;
      bounds.hold(g.dst_x, top, g.dst_x + g.width, top + g.height);
    }
    if (step == GM_STEP_LINE_BREAK || step == GM_STEP_END)
      bounds.hold(0, g.line * font.line_height, g.pen_x, (g.line + 1) * font.line_height);
    if (step == GM_STEP_END) break;
  }
  if (!missing.empty()) {
    StrBuilder message;
    fmt(message, loaded.fnt_path, ": no glyph for ");
    for (u64 i = 0; i < missing.size(); ++i)
      message.appendf("%sU+%04X", i == 0 ? "" : ", ", unsigned(missing[i]));
    throw Err(message.view());
  }
  return bounds;
}

} // namespace

int run_render(i32 argc, const char *const *argv) {
  Str font_file;
  ProgOpts::add(ProgOpts::ArgumentStr{"font", 0,
                                      "The font file the bake used: apply its kerning pairs.",
                                      "FONTFILE", &font_file, ProgOpts::Optional});
  ProgOpts::set_synopsis(k_help);
  StrView words[3];
  static const char *const names[] = {"FONT.fnt", "TEXT", "OUT.png"};
  (void)ProgOpts::parse(argc, argv, words, names);
  const StrView text = words[1];
  const Path out_path(words[2]);

  const LoadedFont loaded = LoadedFont::load(Path(words[0]));
  const Path font_path(font_file.view());
  const Input inputs[] = {{loaded.fnt_path, "the font being drawn with"},
                          {loaded.image_path, "the atlas of the font being drawn with"},
                          {font_path, "the font file given with --font"}};
  refuse_overwriting(ArrView<const Input>(inputs, 3), out_path);
  std::unique_ptr<NeighbourKerning> kerning;
  if (!font_file.empty()) kerning = std::make_unique<NeighbourKerning>(font_path, loaded.font);
  const Bounds bounds = measure(loaded, text, kerning.get());
  const i64 width = bounds.right - bounds.left;
  const i64 height = bounds.bottom - bounds.top;
  if (width <= 0 || height <= 0)
    throw Err(fmt(out_path, ": not written: the text makes an empty image (", width, 'x', height,
                  " pixels)"));
  if (width > k_max_side || height > k_max_side || width * height > k_max_pixels)
    throw Err(fmt(out_path, ": not written: the image would be ", width, 'x', height,
                  " pixels, more than 16384 on a side or 64 Mi in all"));

  // The same layout again, now that the image's size and origin are known.
  std::unique_ptr<u8[]> pixels(new u8[u64(width * height)]());
  const GreyImage &atlas = loaded.atlas;
  gm_layout layout;
  begin_layout(layout, loaded, text, kerning.get());
  gm_placed_glyph g;
  for (gm_step step;
       (step = gm_layout_next(&layout, &g)) != GM_STEP_END && step != GM_STEP_ERROR;) {
    if (step != GM_STEP_GLYPH) continue;
    const i64 x0 = g.dst_x - bounds.left;
    const i64 y0 = loaded.font.ascender + g.dst_y - bounds.top;
    for (i64 r = 0; r < g.height; ++r) {
      const u8 *from = atlas.pixels.get() + (g.src_y + r) * atlas.width + g.src_x;
      u8 *to = pixels.get() + (y0 + r) * width + x0;
      for (i64 c = 0; c < g.width; ++c) to[c] = std::max(to[c], from[c]);
    }
  }
  const Bytes png = encode_png(pixels.get(), i32(width), i32(height), 1);
  write_output(out_path, png.view());
  return 0;
}
