// What a distance field costs beside a coverage bitmap, and how close it is to
// the true distance: the bundled example's code points (examples/fonts, 712)
// of Debian's DejaVu Sans at 48 pixels with spread 8 and at 32 with spread 4.
//
//   coverage   rasterise_glyph, the baker's load + render + copy
//   ours       FT_Load_Glyph + distance_field (tools/glyphmint/fields/distance-field.h)
//   FreeType   FT_Load_Glyph + FT_Render_Glyph(FT_RENDER_MODE_SDF), FreeType's
//              own sdf renderer; once, for it is slow (glyphs without an
//              outline are skipped: FreeType 2.12.1 mishandles them)
//   bake       one size baked whole in memory, coverage and with our fields:
//              rasterise, pack_glyphs, fill_atlas, PNG encode
//
// Times are processor time, the median over N repetitions (default 9), the
// coverage and our fields timed in turns; the ratio is the median of each
// repetition's ratio.
// Accuracy: ours and FreeType's against the true distance
// (tests/support/true-distance.h) over the pixels within 0.9 × spread of the
// edge: mean, 99th percentile and worst error in pixels.
//
//   distance_field [--reps N]
//
// The last line is for scripts: RESULT ratio_48=... (ours / coverage at 48/8).
#include "tools/glyphmint/fields/distance-field.h"
#include "bench/bench-support.h"
#include "bench/workload.h"
#include "core/log.h"
#include "shared/image.h"
#include "shared/png.h"
#include "shared/settings.h"
#include "tests/support/true-distance.h"
#include "tools/glyphmint/atlas/atlas.h"
#include "tools/glyphmint/glyphs/glyph.h"

#include FT_MODULE_H

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#ifndef EXAMPLE_SETTINGS
#error "the build defines EXAMPLE_SETTINGS, the bundled example's settings file"
#endif

namespace {
using bench::cpu_ms;
using bench::die;
using bench::median;

constexpr FT_Int32 k_load_flags = FT_LOAD_NO_HINTING | FT_LOAD_MONOCHROME;

template <typename Run> double time_ms(Run run) {
  const double start = cpu_ms();
  run();
  return cpu_ms() - start;
}

/// Two ways of doing one job, timed in turns: medians and the median ratio.
struct Paired {
  double first_ms = 0;
  double second_ms = 0;
  double ratio = 0; ///< second / first
};

// On a machine shared with other work the load drifts: timing the two in
// alternating order, repetition by repetition, lets the ratio see the same load.
template <typename First, typename Second>
Paired time_paired(int reps, First first, Second second) {
  std::vector<double> a, b, ratios;
  for (int rep = 0; rep < reps; ++rep) {
    if (rep % 2 == 0) {
      a.push_back(time_ms(first));
      b.push_back(time_ms(second));
    } else {
      b.push_back(time_ms(second));
      a.push_back(time_ms(first));
    }
    ratios.push_back(b.back() / a.back());
  }
  return {median(a), median(b), median(ratios)};
}

void load(FT_Face face, int code) {
  if (FT_Load_Glyph(face, glyph_index(face, code), k_load_flags) != 0)
    die("cannot load code point " + std::to_string(code));
}

DistanceField our_field(FT_Face face, int code, int spread) {
  load(face, code);
  DistanceField field;
  const FtFailure failure = distance_field(face->glyph, spread, field);
  if (failure.error != 0) die(std::string(failure.call) + " failed for " + std::to_string(code));
  return field;
}

bool has_outline(FT_Face face) {
  return face->glyph->outline.n_points > 0 &&
         distance_field_placement(face->glyph->outline, 1).width != 0;
}

// FreeType's field of the loaded glyph, and its box.
std::vector<u8> freetype_field(FT_Face face, support::PixelBox &box) {
  if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_SDF) != 0) die("FreeType's sdf render failed");
  const FT_Bitmap &b = face->glyph->bitmap;
  box = {face->glyph->bitmap_left, face->glyph->bitmap_top, int(b.width), int(b.rows)};
  std::vector<u8> out;
  for (unsigned r = 0; r < b.rows; ++r)
    out.insert(out.end(), b.buffer + long(r) * b.pitch, b.buffer + long(r) * b.pitch + b.width);
  return out;
}

// A size baked whole in memory from the glyphs `rasterise` makes; the PNG's bytes.
template <typename Rasterise>
u64 bake_in_memory(const std::vector<int> &codes, Rasterise rasterise) {
  List<RasterGlyph> glyphs;
  for (const int code : codes) glyphs.append(rasterise(code));
  const AtlasSize size = pack_glyphs(glyphs);
  return encode_png(fill_atlas(glyphs, size)).len;
}

void report_time(const char *what, double ms, size_t glyphs, double ratio) {
  std::printf("  %-30s %9.2f ms %9.2f us/glyph %8.2fx coverage\n", what, ms,
              1e3 * ms / double(glyphs), ratio);
}

void report_error(const char *what, const support::FieldError &e) {
  std::printf("  %-30s mean %.3f  p99 %.3f  worst %.3f px  (%zu pixels)\n", what, e.mean, e.p99,
              e.worst, e.pixels);
}

// Times and accuracy at one size and spread; returns ours / coverage.
double run(FontLibrary &fonts, FT_Face face, const std::vector<int> &codes, int size, int spread,
           int reps) {
  set_pixel_size(face, size);
  std::printf("\n%d px, spread %d: %zu code points\n", size, spread, codes.size());
  const Paired fields = time_paired(
      reps,
      [&] {
        for (const int code : codes) (void)rasterise_glyph(face, code);
      },
      [&] {
        for (const int code : codes) (void)our_field(face, code, spread);
      });
  if (FT_Property_Set(fonts.handle(), "sdf", "spread", &spread) != 0)
    die("FreeType has no sdf module");
  size_t outlined = 0;
  const double freetype = time_ms([&] {
    for (const int code : codes) {
      load(face, code);
      if (has_outline(face)) ++outlined, (void)FT_Render_Glyph(face->glyph, FT_RENDER_MODE_SDF);
    }
  });
  report_time("coverage (rasterise_glyph)", fields.first_ms, codes.size(), 1);
  report_time("ours (distance_field)", fields.second_ms, codes.size(), fields.ratio);
  report_time("FreeType sdf renderer", freetype, outlined, freetype / fields.first_ms);

  const Paired bakes = time_paired(
      reps,
      [&] { (void)bake_in_memory(codes, [&](int code) { return rasterise_glyph(face, code); }); },
      [&] {
        (void)bake_in_memory(codes, [&](int code) {
          return rasterise_glyph(face, code, {RenderMode::Sdf, spread});
        });
      });
  report_time("bake, coverage", bakes.first_ms, codes.size(), 1);
  report_time("bake, ours", bakes.second_ms, codes.size(), bakes.ratio);

  std::vector<double> our_errors, freetype_errors;
  for (const int code : codes) {
    const DistanceField field = our_field(face, code, spread);
    if (field.pixels.empty()) continue;
    const support::PixelBox box{field.bearing_x, field.bearing_y, int(field.width),
                                int(field.rows)};
    const std::vector<float> truth =
        support::true_distances(fonts.handle(), face->glyph->outline, box);
    if (truth.empty()) die("FreeType cannot render code point " + std::to_string(code));
    support::gather_errors(field.pixels, box, truth, box, spread, our_errors);
    support::PixelBox freetype_box;
    const std::vector<u8> theirs = freetype_field(face, freetype_box);
    support::gather_errors(theirs, freetype_box, truth, box, spread, freetype_errors);
  }
  report_error("ours against the truth", support::summarise(our_errors));
  report_error("FreeType's against the truth", support::summarise(freetype_errors));
  return fields.ratio;
}

} // namespace

int main(int argc, char **argv) {
  const int reps = bench::reps_option(argc, argv, "distance_field", 9);
  log_set_level(LogLevel::Critical);

  const Glyphmint settings = read_settings(Path(EXAMPLE_SETTINGS));
  std::vector<int> codes;
  for (const CharRange &range : settings.ranges)
    for (i64 code = range.first; code <= range.last; ++code) codes.push_back(int(code));
  for (const int code : settings.chars) codes.push_back(code);

  FontLibrary fonts;
  reuse_freed_image_memory(); // as the programs do
  require_started(fonts);
  const FT_Face face = get_face(fonts, Path(workload::k_font));
  std::printf("distance fields of %s, the example's code points; median of %d\n", workload::k_font,
              reps);
  const double ratio_48 = run(fonts, face, codes, 48, 8, reps);
  const double ratio_32 = run(fonts, face, codes, 32, 4, reps);
  std::printf("\nRESULT ratio_48=%.2f ratio_32=%.2f\n", ratio_48, ratio_32);
  return 0;
}
