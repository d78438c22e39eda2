// glyphmint-font charset: the "ranges" and "chars" settings lines for the
// requested code points a font has. "Has" is the baker's own test, FreeType's
// FT_Get_Char_Index on face 0 with its default character map, so pasted lines
// never stop a bake on a missing glyph.
#include "tools/glyphmint-font/commands.h"

#include "core/fmt.h"
#include "core/prog-opts.h"
#include "tools/glyphmint-font/code-points.h"
#include "shared/font-face.h"
#include "glyphmint/fnt.h"
#include "shared/code-point-lists.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char *const k_synopsis =
    "Usage: glyphmint-font charset --font FONTFILE [--text FILE]... [--ranges LIST]... [--all]\n"
    "                              [--strict]\n"
    "\n"
    "Prints the settings lines \"ranges = [...]\" and \"chars = [...]\" for the requested code\n"
    "points that the font has. Requested are the characters of the text files (UTF-8; line\n"
    "feeds, carriage returns and tabs left out), the ranges (settings grammar, such as\n"
    "[32-126, 880-1023]) and, with --all, every code point the font maps to a glyph. Those the\n"
    "font lacks are listed on standard error; the status stays 0 unless --strict.\n";

/// Code points the texts or the font's map contributed, one flag per code point.
using CodePointFlags = std::vector<bool>;

CodePointSet from_flags(const CodePointFlags &flags) {
  CodePointSet set;
  for (u32 c = 0; c <= k_last_code_point; ++c)
    if (flags[c]) set.add(c, c);
  return set;
}

std::string c_path(StrView path) {
  return std::string(path.data != nullptr ? path.data : "", path.len);
}

// Read with stdio rather than Path::read_bytes, which gives nothing for a
// pipe: --text <(generate-texts) must see the text.
std::string read_text_file(StrView path) {
  std::FILE *file = std::fopen(c_path(path).c_str(), "rb");
  if (file == nullptr)
    throw Err(fmt(path, ": cannot be opened (", StrView(std::strerror(errno)), ")"));
  std::string bytes;
  char chunk[65536];
  for (;;) {
    const size_t got = std::fread(chunk, 1, sizeof chunk, file);
    bytes.append(chunk, got);
    if (got < sizeof chunk) break;
  }
  const int error = std::ferror(file) ? errno : 0;
  std::fclose(file);
  if (error != 0) throw Err(fmt(path, ": cannot be read (", StrView(std::strerror(error)), ")"));
  return bytes;
}

void add_text(StrView path, const std::string &bytes, CodePointFlags &requested) {
  size_t offset = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  while (offset < bytes.size()) {
    u32 c = 0;
    const size_t at = offset;
    if (!gm_utf8_decode(bytes.data(), bytes.size(), &offset, &c))
      throw Err(
          fmt(path, ": ", StrView(gm_error_text(GM_ERR_INVALID_UTF8)), " (offset ", u64{at}, ")"));
    if (c != '\n' && c != '\r' && c != '\t') requested[c] = true;
  }
}

void add_ranges(StrView text, CodePointSet &requested) {
  List<CharRange> ranges;
  if (!StrParser<List<CharRange>>::try_parse(text, ranges))
    throw Err(fmt("--ranges ", text, ": not a list of ranges such as [32-126, 880-1023]"));
  for (const CharRange &r : ranges) {
    // The grammar gives no negative first; an empty range is skipped as the baker does.
    if (r.first < 0 || r.first > r.last) continue;
    requested.add(u32(r.first), u32(r.last));
  }
}

/// Every code point the font's character map maps to a glyph; values beyond
/// U+10FFFF are no code points and are left out.
void add_mapped(FT_Face font, CodePointFlags &flags) {
  FT_UInt index = 0;
  for (FT_ULong c = FT_Get_First_Char(font, &index); index != 0;
       c = FT_Get_Next_Char(font, c, &index))
    if (c <= k_last_code_point && has_glyph(font, static_cast<i64>(c))) flags[c] = true;
}

/// The requested code points split into those the font has and those it lacks.
struct Split {
  CodePointSet present;
  CodePointSet missing;
};

Split split_by_font(const CodePointSet &requested, FT_Face font) {
  Split split;
  for (const CodePointRun &r : requested.runs) {
    for (u64 c = r.first; c <= std::min(r.last, k_last_code_point); ++c)
      (has_glyph(font, static_cast<i64>(c)) ? split.present : split.missing).add(u32(c), u32(c));
    if (r.last > k_last_code_point)
      split.missing.add(std::max(r.first, k_last_code_point + 1), r.last);
  }
  return split;
}

void write_stdout(StrView text) {
  if (std::fwrite(text.data, 1, text.len, stdout) != text.len || std::fflush(stdout) != 0)
    throw Err("standard output: cannot be written");
}

} // namespace

int run_charset(i32 argc, const char *const *argv) {
  Str font_path;
  List<Str> texts;
  List<Str> ranges;
  bool all = false;
  bool strict = false;
  ProgOpts::set_synopsis(k_synopsis);
  ProgOpts::add(ProgOpts::ArgumentStr{"font", 'f', "The font file (its first face).", "FONTFILE",
                                      &font_path, ProgOpts::Required});
  ProgOpts::add(ProgOpts::ArgumentStrList{
      "text", 't', "A UTF-8 text whose characters are requested; repeatable.", "FILE", &texts,
      ProgOpts::Optional});
  ProgOpts::add(ProgOpts::ArgumentStrList{"ranges", 'r',
                                          "Code point ranges such as [32-126]; repeatable.", "LIST",
                                          &ranges, ProgOpts::Optional});
  ProgOpts::add(ProgOpts::Flag{"all", 'a', "Request every code point the font has.", &all});
  ProgOpts::add(ProgOpts::Flag{"strict", 's', "Exit 1 when the font lacks one.", &strict});
  (void)ProgOpts::parse(argc, argv, ArrView<StrView>());
  if (texts.empty() && ranges.empty() && !all)
    ProgOpts::usage_error("Nothing requested: give --text, --ranges or --all.");

  CodePointSet requested;
  for (const Str &r : ranges) add_ranges(r, requested);
  CodePointFlags flags(k_last_code_point + 1);
  for (const Str &path : texts) add_text(path, read_text_file(path), flags);
  FontLibrary fonts;
  FT_Face font = nullptr;
  if (const FT_Error error = fonts.open(Path(font_path), font))
    throw Err(fmt(font_path, ": cannot be opened as a font (FreeType error ", int(error), ")"));
  if (all) add_mapped(font, flags);
  requested.unite(from_flags(flags));

  const Split split = split_by_font(requested, font);
  Str note;
  if (!split.missing.empty()) {
    const u64 n = split.missing.count();
    note = fmt(font_path.view(), " lacks ", n, " requested code point", StrView(n == 1 ? "" : "s"),
               ": ", code_point_runs_text(split.missing));
    if (strict) throw Err(static_cast<Str &&>(note));
  }
  write_stdout(settings_lines(split.present));
  if (!note.empty()) {
    // A note, not an error: the lines above are complete and correct.
    StrBuilder line;
    fmt(line, "glyphmint-font: ", note, "\n");
    std::fwrite(line.data, 1, line.len, stderr);
  }
  return 0;
}
