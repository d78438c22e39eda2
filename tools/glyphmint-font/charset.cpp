// glyphmint-font charset: the "ranges" and "chars" settings lines for the
// requested code points a font has. "Has" is the baker's own test, FreeType's
// FT_Get_Char_Index on face 0 with its default character map, so pasted lines
// never stop a bake on a missing glyph.
#include "tools/glyphmint-font/commands.h"

#include "core/fmt.h"
#include "core/prog-opts.h"
#include "tools/glyphmint-font/charset/code-points.h"
#include "tools/glyphmint-font/charset/font-coverage.h"
#include "tools/glyphmint-font/charset/text-code-points.h"
#include "tools/glyphmint-font/cli/console.h"
#include "tools/glyphmint-font/cli/font-file.h"
#include "tools/glyphmint-font/cli/given-paths.h"

namespace {

const char *const k_synopsis =
    "Usage: glyphmint-font charset --font FONTFILE [--text FILE]... [--ranges LIST]... [--all]\n"
    "                              [--strict]\n"
    "\n"
    "Prints the settings lines \"ranges = [...]\" and \"chars = [...]\" for the requested code\n"
    "points that the font has. Requested are the characters of the text files (UTF-8; line\n"
    "feeds, carriage returns and tabs left out), the ranges (settings grammar, such as\n"
    "[32-126, 880-1023]) and, with --all, every code point the font maps to a glyph. A text\n"
    "file of - is standard input. Those the font lacks are listed on standard error; the status\n"
    "stays 0 unless --strict.\n";

struct CharsetOptions {
  Str font_path;
  List<Str> texts;
  List<Str> ranges;
  bool all = false;
  bool strict = false;
};

void parse_options(i32 argc, const char *const *argv, CharsetOptions &o) {
  ProgOpts::set_synopsis(k_synopsis);
  ProgOpts::add(ProgOpts::ArgumentStr{"font", 'f', "The font file (its first face).", "FONTFILE",
                                      &o.font_path, ProgOpts::Required});
  ProgOpts::add(ProgOpts::ArgumentStrList{
      "text", 't', "A UTF-8 text whose characters are requested; repeatable.", "FILE", &o.texts,
      ProgOpts::Optional});
  ProgOpts::add(ProgOpts::ArgumentStrList{"ranges", 'r',
                                          "Code point ranges such as [32-126]; repeatable.", "LIST",
                                          &o.ranges, ProgOpts::Optional});
  ProgOpts::set_value_error(&o.font_path, "--font takes a font file.");
  ProgOpts::set_value_error(&o.texts, "--text takes a UTF-8 text file, or - for standard input.");
  ProgOpts::set_value_error(&o.ranges, "--ranges takes a list such as [32-126, 880-1023].");
  ProgOpts::add(ProgOpts::Flag{"all", 'a', "Request every code point the font has.", &o.all});
  ProgOpts::add(ProgOpts::Flag{"strict", 's', "Exit 1 when the font lacks one.", &o.strict});
  (void)ProgOpts::parse(argc, argv, ArrView<StrView>());
  if (o.texts.empty() && o.ranges.empty() && !o.all)
    ProgOpts::usage_error("Nothing requested: give --text, --ranges or --all.");
}

// The ranges and the texts, read before the font so that their faults come first.
CodePointSet listed_code_points(const CharsetOptions &o) {
  CodePointSet requested;
  for (const Str &list : o.ranges)
    if (!try_add_code_point_ranges(list, requested))
      throw Err(fmt("--ranges ", list, ": not a list of ranges such as [32-126, 880-1023]"));
  for (const Str &path : o.texts)
    requested.unite(text_file_code_points(given_path(path.view(), "--text").view()));
  return requested;
}

} // namespace

int run_charset(i32 argc, const char *const *argv) {
  CharsetOptions options;
  parse_options(argc, argv, options);
  CodePointSet requested = listed_code_points(options);
  FontLibrary fonts;
  const FT_Face font = open_font_file(fonts, given_path(options.font_path.view(), "--font"));
  if (options.all) requested.unite(mapped_code_points(font));

  const CodePointSplit split = split_by_font(requested, font);
  Str note;
  if (!split.missing.empty()) {
    const u64 n = split.missing.count();
    note = fmt(options.font_path, " lacks ", n, " requested code point", StrView(n == 1 ? "" : "s"),
               ": ", code_point_runs_text(split.missing));
    if (options.strict) throw Err(static_cast<Str &&>(note));
  }
  print_output(settings_lines(split.present));
  // A note, not an error: the lines above are complete and correct.
  if (!note.empty()) print_message(note);
  return 0;
}
