// What shaping adds to a bake: the whole character sets of Noto Sans Arabic
// and Noto Sans Devanagari at 32 pixels, baked with shaped = true beside the
// same code points without it, each the glyphmint binary start to exit.
// The shaped bake also finds HarfBuzz's substitution closure and rasterises
// the glyphs it adds (the contextual forms, ligatures and conjuncts), so it
// does more work by construction; the figure is how much.
//
// Runs are paired, the order inside a pair alternating, and the ratio
// reported is the median of the per-pair ratios of processor time (user +
// system, every thread), which a shared machine's load moves least.
//
//   shaped_bake [--reps N]     (default 5 pairs per font)
//
// Devanagari's shaped bake holds three and a half times the glyphs (its
// conjuncts, half forms and reph), which HarfBuzz's own closure also gives,
// so its ratio is the larger.
//
// The last line is for scripts: RESULT arabic_ratio=... devanagari_ratio=... both_ratio=...
#include "bench/bench-support.h"

#define GM_FNT_LOAD_FILE
#include "glyphmint/fnt.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

#ifndef GLYPHMINT_EXE
#error "the build defines GLYPHMINT_EXE, the baker to time whole"
#endif

namespace {
using bench::die;
using bench::median;

constexpr int k_size = 32;

// Every code point the font's character map has.
std::string chars_of(const std::string &font) {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, font.c_str(), 0, &face) != 0)
    die("FreeType cannot open " + font);
  std::string chars;
  FT_UInt index = 0;
  for (FT_ULong code = FT_Get_First_Char(face, &index); index != 0;
       code = FT_Get_Next_Char(face, code, &index))
    chars += (chars.empty() ? "" : ", ") + std::to_string(code);
  FT_Done_Face(face);
  FT_Done_FreeType(library);
  return chars;
}

// The records of the bake in `dir`: its code points' and all of them.
std::pair<size_t, size_t> records(const std::string &dir) {
  size_t length = 0;
  void *bytes = gm_load_file((dir + "/font-32.fnt").c_str(), &length);
  gm_font font{};
  if (bytes == nullptr || gm_font_parse(&font, bytes, length, nullptr) != GM_OK)
    die("cannot read the bake in " + dir);
  const std::pair<size_t, size_t> counts(font.glyph_count, font.record_count);
  std::free(bytes);
  return counts;
}

struct Figures {
  double plain_ms, shaped_ms, ratio;
};

Figures pair_up(const std::string &font, const std::string &name, int reps) {
  char dir_template[] = "/tmp/shaped-bake-XXXXXX";
  if (mkdtemp(dir_template) == nullptr) die("cannot make a scratch directory");
  const std::string root = dir_template, dirs[] = {root + "/plain", root + "/shaped"};
  const std::string settings = "path = font.ttf\nsizes = [" + std::to_string(k_size) +
                               "]\nranges = []\nchars = [" + chars_of(font) + "]\n";
  for (int k = 0; k < 2; ++k) {
    if (mkdir(dirs[k].c_str(), 0755) != 0) die("cannot make " + dirs[k]);
    bench::write_file(dirs[k] + "/font.ttf", bench::read_file(font));
    bench::write_file(dirs[k] + "/font.glyphmint.ini", settings + (k ? "shaped = true\n" : ""));
  }
  std::vector<double> ms[2], ratios;
  for (int r = 0; r < reps; ++r) {
    double pair[2];
    for (int step = 0; step < 2; ++step) {
      const int k = (r + step) % 2;
      pair[k] = bench::run_timed({GLYPHMINT_EXE, "--dir", dirs[k]}).cpu_ms;
      ms[k].push_back(pair[k]);
    }
    ratios.push_back(pair[1] / pair[0]);
  }
  const auto [codes, plain_records] = records(dirs[0]);
  const size_t shaped_records = records(dirs[1]).second;
  std::printf("  %-11s %5zu code points, %5zu glyphs shaped (+%zu)%s\n", name.c_str(), codes,
              shaped_records, shaped_records - plain_records,
              plain_records == codes ? "" : " (the plain bake is shaped?)");
  std::printf("  %-11s plain %8.1f ms  shaped %8.1f ms  ratio %.2f (median of %d pairs)\n", "",
              median(ms[0]), median(ms[1]), median(ratios), reps);
  if (std::system(("rm -rf " + root).c_str()) != 0) die("cannot remove " + root);
  return {median(ms[0]), median(ms[1]), median(ratios)};
}

} // namespace

int main(int argc, char **argv) {
  const int reps = bench::reps_option(argc, argv, "shaped_bake", 5);
  std::printf("Whole character sets at %d px, coverage, processor time (user+sys):\n", k_size);
  const Figures arabic =
      pair_up("/usr/share/fonts/truetype/noto/NotoSansArabic-Regular.ttf", "Arabic", reps);
  const Figures devanagari =
      pair_up("/usr/share/fonts/truetype/noto/NotoSansDevanagari-Regular.ttf", "Devanagari", reps);
  const double both =
      (arabic.shaped_ms + devanagari.shaped_ms) / (arabic.plain_ms + devanagari.plain_ms);
  std::printf("  %-11s ratio %.2f (the two fonts' medians summed)\n", "both", both);
  std::printf("\nRESULT arabic_ratio=%.2f devanagari_ratio=%.2f both_ratio=%.2f\n", arabic.ratio,
              devanagari.ratio, both);
  return 0;
}
