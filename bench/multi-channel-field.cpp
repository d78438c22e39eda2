// The multi-channel distance field beside the single-channel one: how each
// draws its glyphs at 8 times (tests/support/reconstruction.h) over DejaVu
// Sans and Serif, Basic Latin and Latin-1, at 24 px with spread 4 and 48 px
// with spread 8, then at the small sizes (12 px, spread 3; 16 px, spread 4;
// 20 px, spread 2) in a table beside the published generator's mean IoU
// (msdfgen 1.5, as measured when the small sizes were reported to fall
// behind it), and what each costs beside a coverage bitmap on the bundled
// example's code points at 48 px with spread 8.
//
//   corners    mismatched area within 2 pixels of the outline's corners,
//              summed over the set (px²); the ratio is multi / single
//   artefacts  mismatched output pixels more than a pixel from the outline
//   IoU        mean over the glyphs of drawn ∩ true / drawn ∪ true
//   per length mismatched area over outline length (px)
//   straight   mean error of the distance beside straight edges (px)
//   time       a size baked whole in memory (rasterise, pack, fill, encode)
//              in each mode; processor time, medians of N repetitions
//              (default 5), the modes in turns
//
//   multi_channel_field [--reps N]
//
// The last line is for scripts: RESULT ratio_48=... (msdf / coverage bake).
#include "tools/glyphmint/fields/multi-channel-field.h"
#include "bench/bench-support.h"
#include "core/log.h"
#include "shared/image.h"
#include "shared/png.h"
#include "shared/settings.h"
#include "tests/support/reconstruction.h"
#include "tools/glyphmint/atlas/atlas.h"
#include "tools/glyphmint/glyphs/glyph.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifndef EXAMPLE_SETTINGS
#error "the build defines EXAMPLE_SETTINGS, the bundled example's settings file"
#endif

namespace {
using bench::cpu_ms;
using bench::die;
using bench::median;

constexpr FT_Int32 k_load_flags = FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP;

void load(FT_Face face, int code) {
  if (FT_Load_Glyph(face, glyph_index(face, code), k_load_flags) != 0)
    die("cannot load code point " + std::to_string(code));
}

/// A set's figures for one kind of field.
struct Totals {
  double corners = 0, mismatch = 0, length = 0, iou = 0, straight = 0;
  int artefacts = 0, glyphs = 0, straight_samples = 0;
  void add(const support::Accuracy &a) {
    corners += a.corner_mismatch, mismatch += a.mismatch, length += a.length, iou += a.iou;
    straight += a.straight_error, straight_samples += a.straight_samples;
    artefacts += a.artefacts, ++glyphs;
  }
  void print(const char *what) const {
    std::printf("  %-8s corners %8.2f  artefacts %4d  IoU %.4f  per length %.4f  straight %.4f\n",
                what, corners, artefacts, iou / glyphs, mismatch / length,
                straight / straight_samples);
  }
};

/// The multi-channel field's figures for a font at a size.
Totals accuracy(FontLibrary &fonts, const char *path, int size, int spread) {
  const FT_Face face = get_face(fonts, Path(path));
  set_pixel_size(face, size);
  Totals single, multi;
  std::string worst;
  for (int code = 32; code <= 255; ++code) {
    if (code > 126 && code < 160) continue;
    load(face, code);
    const FT_Outline &outline = face->glyph->outline;
    DistanceField sdf;
    MultiChannelField msdf;
    if (distance_field(outline, spread, sdf).error != 0 ||
        multi_channel_field(outline, spread, false, msdf).error != 0)
      die("no field for " + std::to_string(code));
    if (sdf.pixels.empty()) continue;
    const support::PixelBox box{sdf.bearing_x, sdf.bearing_y, int(sdf.width), int(sdf.rows)};
    const std::vector<support::Accuracy> both = support::measure(
        fonts.handle(), outline,
        {{sdf.pixels.data(), 1, box, spread}, {msdf.image.pixels.get(), 3, box, spread}});
    const support::Accuracy &a = both[1];
    single.add(both[0]);
    multi.add(a);
    char note[32];
    std::snprintf(note, sizeof note, " %d:%d", code, a.artefacts);
    if (a.artefacts > 0) worst += note;
  }
  std::printf("\n%s, %d px, spread %d: %d glyphs\n", path, size, spread, single.glyphs);
  single.print("single");
  multi.print("multi");
  std::printf("  corner ratio %.3f%s%s\n", multi.corners / single.corners,
              worst.empty() ? "" : "; artefacts at", worst.c_str());
  return multi;
}

/// A small size, and msdfgen 1.5's mean IoU there for DejaVu Sans and Serif.
struct SmallSize {
  int size, spread;
  double reference[2];
};
constexpr SmallSize k_small_sizes[] = {
    {12, 3, {0.840, 0.724}}, {16, 4, {0.938, 0.868}}, {20, 2, {0.971, 0.943}}};

void small_sizes(FontLibrary &fonts, const char *const (&paths)[2]) {
  Totals totals[3][2];
  for (size_t s = 0; s < 3; ++s)
    for (size_t f = 0; f < 2; ++f)
      totals[s][f] = accuracy(fonts, paths[f], k_small_sizes[s].size, k_small_sizes[s].spread);
  std::printf("\nSmall sizes, multi-channel (Sans / Serif): mean IoU, ours and msdfgen 1.5's;\n"
              "mismatched area per length and straight-edge error, ours\n");
  for (size_t s = 0; s < 3; ++s) {
    const Totals &sans = totals[s][0], &serif = totals[s][1];
    std::printf("  %2d px, spread %d  IoU %.3f / %.3f  (msdfgen %.3f / %.3f)  per length %.4f / "
                "%.4f  straight %.4f / %.4f\n",
                k_small_sizes[s].size, k_small_sizes[s].spread, sans.iou / sans.glyphs,
                serif.iou / serif.glyphs, k_small_sizes[s].reference[0],
                k_small_sizes[s].reference[1], sans.mismatch / sans.length,
                serif.mismatch / serif.length, sans.straight / sans.straight_samples,
                serif.straight / serif.straight_samples);
  }
}

template <typename Run> double time_ms(Run run) {
  const double start = cpu_ms();
  run();
  return cpu_ms() - start;
}

// A size baked whole in memory in a mode: rasterise, pack, fill the atlas, encode its PNG.
void bake_in_memory(FT_Face face, const std::vector<int> &codes, RenderMode mode) {
  List<RasterGlyph> glyphs;
  const GlyphStyle style{mode, mode == RenderMode::Coverage ? 0 : 8};
  for (const int code : codes) glyphs.append(rasterise_glyph(face, code, style));
  const AtlasSize size = pack_glyphs(glyphs);
  if (encode_png(fill_atlas(glyphs, size, atlas_channels(mode))).len == 0) die("no PNG");
}

// The three bakes timed in turns, repetition by repetition, so that each
// ratio sees the same load on a shared machine; medians.
double speed(FontLibrary &fonts, const std::vector<int> &codes, int reps) {
  const FT_Face face = get_face(fonts, Path("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"));
  set_pixel_size(face, 48);
  const RenderMode modes[] = {RenderMode::Coverage, RenderMode::Sdf, RenderMode::Msdf,
                              RenderMode::Mtsdf};
  std::vector<double> ms[4], ratios[4];
  for (int rep = 0; rep < reps; ++rep) {
    for (size_t m = 0; m < 4; ++m) {
      const size_t k = (m + size_t(rep)) % 4;
      ms[k].push_back(time_ms([&] { bake_in_memory(face, codes, modes[k]); }));
    }
    for (size_t m = 0; m < 4; ++m) ratios[m].push_back(ms[m].back() / ms[0].back());
  }
  std::printf("\n%zu code points baked at 48 px, spread 8 (ms; times the coverage bake):\n",
              codes.size());
  const char *names[] = {"coverage", "sdf", "msdf", "mtsdf"};
  for (size_t m = 0; m < 4; ++m)
    std::printf("  %-9s %8.1f ms %7.1f us/glyph %6.2fx\n", names[m], median(ms[m]),
                1e3 * median(ms[m]) / double(codes.size()), median(ratios[m]));
  return median(ratios[2]);
}

} // namespace

int main(int argc, char **argv) {
  const int reps = bench::reps_option(argc, argv, "multi_channel_field", 5);
  log_set_level(LogLevel::Critical);
  FontLibrary fonts;
  reuse_freed_image_memory(); // as the programs do
  require_started(fonts);
  const char *const dejavu[2] = {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                                 "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf"};
  for (const char *font : dejavu)
    for (const auto &[size, spread] : {std::pair{24, 4}, std::pair{48, 8}})
      (void)accuracy(fonts, font, size, spread);
  small_sizes(fonts, dejavu);

  const Glyphmint settings = read_settings(Path(EXAMPLE_SETTINGS));
  std::vector<int> codes;
  for (const CharRange &range : settings.ranges)
    for (i64 code = range.first; code <= range.last; ++code) codes.push_back(int(code));
  for (const int code : settings.chars) codes.push_back(code);
  std::printf("\nRESULT ratio_48=%.2f\n", speed(fonts, codes, reps));
  return 0;
}
