// What kerning costs an export: kerning_pairs, the whole call (opening the
// font, reading its tables, shaping the candidate pairs), on two bakes of
// DejaVu Sans at 16 pixels made by the tool's own bake:
//   example     the bundled example's code points (examples/fonts);
//   whole font  every code point the font maps.
// Beside it the plain way, shaping every ordered pair with HarfBuzz, which
// must find the same pairs (the run stops otherwise): on the example set
// always, on the whole font only with --every-pair-whole (it takes seconds).
//
//   kerning_pairs [--reps N] [--every-pair-whole]
//
// Figures are processor time, the median over N repetitions (default 5),
// with the first repetition (cold caches) beside it. The last line is for
// scripts:
//   RESULT example_ms=... example_pairs=... whole_ms=... whole_pairs=...
#include "bench/bench-support.h"
#include "bench/font-ranges.h"
#include "bench/workload.h"
#include "core/log.h"
#include "tests/support/every-pair.h"
#include "tools/glyphmint-font/kerning/kerning.h"
#include "tools/glyphmint/bake/bake.h"

#include <hb.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

#ifndef EXAMPLE_SETTINGS
#error "the build defines EXAMPLE_SETTINGS, the bundled example's settings file"
#endif

namespace {
using bench::cpu_ms;
using bench::median;

using bench::die;
using bench::read_file;
using bench::write_file;

constexpr int k_size = 16;

// A baked .fnt read back; font points into bytes.
struct Bake {
  std::string name;
  std::string bytes;
  gm_font font{};
  std::vector<u32> codes;
};

Bake load(const std::string &name, const std::string &fnt) {
  Bake bake;
  bake.name = name;
  bake.bytes = read_file(fnt);
  if (gm_font_parse(&bake.font, bake.bytes.data(), bake.bytes.size(), nullptr) != GM_OK)
    die(fnt + " is not a valid .fnt");
  for (size_t i = 0; i < bake.font.glyph_count; ++i) {
    const u32 code = u32(gm_font_glyph(&bake.font, i).code);
    if (bake.codes.empty() || bake.codes.back() != code) bake.codes.push_back(code);
  }
  return bake;
}

using oracle::Amounts;

// The plain way: HarfBuzz on every ordered pair of code points but marks.
Amounts every_pair(const std::string &font_path, const std::vector<u32> &codes) {
  Amounts out;
  if (!oracle::shape_every_pair(font_path, k_size, codes, out))
    die("HarfBuzz cannot read " + font_path);
  return out;
}

struct Timed {
  double median_ms = 0;
  double first_ms = 0;
  size_t pairs = 0;
  Amounts amounts;
};

Timed time_kerning(const std::string &font, const Bake &bake, int reps) {
  Timed t;
  std::vector<double> samples;
  for (int rep = 0; rep < reps; ++rep) {
    const double start = cpu_ms();
    const std::vector<KerningPair> pairs = kerning_pairs(Path(font.c_str()), bake.font);
    samples.push_back(cpu_ms() - start);
    if (rep == 0) {
      t.pairs = pairs.size();
      for (const KerningPair &p : pairs) t.amounts.emplace_back(p.first, p.second, p.amount);
    }
  }
  t.first_ms = samples[0];
  t.median_ms = median(samples);
  return t;
}

void check_equal(const Bake &bake, const Amounts &narrowed, const Amounts &every) {
  if (narrowed == every) return;
  die(bake.name + ": kerning_pairs found " + std::to_string(narrowed.size()) +
      " pairs, shaping every pair " + std::to_string(every.size()) + ": no fair comparison");
}

} // namespace

int main(int argc, char **argv) {
  int reps = 5;
  bool every_pair_whole = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--reps" && i + 1 < argc)
      reps = std::atoi(argv[++i]);
    else if (arg == "--every-pair-whole")
      every_pair_whole = true;
    else {
      std::printf("usage: kerning_pairs [--reps N] [--every-pair-whole]\n");
      return arg == "--help" ? 0 : 2;
    }
  }
  if (reps < 1) die("--reps needs a positive number");
  log_set_level(LogLevel::Critical);

  char tmpl[] = "/tmp/glyphmint-kerning-XXXXXX";
  if (!mkdtemp(tmpl)) die("cannot make a work directory under /tmp");
  const std::string work = tmpl;
  const std::string font = work + "/" + workload::k_font_name;
  write_file(font, read_file(workload::k_font));
  // The example's own settings (its sizes include 16), and the whole font at 16.
  const std::string example_settings = work + "/Example.glyphmint.ini";
  const std::string whole_settings = work + "/Whole.glyphmint.ini";
  write_file(example_settings, read_file(EXAMPLE_SETTINGS));
  write_file(whole_settings, "path = DejaVuSans.ttf\nsizes = [" + std::to_string(k_size) +
                                 "]\nranges = [" + workload::mapped_ranges(font) +
                                 "]\nchars = []\n");
  const std::string fnt = work + "/DejaVuSans-" + std::to_string(k_size) + ".fnt";
  FontLibrary fonts;
  bake_settings_file(fonts, Path(example_settings.c_str()));
  const Bake example = load("example", fnt);
  bake_settings_file(fonts, Path(whole_settings.c_str()));
  const Bake whole = load("whole font", fnt);

  const Timed example_t = time_kerning(font, example, reps);
  const Timed whole_t = time_kerning(font, whole, reps);

  double start = cpu_ms();
  const Amounts example_every = every_pair(font, example.codes);
  const double example_every_ms = cpu_ms() - start;
  check_equal(example, example_t.amounts, example_every);
  double whole_every_ms = 0;
  if (every_pair_whole) {
    start = cpu_ms();
    const Amounts whole_every = every_pair(font, whole.codes);
    whole_every_ms = cpu_ms() - start;
    check_equal(whole, whole_t.amounts, whole_every);
  }

  auto ordered = [](size_t n) { return double(n) * double(n); };
  std::printf("kerning_pairs on DejaVu Sans at %d px, processor time, median of %d\n", k_size,
              reps);
  std::printf("  %-12s %11s %14s %8s %10s %10s\n", "set", "code points", "ordered pairs", "kerned",
              "ms", "first ms");
  for (const auto &[bake, t] : {std::pair{&example, &example_t}, std::pair{&whole, &whole_t}})
    std::printf("  %-12s %11zu %14.0f %8zu %10.1f %10.1f\n", bake->name.c_str(), bake->codes.size(),
                ordered(bake->codes.size()), t->pairs, t->median_ms, t->first_ms);
  std::printf("shaping every ordered pair instead (same pairs found):\n");
  std::printf("  %-12s %10.1f ms  %.2f us a pair  %.0fx kerning_pairs\n", "example",
              example_every_ms, 1e3 * example_every_ms / ordered(example.codes.size()),
              example_every_ms / example_t.median_ms);
  if (every_pair_whole)
    std::printf("  %-12s %10.1f ms  %.2f us a pair  %.0fx kerning_pairs\n", "whole font",
                whole_every_ms, 1e3 * whole_every_ms / ordered(whole.codes.size()),
                whole_every_ms / whole_t.median_ms);
  std::printf("RESULT example_ms=%.1f example_pairs=%zu whole_ms=%.1f whole_pairs=%zu\n",
              example_t.median_ms, example_t.pairs, whole_t.median_ms, whole_t.pairs);

  for (const std::string &f : {fnt, work + "/DejaVuSans-24.fnt", work + "/DejaVuSans-32.fnt"}) {
    std::remove(f.c_str());
    std::remove((f.substr(0, f.size() - 4) + ".png").c_str());
  }
  for (const std::string &f : {font, example_settings, whole_settings}) std::remove(f.c_str());
  rmdir(work.c_str());
  return 0;
}
