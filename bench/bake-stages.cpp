// Where a bake's time goes: runs the standard workload (workload.h) through
// the tool's own stage functions, the ones a size job strings together, and
// times each stage separately.
//
//   bake_stages [--reps N] [--whole-ms MS]
//
// Each figure is processor time, the median over N repetitions (default 10)
// of one whole bake's total for that stage. With --whole-ms, the processor
// time of the whole glyphmint process on the same bake (bake_whole's cpu
// median), the rest is shown as time outside the stages.
#include "bench/bench-support.h"
#include "bench/workload.h"
#include "core/log.h"
#include "shared/image.h"
#include "shared/png.h"
#include "shared/settings.h"
#include "tools/glyphmint/atlas/atlas.h"
#include "tools/glyphmint/atlas/fnt-file.h"
#include "tools/glyphmint/bake/bake.h"
#include "tools/glyphmint/glyphs/glyph.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
using bench::cpu_ms;
using bench::median;

using bench::die;

double ms_since(double start) {
  return cpu_ms() - start;
}

void copy_file(const std::string &from, const std::string &to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  out << in.rdbuf();
  if (!in || !out.flush()) die("cannot copy " + from + " to " + to);
}

std::string std_string(const Path &path) {
  return {path.view().data, path.view().len};
}

enum Stage {
  Settings,
  FaceAndSize,
  Rasterise,
  Pack,
  Fill,
  Encode,
  FontFile,
  Write,
  Release,
  StageCount
};

const char *const k_stage_names[StageCount] = {
    "settings (read_settings)",
    "face lookup + set_pixel_size",
    "rasterise (rasterise_glyph)",
    "pack (pack_glyphs)",
    "atlas fill (fill_atlas)",
    "PNG encode (encode_png)",
    "font file (Fnt::build + encode)",
    "write both (write_size_files)",
    "release (glyph list)",
};

} // namespace

int main(int argc, char **argv) {
  int reps = 10;
  double whole_ms = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--reps" && i + 1 < argc)
      reps = std::atoi(argv[++i]);
    else if (arg == "--whole-ms" && i + 1 < argc)
      whole_ms = std::atof(argv[++i]);
    else {
      std::printf("usage: bake_stages [--reps N] [--whole-ms MS]\n");
      return arg == "--help" ? 0 : 2;
    }
  }
  if (reps < 1) die("--reps needs a positive number");

  // The stage functions log "Atlas size" and "Image written"; keep them quiet.
  log_set_level(LogLevel::Critical);

  char tmpl[] = "/tmp/glyphmint-stages-XXXXXX";
  if (!mkdtemp(tmpl)) die("cannot make a work directory under /tmp");
  const std::string work = tmpl;
  const std::string font_copy = work + "/" + workload::k_font_name;
  const std::string settings_path = work + "/" + workload::k_settings_name;
  copy_file(workload::k_font, font_copy);
  {
    std::ofstream out(settings_path, std::ios::binary);
    out << workload::settings_text();
    if (!out.flush()) die("cannot write " + settings_path);
  }

  std::vector<double> samples[StageCount];
  double font_open_ms = 0;
  u64 glyphs_per_bake = 0, png_bytes = 0;

  FontLibrary fonts;
  reuse_freed_image_memory(); // as the programs do
  require_started(fonts);
  for (int rep = 0; rep < reps; ++rep) {
    double t[StageCount] = {};
    double start = cpu_ms();
    const Glyphmint settings = read_settings(Path(settings_path.c_str()));
    t[Settings] = ms_since(start);

    if (rep == 0) {
      // The first get_face opens the font; later ones are cache hits.
      start = cpu_ms();
      (void)get_face(fonts, settings.font);
      font_open_ms = ms_since(start);
    }

    glyphs_per_bake = 0;
    png_bytes = 0;
    for (const int size : settings.sizes) {
      const BakeOutputs out = bake_outputs(settings.font, size);

      start = cpu_ms();
      const FT_Face face = get_face(fonts, settings.font);
      set_pixel_size(face, size);
      t[FaceAndSize] += ms_since(start);

      // The same order as a size job: ranges in order, every code point once.
      start = cpu_ms();
      auto *glyphs = new List<RasterGlyph>;
      const GlyphStyle style{settings.render, settings.spread};
      CellBudget budget;
      for (const CharRange &range : settings.ranges)
        for (i64 code = range.first; code <= range.last; ++code)
          glyphs->append(rasterise_glyph(face, static_cast<int>(code), style, &budget));
      for (const int code : settings.chars)
        glyphs->append(rasterise_glyph(face, code, style, &budget));
      t[Rasterise] += ms_since(start);
      glyphs_per_bake += glyphs->count;

      start = cpu_ms();
      const AtlasSize atlas_size = pack_glyphs(*glyphs);
      t[Pack] += ms_since(start);

      start = cpu_ms();
      const Image atlas = fill_atlas(*glyphs, atlas_size, atlas_channels(settings.render));
      t[Fill] += ms_since(start);

      start = cpu_ms();
      SizeFiles files;
      files.png = encode_png(atlas, {1, {}, {}});
      t[Encode] += ms_since(start);
      png_bytes += files.png.len;

      start = cpu_ms();
      files.fnt =
          Fnt::build(out.image, size_metrics(face), size, settings, *glyphs).encode(out.fnt);
      t[FontFile] += ms_since(start);

      start = cpu_ms();
      write_size_files(out, files);
      t[Write] += ms_since(start);

      start = cpu_ms();
      delete glyphs;
      t[Release] += ms_since(start);

      std::remove(std_string(out.image).c_str());
      std::remove(std_string(out.fnt).c_str());
    }
    for (int s = 0; s < StageCount; ++s) samples[s].push_back(t[s]);
  }

  double total = font_open_ms;
  double medians[StageCount];
  for (int s = 0; s < StageCount; ++s) total += medians[s] = median(samples[s]);

  std::printf("stages of one bake: %llu glyphs over %zu sizes, %llu PNG bytes; median of %d\n",
              static_cast<unsigned long long>(glyphs_per_bake), std::size(workload::k_sizes),
              static_cast<unsigned long long>(png_bytes), reps);
  // The first repetition runs with cold caches and fresh memory, as a
  // one-shot glyphmint process does; the median is the steady state.
  double first_total = font_open_ms;
  for (int s = 0; s < StageCount; ++s) first_total += samples[s][0];
  std::printf("  %-34s %9s %7s %9s\n", "stage", "ms", "share", "first ms");
  std::printf("  %-34s %9.2f %6.1f%% %9.2f\n", "font open (FT_New_Face, once)", font_open_ms,
              100 * font_open_ms / total, font_open_ms);
  for (int s = 0; s < StageCount; ++s)
    std::printf("  %-34s %9.2f %6.1f%% %9.2f\n", k_stage_names[s], medians[s],
                100 * medians[s] / total, samples[s][0]);
  std::printf("  %-34s %9.2f %7s %9.2f\n", "sum of the stages", total, "", first_total);
  if (whole_ms > 0) {
    std::printf("  %-34s %9.2f\n", "whole process (bake_whole cpu)", whole_ms);
    std::printf("  %-34s %9.2f\n", "whole process minus the stages", whole_ms - total);
    std::printf("    (process start and exit, dynamic loading, FreeType init, the walk,\n"
                "     logging, and the cold caches the steady-state median does not see)\n");
  }

  std::remove(settings_path.c_str());
  std::remove(font_copy.c_str());
  rmdir(work.c_str());
  return 0;
}
