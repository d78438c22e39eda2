// What a colour bake costs: every code point of Debian's Noto Color Emoji
// that has a colour bitmap (1,446 in 2.042), at 32 pixels from its one
// 109-pixel strike, beside FreeType's own loading of the same glyphs (which
// decodes the strike's PNGs and is the floor).
//
//   FreeType load   FT_Load_Glyph(FT_LOAD_COLOR) of each glyph at the strike
//   glyph load      rasterise_glyph: FreeType's load, straight alpha, scaling
//   pack, fill, PNG pack_glyphs, fill_atlas, encode_png of the RGBA atlas
//   whole bake      the glyphmint binary on a settings file of those code
//                   points, start to exit
//
// Times are processor time, the median over N repetitions (default 5).
//
//   colour_glyphs [--reps N]
//
// The last line is for scripts: RESULT whole_ms=... freetype_ms=...
#include "bench/bench-support.h"
#include "core/log.h"
#include "shared/image.h"
#include "shared/png.h"
#include "tools/glyphmint/atlas/atlas.h"
#include "tools/glyphmint/glyphs/glyph.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifndef GLYPHMINT_EXE
#error "the build defines GLYPHMINT_EXE, the baker to time whole"
#endif

namespace {
using bench::cpu_ms;
using bench::die;
using bench::median;

const char k_font[] = "/usr/share/fonts/truetype/noto/NotoColorEmoji.ttf";
constexpr int k_size = 32;

// The code points whose glyph FreeType loads as a colour bitmap.
std::vector<int> colour_code_points(FT_Face face) {
  std::vector<int> codes;
  FT_UInt index = 0;
  for (FT_ULong code = FT_Get_First_Char(face, &index); index != 0;
       code = FT_Get_Next_Char(face, code, &index)) {
    if (FT_Load_Glyph(face, index, FT_LOAD_COLOR) != 0) die("FreeType cannot load a glyph");
    if (face->glyph->bitmap.pixel_mode == FT_PIXEL_MODE_BGRA) codes.push_back(int(code));
  }
  return codes;
}

std::string settings_file(const std::vector<int> &codes) {
  std::string chars;
  for (const int code : codes) chars += (chars.empty() ? "" : ", ") + std::to_string(code);
  return "path = NotoColorEmoji.ttf\nsizes = [" + std::to_string(k_size) +
         "]\nranges = []\nchars = [" + chars + "]\nrender = color\n";
}

} // namespace

int main(int argc, char **argv) {
  const int reps = bench::reps_option(argc, argv, "colour_glyphs", 5);
  log_set_level(LogLevel::Critical);

  FontLibrary fonts;
  reuse_freed_image_memory(); // as the programs do
  require_started(fonts);
  const FT_Face face = get_face(fonts, Path(k_font));
  Glyphmint settings;
  settings.render = RenderMode::Color;
  const GlyphStyle style = set_bake_size(face, k_size, settings);
  const std::vector<int> codes = colour_code_points(face);

  char dir_template[] = "/tmp/colour-glyphs-XXXXXX";
  if (mkdtemp(dir_template) == nullptr) die("cannot make a scratch directory");
  const std::string dir = dir_template;
  bench::write_file(dir + "/NotoColorEmoji.ttf", bench::read_file(k_font));
  bench::write_file(dir + "/emoji.glyphmint.ini", settings_file(codes));

  std::vector<double> ft, load, rest, whole;
  for (int r = 0; r < reps; ++r) {
    double start = cpu_ms();
    for (const int code : codes)
      if (FT_Load_Glyph(face, glyph_index(face, code), FT_LOAD_COLOR) != 0) die("load failed");
    ft.push_back(cpu_ms() - start);

    start = cpu_ms();
    List<RasterGlyph> glyphs;
    for (const int code : codes) glyphs.append(rasterise_glyph(face, code, style));
    load.push_back(cpu_ms() - start);

    start = cpu_ms();
    const AtlasSize size = pack_glyphs(glyphs);
    const Bytes png = encode_png(fill_atlas(glyphs, size, 4));
    rest.push_back(cpu_ms() - start);
    if (r == 0)
      std::printf("%zu colour glyphs of %s at %d px, atlas %dx%d RGBA, PNG %.1f MB; median of %d\n",
                  codes.size(), k_font, k_size, size.width, size.height, double(png.len) / 1e6,
                  reps);

    whole.push_back(bench::run_timed({GLYPHMINT_EXE, "--dir", dir}).cpu_ms);
  }
  std::printf("  %-34s %9.1f ms\n", "FreeType load (FT_LOAD_COLOR)", median(ft));
  std::printf("  %-34s %9.1f ms  (%.1f ms beyond FreeType's)\n", "glyph load (rasterise_glyph)",
              median(load), median(load) - median(ft));
  std::printf("  %-34s %9.1f ms\n", "pack, fill, PNG encode", median(rest));
  std::printf("  %-34s %9.1f ms\n", "whole bake (glyphmint, user+sys)", median(whole));
  std::printf("\nRESULT whole_ms=%.1f freetype_ms=%.1f\n", median(whole), median(ft));
  std::remove((dir + "/emoji.glyphmint.ini").c_str());
  std::remove((dir + "/NotoColorEmoji.ttf").c_str());
  std::remove((dir + "/NotoColorEmoji-32.png").c_str());
  std::remove((dir + "/NotoColorEmoji-32.fnt").c_str());
  std::remove(dir.c_str());
  return 0;
}
