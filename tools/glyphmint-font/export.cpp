// glyphmint-font export: a baked font in the BMFont forms that game engines
// and web loaders read, with its page images beside the descriptor.
#include "tools/glyphmint-font/commands.h"

#include "core/fmt.h"
#include "core/prog-opts.h"
#include "tools/glyphmint-font/cli/given-paths.h"
#include "tools/glyphmint-font/export/c-source.h"
#include "tools/glyphmint-font/export/engines.h"
#include "tools/glyphmint-font/export/export-writer.h"

#include <string>
#include <utility>

namespace {

const char k_synopsis[] =
    "Usage: glyphmint-font export [--page rgba|grey] [--font FONTFILE] [--padding P]\n"
    "                             [--spacing S] [--page-size W[xH]] FONT.fnt FORMAT OUT\n"
    "       glyphmint-font export --engine NAME [--font FONTFILE] [--padding P]\n"
    "                             [--spacing S] [--page-size W[xH]] FONT.fnt OUT\n"
    "       glyphmint-font export [--name NAME] FONT.fnt c OUT.h\n"
    "\n"
    "Writes a baked font as an AngelCode BMFont descriptor, the form most game\n"
    "engines and web text renderers load, and its page images beside OUT, named\n"
    "after OUT's file name up to its last dot and the page's number:\n"
    "out/Serif-16.bmfont.fnt gives out/Serif-16.bmfont_0.png (past 10 pages the\n"
    "numbers are zero-padded: _00, _01, ...).\n"
    "\n"
    "FORMAT:\n"
    "  text    the text form (.fnt), one line per record\n"
    "  xml     the XML form\n"
    "  binary  the binary form, version 3 (16-bit fields: a value that does not\n"
    "          fit is an error)\n"
    "  json    the JSON form of the same structure (load-bmfont, parse-bmfont-*)\n"
    "  c       one C header to compile the font in (below); no page\n"
    "\n"
    "The page is white with the glyphs' coverage in alpha (8-bit RGBA), which is\n"
    "what engines blend with; --page grey writes the atlas's own greyscale\n"
    "pixels instead, and the channel fields say which. A multi-channel distance\n"
    "field (fieldType msdf or mtsdf) or a colour font is its own page, RGB or RGBA\n"
    "as baked, every channel holding glyph data; a field's page is linear data,\n"
    "for sampling without sRGB or mipmaps. The face is the atlas image's name\n"
    "without its \"-<size>.png\" ending (without just its extension when it ends\n"
    "otherwise). A code point baked twice is written once, from its first record.\n"
    "\n"
    "Without --padding, --spacing and --page-size the page is the atlas, its\n"
    "frames making spacing 2,2. With any of them, the glyphs are packed anew, in\n"
    "code point order, on the smallest page of 256x256, 256x512, 512x512, ...,\n"
    "2048x4096 that holds them, or else on as many 2048x4096 pages as they take\n"
    "(a note says how many). --padding N or UP,RIGHT,DOWN,LEFT (0 to 64) puts\n"
    "transparent pixels around each bitmap, inside its char's rectangle, for a\n"
    "shader's outline or shadow: xoffset and yoffset move by the left and up\n"
    "padding, so the glyph is drawn where it was. --spacing N or H,V (0 to 64)\n"
    "keeps the rectangles that far apart and from the page's edges, against\n"
    "bleeding under filtering and mipmaps. The info line's padding and spacing\n"
    "say what was given (a distance field's padding adds its spread).\n"
    "\n"
    "--page-size W or WxH (powers of two from 64 to 4096; H is W when not given)\n"
    "packs the glyphs anew, in code point order, on pages of at most WxH, as\n"
    "engines that take small textures need: on the smallest page of the series\n"
    "above, each size capped at WxH, when one holds them all, else onto page 0\n"
    "until a glyph does not fit, then onto page 1, and so on, every page WxH.\n"
    "Without --padding and --spacing the glyphs keep spacing 2,2.\n"
    "\n"
    "Give --font, the font file the bake used (the .fnt does not name it), whenever\n"
    "you have it: each xadvance is then the font's advance at the baked size to the\n"
    "nearest pixel, where the .fnt keeps it rounded down (text set too tight), and\n"
    "the descriptor carries the kerning pairs among the baked code points, read\n"
    "through HarfBuzz from the font's GPOS and kern tables; without it, it carries\n"
    "none. A font file that is not the bake's (a code point it maps has another\n"
    "advance) is an error. Pairs with a combining mark are left out: shaping places\n"
    "a mark on its letter, which a pair, moving every glyph after it, cannot do.\n"
    "Compose text (NFC) where the font has the composed letters.\n"
    "\n"
    "The c form is a header that a C99 or C++ program includes to have the font\n"
    "without loading a file: NAME_fnt, the .fnt's bytes, and NAME_atlas, the\n"
    "atlas's 8-bit pixels row by row, as static const unsigned char arrays, and\n"
    "their sizes NAME_fnt_size, NAME_atlas_width and NAME_atlas_height (and\n"
    "NAME_atlas_channels, the bytes a pixel, for an RGB or RGBA atlas) as enum\n"
    "constants; read it with glyphmint/fnt.h as its comment shows. The bytes are\n"
    "in decimal, 2 to 4 bytes of source each: DejaVu Sans at 16 px (a 25 KiB\n"
    ".fnt, a 512x512 atlas) makes 668 KB. A .fnt over 2147483647 bytes is refused.\n"
    "NAME is a C identifier that C and C++ do not reserve: a letter, then letters,\n"
    "digits and single _ between them. By default it is OUT's file name up to its\n"
    "first dot with each run of other characters than ASCII letters and digits\n"
    "made one _ (none at either end), font_ before a leading digit, font when\n"
    "nothing is left: DejaVuSans-16.h gives DejaVuSans_16, 16px.h font_16px. The\n"
    "page options and --font do not apply.\n"
    "\n"
    "--engine NAME writes what that engine loads, choosing the form (so FORMAT is\n"
    "left out) and, for an engine that draws from one texture, laying glyphs out\n"
    "anew on one page of its largest texture; what it cannot load is refused\n"
    "before anything is written: more pages than it takes, a distance field it\n"
    "cannot draw, --page grey. The engines, as verified by loading exports:\n"
    "\n"
    "%ENGINES%"
    "\n"
    "OUT and the pages never replace FONT.fnt or its atlas, and must be regular\n"
    "files where they exist (not a directory, a device or a FIFO). All are\n"
    "written whole under temporary names before any takes its own, so a\n"
    "failed export leaves any earlier OUT and pages as they were.\n";

// What an option takes, said when its value is missing or malformed.
const char k_padding_error[] = "--padding takes N or UP,RIGHT,DOWN,LEFT, integers from 0 to 64.";
const char k_spacing_error[] = "--spacing takes N or H,V, integers from 0 to 64.";
// NAME_fnt and the rest follow the name, so one ending in _ would make __.
const char k_name_error[] = "--name takes a C identifier that C and C++ do not reserve: a "
                            "letter, then letters, digits or single _ between them.";

[[noreturn]] void usage_error(StrView reason) {
  Str text(reason);
  ProgOpts::usage_error(text.null_terminate().data);
}

// Options kept as lists say whether they were given; the last one counts.
struct GivenOptions {
  List<Str> page, padding, spacing, page_size, name, engine;
  Str font_file;
};

const Str *last(const List<Str> &given) {
  return given.empty() ? nullptr : &given.last->value;
}

void take_bmfont_options(const GivenOptions &given, ExportOptions &options) {
  if (!given.name.empty()) usage_error("--name applies to the c form only.");
  if (const Str *page = last(given.page)) {
    if (page->view() != "rgba" && page->view() != "grey")
      usage_error(fmt("Unknown page: ", *page, " (rgba or grey)"));
    if (page->view() == "grey") options.page = BmPage::Grey;
  }
  if (const Str *size = last(given.page_size)) {
    AtlasSize page_size;
    if (!try_parse_page_size(*size, page_size))
      usage_error("--page-size takes W or WxH, powers of two from 64 to 4096.");
    options.page_size = page_size;
  }
  if (given.padding.empty() && given.spacing.empty()) return;
  GlyphRoom room;
  if (const Str *padding = last(given.padding);
      padding && !try_parse_glyph_room(*padding, room.padding))
    usage_error(k_padding_error);
  if (const Str *spacing = last(given.spacing);
      spacing && !try_parse_glyph_room(*spacing, room.spacing))
    usage_error(k_spacing_error);
  options.room = room;
}

void take_c_options(const GivenOptions &given, ExportOptions &options) {
  const std::pair<const char *, bool> page_options[] = {
      {"page", !given.page.empty()},
      {"padding", !given.padding.empty()},
      {"spacing", !given.spacing.empty()},
      {"page-size", !given.page_size.empty()},
      {"font", ProgOpts::given(&given.font_file)}};
  for (const auto &[option, is_given] : page_options)
    if (is_given) usage_error(fmt("--", StrView(option), " does not apply to the c form."));
  const Str *name = last(given.name);
  options.c_name = name ? std::string(name->data, name->len) : default_c_name(options.out);
  if (!is_unreserved_c_name(options.c_name)) usage_error(k_name_error);
}

// The synopsis with the engine table in its place.
const char *synopsis() {
  static const std::string text = [] {
    std::string s = k_synopsis;
    const std::string marker = "%ENGINES%";
    return s.replace(s.find(marker), marker.size(), engine_table());
  }();
  return text.c_str();
}

// The engine given, if any, with the words checked against the synopsis it
// takes: FORMAT and OUT without it, OUT alone with it.
const Engine *take_engine(const GivenOptions &given, StrView (&words)[3], u64 count) {
  static const char *const names[] = {"FONT.fnt", "FORMAT", "OUT"};
  const Str *name = last(given.engine);
  if (!name) {
    if (count < 3) usage_error(fmt("Missing argument: ", StrView(names[count])));
    return nullptr;
  }
  const Engine *engine = find_engine(name->view());
  if (!engine)
    usage_error(fmt("Unknown engine: ", *name, " (", StrView(engine_names().c_str()), ")"));
  if (count == 3) usage_error("--engine chooses the form: give FONT.fnt and OUT, no FORMAT.");
  if (count < 2) usage_error(fmt("Missing argument: ", StrView(names[count == 0 ? 0 : 2])));
  // The engine's form is chosen once the font is loaded.
  words[2] = words[1];
  words[1] = "text";
  return engine;
}

ExportOptions parse_options(i32 argc, const char *const *argv) {
  GivenOptions given;
  ProgOpts::add(ProgOpts::ArgumentStrList{
      "page", 0, "The page image: rgba (white, the glyphs in alpha; the default) or grey.",
      "rgba|grey", &given.page, ProgOpts::Optional});
  ProgOpts::add(ProgOpts::ArgumentStr{"font", 0,
                                      "The font file the bake used: add its kerning pairs.",
                                      "FONTFILE", &given.font_file, ProgOpts::Optional});
  ProgOpts::add(ProgOpts::ArgumentStrList{"padding", 0,
                                          "Pixels around each glyph: N or UP,RIGHT,DOWN,LEFT.", "P",
                                          &given.padding, ProgOpts::Optional});
  ProgOpts::add(ProgOpts::ArgumentStrList{"spacing", 0, "Pixels between glyphs: N or H,V.", "S",
                                          &given.spacing, ProgOpts::Optional});
  ProgOpts::add(ProgOpts::ArgumentStrList{"page-size", 0,
                                          "The largest page: W or WxH, powers of two.", "W[xH]",
                                          &given.page_size, ProgOpts::Optional});
  ProgOpts::add(ProgOpts::ArgumentStrList{"name", 0, "The c form's C name.", "NAME", &given.name,
                                          ProgOpts::Optional});
  ProgOpts::add(ProgOpts::ArgumentStrList{"engine", 0,
                                          "The engine to write for: its form and its limits.",
                                          "NAME", &given.engine, ProgOpts::Optional});
  ProgOpts::set_value_error(&given.page, "--page takes rgba or grey.");
  ProgOpts::set_value_error(&given.font_file, "--font takes the font file the bake used.");
  ProgOpts::set_value_error(&given.padding, k_padding_error);
  ProgOpts::set_value_error(&given.spacing, k_spacing_error);
  ProgOpts::set_value_error(&given.name, k_name_error);
  ProgOpts::set_synopsis(synopsis());
  StrView words[3];
  const u64 count = ProgOpts::parse(argc, argv, words);
  ExportOptions options;
  options.engine = take_engine(given, words, count);
  options.c_form = words[1] == "c";
  if (!options.c_form && !try_parse_bmfont_form(words[1], options.form))
    usage_error(fmt("Unknown format: ", words[1], " (text, xml, binary, json or c)"));
  options.fnt = given_path(words[0], "FONT.fnt");
  options.out = given_path(words[2], "OUT");
  if (is_standard_stream(words[2]))
    throw Err("-: is standard output, which cannot take the two files of an export; name a "
              "file (./- for one called -)");
  if (ProgOpts::given(&given.font_file))
    options.font_file = given_path(given.font_file.view(), "--font");
  if (options.c_form)
    take_c_options(given, options);
  else
    take_bmfont_options(given, options);
  return options;
}

} // namespace

int run_export(i32 argc, const char *const *argv) {
  ExportOptions options = parse_options(argc, argv);
  LoadedFont loaded = LoadedFont::load(options.fnt);
  if (options.engine) fit_to_engine(*options.engine, loaded, options);
  write_export(loaded, options);
  return 0;
}
