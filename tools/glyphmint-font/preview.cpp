// glyphmint-font preview: one self-contained HTML page that shows a baked
// font, its atlas with every glyph's box, and any text drawn with it.
#include "tools/glyphmint-font/commands.h"

#include "core/fmt.h"
#include "core/prog-opts.h"
#include "tools/glyphmint-font/baked/glyph-suppliers.h"
#include "tools/glyphmint-font/baked/loaded-font.h"
#include "tools/glyphmint-font/cli/given-paths.h"
#include "tools/glyphmint-font/cli/output.h"
#include "tools/glyphmint-font/kerning/font-advances.h"
#include "tools/glyphmint-font/kerning/kerning.h"
#include "tools/glyphmint-font/preview/page-html.h"
#include "tools/glyphmint-font/preview/sample-text.h"
#include "tools/glyphmint-font/shaping/shaped-text.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

const char k_help[] =
    "Usage: glyphmint-font preview [--font FONTFILE] [--text TEXT] FONT.fnt OUT.html\n"
    "\n"
    "Writes OUT.html, one page that shows a baked font in any web browser, offline:\n"
    "the atlas, the records, the script and the styles are all inside it, and it\n"
    "asks for nothing else. It shows what info prints; the atlas at a chosen zoom\n"
    "with a box around every glyph, whose record (code point, character, cell,\n"
    "size, bearings, advance) pointing at or clicking it shows; and an editable\n"
    "sample text drawn with the baked glyphs at a scale of 1 to 16, the characters\n"
    "the font lacks listed beside it. The sample is drawn as render draws it, pixel\n"
    "for pixel: coverage as blocks, a distance field from its field (a multi-channel\n"
    "one by the median of its three), colour composited into RGBA.\n"
    "\n"
    "--text TEXT (UTF-8) is the sample; by default the pangrams (Latin, Greek,\n"
    "Cyrillic) the font has every character of, or else some of its characters.\n"
    "With --font, the font file the bake used, the sample takes the font's advances\n"
    "to the nearest pixel and its kerning pairs, as render --font draws it; for a\n"
    "shaped bake, the sample the page is made with is drawn shaped, as render --font\n"
    "draws it, and any other text, typed or from the fragment, one glyph per code\n"
    "point, with a note saying so (the page has no shaper of its own).\n"
    "\n"
    "The page also reads the address's fragment, #text=T&scale=N, T percent-encoded\n"
    "UTF-8 (as encodeURIComponent writes it): it draws T into <canvas id=\"sample\">\n"
    "white on black, one canvas pixel per image pixel, the same image that\n"
    "render FONT.fnt T OUT.png --scale N writes, and then sets the body's\n"
    "data-ready attribute to 1, for scripts and tests.\n"
    "\n"
    "Nothing is written when TEXT is not valid UTF-8, or when OUT.html names\n"
    "FONT.fnt, its atlas or FONTFILE or an existing file that is not a regular one.\n"
    "The page is written whole under a temporary name first, so a failure leaves\n"
    "an earlier OUT.html as it was. An OUT.html of - writes the page to standard\n"
    "output (not to a terminal).\n";

struct PreviewOptions {
  Path fnt;
  Path out; ///< empty for standard output
  Path font_file;
  std::optional<std::string> text;
};

PreviewOptions parse_options(i32 argc, const char *const *argv) {
  Str font_file, text;
  ProgOpts::add(ProgOpts::ArgumentStr{"font", 0,
                                      "The font file the bake used: kern with its pairs.",
                                      "FONTFILE", &font_file, ProgOpts::Optional});
  ProgOpts::add(ProgOpts::ArgumentStr{"text", 0, "The sample text (UTF-8).", "TEXT", &text,
                                      ProgOpts::Optional});
  ProgOpts::set_synopsis(k_help);
  StrView words[2];
  static const char *const names[] = {"FONT.fnt", "OUT.html"};
  (void)ProgOpts::parse(argc, argv, words, names);
  PreviewOptions options;
  options.fnt = given_path(words[0], "FONT.fnt");
  if (!is_standard_stream(words[1])) options.out = given_path(words[1], "OUT.html");
  if (ProgOpts::given(&font_file)) options.font_file = given_path(font_file.view(), "--font");
  if (ProgOpts::given(&text)) options.text = std::string(text.data, text.len);
  return options;
}

void check_text(std::string_view text) {
  size_t at = 0;
  u32 c = 0;
  while (at < text.size())
    if (!gm_utf8_decode(text.data(), text.size(), &at, &c))
      throw Err(fmt("the text is not valid UTF-8 (at byte ", u64(at), ")"));
}

void check_output(const PreviewOptions &options, const LoadedFont &loaded) {
  if (options.out.empty()) return;
  if (options.out.name().empty()) throw Err(fmt(options.out, ": names a directory, not a file"));
  require_short_path(options.out);
  refuse_non_regular(options.out);
  const Input inputs[] = {{loaded.fnt_path, "the font being previewed"},
                          {loaded.image_path, "the atlas of the font being previewed"},
                          {options.font_file, "the font file given with --font"}};
  refuse_overwriting(ArrView<const Input>(inputs, 3), options.out);
}

// The sample as render --font draws it; none when it holds code points the
// bake lacks, which the page lists as it lays the text out itself.
std::optional<TextLayout> shaped_sample(const LoadedFont &loaded, const Path &font_file,
                                        std::string_view sample) {
  LineShaper shaper(font_file, loaded.font);
  TextLayout layout = lay_out_shaped_text(loaded, shaper, sample);
  if (!layout.missing.empty()) return std::nullopt;
  return layout;
}

} // namespace

int run_preview(i32 argc, const char *const *argv) {
  const PreviewOptions options = parse_options(argc, argv);
  if (options.text) check_text(*options.text);
  LoadedFont loaded = LoadedFont::load(options.fnt);
  check_output(options, loaded);
  // Advances and pairs as render and export take them from the font file.
  std::optional<std::vector<KerningPair>> pairs;
  std::optional<TextLayout> shaped;
  const std::string sample = options.text ? *options.text : default_sample_text(loaded.font);
  if (!options.font_file.empty()) {
    take_font_advances(loaded, options.font_file);
    pairs = kerning_pairs(options.font_file, loaded.font,
                          glyph_suppliers(loaded).fallback_codes(loaded.font));
    if (loaded.font.shaped) shaped = shaped_sample(loaded, options.font_file, sample);
  }
  const std::string page =
      preview_page(loaded, pairs ? &*pairs : nullptr, sample, shaped ? &*shaped : nullptr);
  const ArrView<const u8> bytes(reinterpret_cast<const u8 *>(page.data()), page.size());
  if (options.out.empty())
    write_standard_output(bytes);
  else
    write_output(options.out, bytes);
  return 0;
}
