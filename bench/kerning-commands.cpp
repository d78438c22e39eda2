// What kerning costs glyphmint-font's commands on big bakes, each timed as a
// whole process of the release binary:
//   export --font  of whole-font bakes: Noto Sans CJK (face 0 of Debian's
//                  fonts-noto-cjk, every code point it maps) at 10 pixels, and
//                  DejaVu Sans, Liberation Sans and FreeSerif at 16, with the
//                  number of pairs each descriptor carries;
//   render --font  of a six-character text with the whole CJK bake and with
//                  a bake of the same font holding only 101 code points: the
//                  render shapes its text's neighbours, so the two differ by
//                  what opening the bigger bake costs (its .fnt and atlas).
// A missing font is reported and its rows are skipped. Figures are wall
// time and the child's processor time, medians over N runs (default 3).
//
//   kerning_commands [--reps N] [--font-tool EXE]
//
// --font-tool times another glyphmint-font build (an earlier one, say).
// The last line is for scripts:
//   RESULT cjk_export_ms=... cjk_render_ms=... small_render_ms=... <font>_pairs=...
#include "bench/bench-support.h"
#include "bench/font-ranges.h"
#include "core/log.h"
#include "glyphmint/fnt.h"
#include "tools/glyphmint/bake/bake.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifndef GLYPHMINT_FONT_EXE
#error "the build defines GLYPHMINT_FONT_EXE, the glyphmint-font binary"
#endif

extern char **environ;

namespace {

using bench::die;
using bench::read_file;
using bench::Timing;
using bench::write_file;

std::string font_tool = GLYPHMINT_FONT_EXE;

const char k_cjk[] = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc";
// Kanji, hiragana and katakana, each in face 0 (Japanese) of the collection.
const char k_text[] = "漢字かなカナ";
const char k_text_codes[] = "28450, 23383, 12363, 12394, 12459, 12490";

struct WholeFont {
  const char *name;
  const char *path;
  const char *key; ///< for the RESULT line
};
const WholeFont k_whole_fonts[] = {
    {"DejaVu Sans", "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "dejavu"},
    {"Liberation Sans", "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
     "liberation"},
    {"FreeSerif", "/usr/share/fonts/truetype/freefont/FreeSerif.ttf", "freeserif"},
};

bool exists(const std::string &path) {
  return access(path.c_str(), R_OK) == 0;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Runs glyphmint-font with these arguments, output discarded.
Timing run_font_tool(const std::vector<std::string> &args) {
  std::vector<std::string> all = {font_tool};
  all.insert(all.end(), args.begin(), args.end());
  return bench::run_timed(all);
}

Timing median_run(const std::vector<std::string> &args, int reps) {
  std::vector<double> wall, cpu;
  for (int rep = 0; rep < reps; ++rep) {
    const Timing t = run_font_tool(args);
    wall.push_back(t.wall_ms);
    cpu.push_back(t.cpu_ms);
  }
  return {median(wall), median(cpu)};
}

// Bakes `font` (copied into work as <base>.<ext>) at `size` with these ranges
// and chars; returns the .fnt's path.
std::string bake(FontLibrary &fonts, const std::string &work, const std::string &font,
                 const std::string &base, int size, const std::string &ranges,
                 const std::string &chars) {
  const std::string ext = font.substr(font.rfind('.'));
  write_file(work + "/" + base + ext, read_file(font));
  const std::string settings = work + "/" + base + ".glyphmint.ini";
  write_file(settings, "path = " + base + ext + "\nsizes = [" + std::to_string(size) +
                           "]\nranges = [" + ranges + "]\nchars = [" + chars + "]\n");
  bake_settings_file(fonts, Path(settings.c_str()));
  return work + "/" + base + "-" + std::to_string(size) + ".fnt";
}

size_t count_kerning_lines(const std::string &descriptor) {
  const std::string text = read_file(descriptor);
  size_t n = 0;
  for (size_t at = 0; (at = text.find("\nkerning ", at)) != std::string::npos; ++at) ++n;
  return n;
}

// The CJK rows: the whole bake's export and render, and the small bake's
// render; their figures are added to `result`.
void print_cjk_rows(FontLibrary &fonts, const std::string &work, int reps, std::string &result) {
  if (!exists(k_cjk)) {
    std::printf("  (no %s: install fonts-noto-cjk)\n", k_cjk);
    return;
  }
  const std::string ranges = workload::mapped_ranges(k_cjk);
  const std::string whole = bake(fonts, work, k_cjk, "NotoSansCJK", 10, ranges, "");
  const std::string small =
      bake(fonts, work, k_cjk, "NotoSansCJKSmall", 10, "32-126", k_text_codes);
  const Timing exported = median_run(
      {"export", "--font", work + "/NotoSansCJK.ttc", whole, "text", work + "/cjk.bmfont.fnt"},
      reps);
  const size_t pairs = count_kerning_lines(work + "/cjk.bmfont.fnt");
  gm_font parsed{};
  const std::string bytes = read_file(whole);
  if (gm_font_parse(&parsed, bytes.data(), bytes.size(), nullptr) != GM_OK)
    die(whole + " is not a valid .fnt");
  std::printf("  %-34s %11zu %8zu %10.0f %10.0f\n", "export, Noto Sans CJK at 10",
              size_t(parsed.glyph_count), pairs, exported.wall_ms, exported.cpu_ms);
  const Timing rendered = median_run(
      {"render", "--font", work + "/NotoSansCJK.ttc", whole, k_text, work + "/cjk.png"}, reps);
  std::printf("  %-34s %11zu %8s %10.0f %10.0f\n", "render of 6 characters, same bake",
              size_t(parsed.glyph_count), "", rendered.wall_ms, rendered.cpu_ms);
  const Timing rendered_small = median_run(
      {"render", "--font", work + "/NotoSansCJKSmall.ttc", small, k_text, work + "/cjk-small.png"},
      reps);
  std::printf("  %-34s %11d %8s %10.0f %10.0f\n", "render of 6 characters, small bake", 101, "",
              rendered_small.wall_ms, rendered_small.cpu_ms);
  char figures[160];
  std::snprintf(figures, sizeof figures,
                " cjk_export_ms=%.0f cjk_pairs=%zu cjk_render_ms=%.0f small_render_ms=%.0f",
                exported.wall_ms, pairs, rendered.wall_ms, rendered_small.wall_ms);
  result += figures;
}

// Export of each whole font at 16 pixels; the pair counts are added to `result`.
void print_whole_font_rows(FontLibrary &fonts, const std::string &work, int reps,
                           std::string &result) {
  for (const WholeFont &f : k_whole_fonts) {
    if (!exists(f.path)) {
      std::printf("  (no %s)\n", f.path);
      continue;
    }
    const std::string base = std::string(f.key) + "-whole";
    const std::string fnt =
        bake(fonts, work, f.path, base, 16, workload::mapped_ranges(f.path), "");
    const std::string font_copy = work + "/" + base + ".ttf";
    const Timing exported =
        median_run({"export", "--font", font_copy, fnt, "text", work + "/out.bmfont.fnt"}, reps);
    const size_t pairs = count_kerning_lines(work + "/out.bmfont.fnt");
    const std::string label = std::string("export, ") + f.name + " at 16";
    std::printf("  %-34s %11s %8zu %10.0f %10.0f\n", label.c_str(), "whole font", pairs,
                exported.wall_ms, exported.cpu_ms);
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about
    // "literal" + std::string temporaries.
    result += ' ';
    result += f.key;
    result += "_pairs=";
    result += std::to_string(pairs);
  }
}

} // namespace

int main(int argc, char **argv) {
  int reps = 3;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--reps" && i + 1 < argc)
      reps = std::atoi(argv[++i]);
    else if (arg == "--font-tool" && i + 1 < argc)
      font_tool = argv[++i];
    else {
      std::printf("usage: kerning_commands [--reps N] [--font-tool EXE]\n");
      return arg == "--help" ? 0 : 2;
    }
  }
  if (reps < 1) die("--reps needs a positive number");
  log_set_level(LogLevel::Critical);
  char tmpl[] = "/tmp/glyphmint-kerning-commands-XXXXXX";
  if (!mkdtemp(tmpl)) die("cannot make a work directory under /tmp");
  const std::string work = tmpl;
  FontLibrary fonts;
  std::string result = "RESULT";

  std::printf("glyphmint-font with --font, wall and processor time, median of %d\n", reps);
  std::printf("  %-34s %11s %8s %10s %10s\n", "command and bake", "code points", "pairs", "wall ms",
              "cpu ms");
  print_cjk_rows(fonts, work, reps, result);
  print_whole_font_rows(fonts, work, reps, result);
  std::printf("%s\n", result.c_str());
  std::filesystem::remove_all(work);
  return 0;
}
