// glyphmint-font export: a baked font in the BMFont forms that game engines
// and web loaders read, with its one page image beside the descriptor.
#include "tools/glyphmint-font/commands.h"

#include "core/fmt.h"
#include "core/prog-opts.h"
#include "tools/glyphmint-font/baked-to-bmfont.h"
#include "tools/glyphmint-font/console.h"
#include "tools/glyphmint-font/given-paths.h"
#include "tools/glyphmint-font/kerning.h"
#include "tools/glyphmint-font/output.h"

#include <vector>

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
    "a baked code point) is an error.\n"
    "\n"
    "OUT and the page never replace FONT.fnt or its atlas, and must be regular\n"
    "files where they exist (not a directory, a device or a FIFO). Both are\n"
    "written whole under temporary names before either takes its own, so a\n"
    "failed export leaves any earlier OUT and page as they were.\n";

[[noreturn]] void usage_error(StrView reason) {
  Str text(reason);
  ProgOpts::usage_error(text.null_terminate().data);
}

struct ExportOptions {
  Path fnt;
  BmForm form = BmForm::Text;
  Path out;
  BmPage page = BmPage::Rgba;
  Path font_file; ///< empty without --font
};

ExportOptions parse_options(i32 argc, const char *const *argv) {
  Str page("rgba");
  ProgOpts::add(ProgOpts::ArgumentStr{
      "page", 0, "The page image: rgba (white, the glyphs in alpha; the default) or grey.",
      "rgba|grey", &page, ProgOpts::Optional});
  Str font_file;
  ProgOpts::add(ProgOpts::ArgumentStr{"font", 0,
                                      "The font file the bake used: add its kerning pairs.",
                                      "FONTFILE", &font_file, ProgOpts::Optional});
  ProgOpts::set_synopsis(k_synopsis);
  StrView words[3];
  static const char *const names[] = {"FONT.fnt", "FORMAT", "OUT"};
  (void)ProgOpts::parse(argc, argv, words, names);
  ExportOptions options;
  if (!try_parse_bmfont_form(words[1], options.form))
    usage_error(fmt("Unknown format: ", words[1], " (text, xml, binary or json)"));
  if (page.view() != "rgba" && page.view() != "grey")
    usage_error(fmt("Unknown page: ", page, " (rgba or grey)"));
  if (page.view() == "grey") options.page = BmPage::Grey;
  options.fnt = given_path(words[0], "FONT.fnt");
  options.out = given_path(words[2], "OUT");
  if (is_standard_stream(words[2]))
    throw Err("-: is standard output, which cannot take the two files of an export; name a "
              "file (./- for one called -)");
  if (ProgOpts::given(&font_file)) options.font_file = given_path(font_file.view(), "--font");
  return options;
}

// Both files are regular files, replaced whole; neither may replace an input
// of the export, nor the page the descriptor.
void check_outputs(const LoadedFont &loaded, const ExportOptions &options, const Path &page) {
  require_short_path(options.out);
  require_short_path(page);
  refuse_non_regular(options.out);
  refuse_non_regular(page);
  const Input inputs[] = {{loaded.fnt_path, "the font being exported"},
                          {loaded.image_path, "the atlas of the font being exported"},
                          {options.font_file, "the font file given with --font"}};
  refuse_overwriting(ArrView<const Input>(inputs, 3), options.out);
  refuse_overwriting(ArrView<const Input>(inputs, 3), page);
  const Input descriptor_input[] = {{options.out, "the descriptor"}};
  refuse_overwriting(ArrView<const Input>(descriptor_input, 1), page);
}

Str descriptor_bytes(const BmFont &font, const std::vector<KerningPair> &pairs,
                     const ExportOptions &options) {
  try {
    return bmfont_bytes(font, ArrView<const KerningPair>(pairs.data(), pairs.size()), options.form);
  } catch (const Err &e) {
    throw Err(fmt(options.out, ": cannot be written in the ", bmfont_form_name(options.form),
                  " form: ", e.message));
  }
}

} // namespace

int run_export(i32 argc, const char *const *argv) {
  const ExportOptions options = parse_options(argc, argv);
  const LoadedFont loaded = LoadedFont::load(options.fnt);
  if (options.out.name().empty()) throw Err(fmt(options.out, ": names a directory, not a file"));
  const Path page = bmfont_page_path(options.out);
  check_outputs(loaded, options, page);

  const BakedAsBmFont baked = describe_as_bmfont(loaded, options.page, page.name());
  for (const u32 code : baked.duplicates)
    print_message(fmt(loaded.fnt_path, ": code point ", code,
                      " is baked more than once; exported once, from its first record"));
  std::vector<KerningPair> pairs;
  if (!options.font_file.empty()) pairs = kerning_pairs(options.font_file, loaded.font);
  const Str descriptor = descriptor_bytes(baked.font, pairs, options);
  const Bytes png = bmfont_page_png(loaded.atlas, options.page);
  // Both are written before either is put in place, the page first: a
  // descriptor never names a page that is not there, and a failure leaves the
  // earlier pair as it was.
  const Output outputs[] = {
      {page, png.view()},
      {options.out,
       ArrView<const u8>(reinterpret_cast<const u8 *>(descriptor.data), descriptor.len)},
  };
  write_outputs(ArrView<const Output>(outputs, 2));
  return 0;
}
