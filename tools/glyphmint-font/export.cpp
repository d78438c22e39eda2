// glyphmint-font export: a baked font in the BMFont forms that game engines
// and web loaders read, with its one page image beside the descriptor.
#include "tools/glyphmint-font/commands.h"

#include "core/prog-opts.h"
#include "tools/glyphmint-font/bmfont.h"
#include "tools/glyphmint-font/kerning.h"
#include "tools/glyphmint-font/loaded-font.h"
#include "tools/glyphmint-font/output.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>

namespace {

const char k_synopsis[] =
    "Usage: glyphmint-font export [--page rgba|grey] [--font FONTFILE] FONT.fnt FORMAT OUT\n"
    "\n"
    "Writes a baked font as an AngelCode BMFont descriptor, the form most game\n"
    "engines and web text renderers load, and its page image beside OUT, named\n"
    "after OUT's file name up to its last dot: out/Serif-16.bmfont.fnt gives\n"
    "out/Serif-16.bmfont_0.png.\n"
    "\n"
    "FORMAT:\n"
    "  text    the text form (.fnt), one line per record\n"
    "  xml     the XML form\n"
    "  binary  the binary form, version 3 (16-bit fields: a value that does not\n"
    "          fit is an error)\n"
    "  json    the JSON form of the same structure (load-bmfont, parse-bmfont-*)\n"
    "\n"
    "The page is white with the glyphs' coverage in alpha (8-bit RGBA), which is\n"
    "what engines blend with; --page grey writes the atlas's own greyscale\n"
    "pixels instead, and the channel fields say which. The face is the atlas\n"
    "image's name without its \"-<size>.png\" ending (without just its extension\n"
    "when it ends otherwise). A code point baked twice is written once, from its\n"
    "first record.\n"
    "\n"
    "With --font, the font file the bake used (the .fnt does not name it), the\n"
    "descriptor carries the kerning pairs among the baked code points at the\n"
    "baked size, read through HarfBuzz from the font's GPOS and kern tables;\n"
    "without it, it carries none. A font file that is not the bake's (it lacks\n"
    "a baked code point) is an error. Pairs with a combining mark are left out:\n"
    "shaping places a mark on its letter, which a pair, moving every glyph after\n"
    "it, cannot do. Compose text (NFC) where the font has the composed letters.\n"
    "\n"
    "OUT and the page never replace FONT.fnt or its atlas. Both\n"
    "are written whole under temporary names before either takes its own, so a\n"
    "failed export leaves any earlier OUT and page as they were.\n";

// The page beside OUT, named by OUT's file name up to its last dot:
//   dir/Serif-16.bmfont.fnt => dir/Serif-16.bmfont_0.png,  out => out_0.png
Path page_path(const Path &out) {
  const StrView text = out.view();
  const u64 slash = text.find_last('/');
  const StrView dir = slash == StrView::npos ? StrView() : text.sub(0, slash + 1);
  const StrView name = out.name();
  const u64 dot = name.find_last('.');
  return Path(fmt(dir, dot == StrView::npos ? name : name.sub(0, dot), "_0.png"));
}

// The atlas image's file name without its "-<size>.png" ending, or without
// its extension when it ends otherwise:
//   DejaVuSans-16.png at 16 => DejaVuSans,  atlas.png at 16 => atlas
Str face_name(StrView image_name, i32 size) {
  const u64 slash = image_name.find_last('/');
  const StrView name =
      slash == StrView::npos ? image_name : image_name.sub(slash + 1, StrView::npos);
  const Str ending = fmt("-", size, ".png");
  if (name.len > ending.len && name.ends_with(ending.view()))
    return Str(name.sub(0, name.len - ending.len));
  const u64 dot = name.find_last('.');
  return Str(dot == StrView::npos ? name : name.sub(0, dot));
}

void note(StrView message) {
  const Str line = fmt("glyphmint-font: ", message, "\n");
  std::fwrite(line.data, 1, line.len, stderr);
}

// The mapping from the .fnt: the bitmap sits inside its cell's one-pixel
// frame, and the line's top is the ascender above the baseline.
BmFont describe(const LoadedFont &loaded, bool grey_page, StrView page_name) {
  const gm_font &f = loaded.font;
  BmFont font;
  font.info.face = face_name(loaded.image_name(), f.size);
  font.info.size = f.size;
  // Neighbouring cells' frames lie between two bitmaps: two zero pixels.
  font.info.spacing[0] = 2;
  font.info.spacing[1] = 2;
  font.common.line_height = f.line_height;
  font.common.base = f.ascender;
  font.common.scale_w = loaded.atlas.width;
  font.common.scale_h = loaded.atlas.height;
  if (grey_page) {
    font.common.alpha_chnl = 4;
    font.common.red_chnl = font.common.green_chnl = font.common.blue_chnl = 0;
  }
  font.page = Str(page_name);
  font.chars.reserve(f.glyph_count);
  for (size_t i = 0; i < f.glyph_count; ++i) {
    const gm_glyph g = gm_font_glyph(&f, i);
    if (g.code < 0)
      throw Err(
          fmt(loaded.fnt_path, ": code point ", g.code, " is negative; no BMFont id holds it"));
    // Records are sorted by code point, so a repeat follows its first.
    if (!font.chars.empty() && font.chars.back().id == u32(g.code)) {
      if (i < 2 || gm_font_glyph(&f, i - 2).code != g.code)
        note(fmt(loaded.fnt_path, ": code point ", g.code,
                 " is baked more than once; exported once, from its first record"));
      continue;
    }
    BmChar c;
    c.id = u32(g.code);
    c.x = i64{g.x} + 1;
    c.y = i64{g.y} + 1;
    c.width = g.width;
    c.height = g.rows;
    c.xoffset = g.bearing_x;
    c.yoffset = i64{f.ascender} - g.bearing_y;
    c.xadvance = g.advance;
    font.chars.push_back(c);
  }
  return font;
}

[[noreturn]] void usage_error(StrView reason) {
  Str text(reason);
  ProgOpts::usage_error(text.null_terminate().data);
}

// White everywhere, the coverage in alpha: tinting and blending both work.
Bytes rgba_page(const GreyImage &atlas) {
  const u64 pixels = u64(atlas.width) * u64(atlas.height);
  std::vector<u8> rgba(pixels * 4, 255);
  for (u64 i = 0; i < pixels; ++i) rgba[i * 4 + 3] = atlas.pixels[i];
  return encode_png(rgba.data(), atlas.width, atlas.height, 4);
}

} // namespace

int run_export(i32 argc, const char *const *argv) {
  Str page_kind("rgba");
  ProgOpts::add(ProgOpts::ArgumentStr{
      "page", 0, "The page image: rgba (white, the glyphs in alpha; the default) or grey.",
      "rgba|grey", &page_kind, ProgOpts::Optional});
  Str font_file;
  ProgOpts::add(ProgOpts::ArgumentStr{"font", 0,
                                      "The font file the bake used: add its kerning pairs.",
                                      "FONTFILE", &font_file, ProgOpts::Optional});
  ProgOpts::set_synopsis(k_synopsis);
  StrView words[3];
  static const char *const names[] = {"FONT.fnt", "FORMAT", "OUT"};
  (void)ProgOpts::parse(argc, argv, words, names);
  BmForm form = BmForm::Text;
  if (!try_parse_bmfont_form(words[1], form))
    usage_error(fmt("Unknown format: ", words[1], " (text, xml, binary or json)"));
  if (page_kind.view() != "rgba" && page_kind.view() != "grey")
    usage_error(fmt("Unknown page: ", page_kind, " (rgba or grey)"));
  const bool grey_page = page_kind.view() == "grey";

  const LoadedFont loaded = LoadedFont::load(Path(words[0]));
  const Path out(words[2]);
  if (out.name().empty()) throw Err(fmt(out, ": names a directory, not a file"));
  const Path page = page_path(out);
  const Path font_path(font_file.view());
  const Input inputs[] = {{loaded.fnt_path, "the font being exported"},
                          {loaded.image_path, "the atlas of the font being exported"},
                          {font_path, "the font file given with --font"}};
  refuse_overwriting(ArrView<const Input>(inputs, 3), out);
  refuse_overwriting(ArrView<const Input>(inputs, 3), page);
  const Input descriptor_input[] = {{out, "the descriptor"}};
  refuse_overwriting(ArrView<const Input>(descriptor_input, 1), page);

  const BmFont font = describe(loaded, grey_page, page.name());
  const std::vector<KerningPair> pairs =
      font_file.empty() ? std::vector<KerningPair>() : kerning_pairs(font_path, loaded.font);
  Str descriptor;
  try {
    descriptor = bmfont_bytes(font, ArrView<const KerningPair>(pairs.data(), pairs.size()), form);
  } catch (const Err &e) {
    throw Err(
        fmt(out, ": cannot be written in the ", bmfont_form_name(form), " form: ", e.message));
  }
  const Bytes png =
      grey_page ? encode_png(loaded.atlas.pixels.get(), loaded.atlas.width, loaded.atlas.height, 1)
                : rgba_page(loaded.atlas);
  // Both are written before either is put in place, the page first: a
  // descriptor never names a page that is not there, and a failure leaves the
  // earlier pair as it was.
  const Output outputs[] = {
      {page, png.view()},
      {out, ArrView<const u8>(reinterpret_cast<const u8 *>(descriptor.data), descriptor.len)},
  };
  write_outputs(ArrView<const Output>(outputs, 2));
  return 0;
}
