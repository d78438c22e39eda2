// The advances --font gives export and render, for a bake of every kind
// with its own font, against FreeType's own loaded as each kind loads its
// glyphs, or HarfBuzz's for colour strikes; with the smooth flag a
// monochrome bake exports; and fonts that a bake did not come from, refused.
#include "tests/support/support.h"
#include "tools/glyphmint-font/export/baked-to-bmfont.h"
#include "tools/glyphmint-font/kerning/font-advances.h"

#include <hb-ot.h>
#include <hb.h>

namespace {

const std::string k_serif = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";
const std::string k_liberation = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
const std::string k_uming = "/usr/share/fonts/truetype/arphic/uming.ttc";

// HarfBuzz's advance of the code point at the size, to the nearest pixel.
long harfbuzz_advance(const std::string &font_path, int size, int code) {
  hb_blob_t *blob = hb_blob_create_from_file(font_path.c_str());
  hb_face_t *face = hb_face_create(blob, 0);
  hb_font_t *font = hb_font_create(face);
  hb_font_set_scale(font, size * 64, size * 64);
  hb_codepoint_t glyph = 0;
  EXPECT_TRUE(hb_font_get_nominal_glyph(font, hb_codepoint_t(code), &glyph));
  const long advance = std::lround(hb_font_get_glyph_h_advance(font, glyph) / 64.0);
  hb_font_destroy(font);
  hb_face_destroy(face);
  hb_blob_destroy(blob);
  return advance;
}

TEST(FontAdvances, AreTheFontsOwnToTheNearestPixelFromTheBakesFontOnly) {
  // Squares of 600 units in 1000: at 10 pixels every edge is on the pixel
  // grid, so the coverage holds only 0 and 255 and is still coverage.
  const support::ScratchDir made;
  const std::string grid = made.path() + "/grid.ttf";
  ASSERT_EQ(support::run_program("/usr/bin/python3", {GLYPHMINT_TEST_DATA "/colour-font.py", grid},
                                 made.path(), made.path())
                .exit_code,
            0);
  const std::string latin = "ranges = [32-126]\nchars = []\n";
  const std::string emoji = "ranges = []\nchars = [128512, 10084, 128077]\nrender = color\n";
  const struct {
    std::string baked, settings;
    int size;
    std::string given;
    std::string error; // after the given font's name; @ stands for the .fnt
  } rows[] = {
      {k_liberation, latin, 14, k_liberation, ""},
      {support::k_sans, "ranges = [32-126, 945-969]\nchars = []\nrender = sdf\n", 14,
       support::k_sans, ""},
      {support::k_sans, latin + "render = mono\n", 14, support::k_sans, ""},
      {grid, "ranges = [67-67]\nchars = []\n", 10, grid, ""},
      {support::k_sans, "ranges = [32-126]\nchars = [20013, 25991]\nfallback = [Fallback.ttc]\n",
       14, support::k_sans, ""},
      {support::k_emoji, emoji, 19, support::k_emoji, ""},
      {support::k_emoji, emoji, 32, support::k_emoji, ""},
      // An outline font with bitmap strikes at these sizes, in colour.
      {k_uming, "ranges = [65-90, 20013-20020]\nchars = []\nrender = color\n", 11, k_uming, ""},
      {k_uming, "ranges = [65-90, 20013-20020]\nchars = []\nrender = color\n", 15, k_uming, ""},
      {k_serif, latin, 14, support::k_sans,
       ": not the font @ was baked from (U+0026 advances 10 pixels in it, 12 in the bake)"},
      {support::k_sans, "ranges = []\nchars = [9728]\n", 14, k_liberation,
       ": maps none of the code points of @: not the font it was baked from"},
      {support::k_emoji, emoji, 19, support::k_sans,
       ": not the font @ was baked from (U+2764 advances 15 pixels in it, 24 in the bake)"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.baked + " " + std::to_string(row.size) + " px\n" + row.settings);
    support::ScratchDir dir;
    std::filesystem::copy_file(row.baked, dir.path() + "/Font.ttf");
    if (row.settings.find("Fallback.ttc") != std::string::npos)
      std::filesystem::copy_file(support::k_cjk, dir.path() + "/Fallback.ttc");
    support::write_file(dir.path() + "/Font.glyphmint.ini", "path = Font.ttf\nsizes = [" +
                                                                std::to_string(row.size) + "]\n" +
                                                                row.settings);
    ASSERT_EQ(support::run_program(GLYPHMINT_EXE, {"--dir", "."}, dir.path(), dir.path()).exit_code,
              0);
    const std::string fnt = dir.path() + "/Font-" + std::to_string(row.size) + ".fnt";
    LoadedFont loaded = LoadedFont::load(Path(StrView(fnt.c_str())));
    std::string error = row.error.empty() ? "" : row.given + row.error;
    if (!error.empty()) error.replace(error.find('@'), 1, fnt);
    try {
      take_font_advances(loaded, Path(StrView(row.given.c_str())));
      EXPECT_EQ("", error);
    } catch (const Err &e) {
      EXPECT_EQ(std::string(e.message.data, e.message.len), error);
    }
    const bool mono = row.settings.find("mono") != std::string::npos;
    const bool colour = row.settings.find("color") != std::string::npos;
    const support::RefFace face(colour ? support::k_sans : row.given, row.size);
    for (size_t i = 0; error.empty() && i < loaded.font.glyph_count; ++i) {
      const gm_glyph g = gm_font_glyph(&loaded.font, i);
      if (!colour && !face.has(g.code)) continue; // from the fallback: as baked
      const long want = colour ? harfbuzz_advance(row.given, row.size, g.code)
                               : std::lround(double(face.glyph(g.code, mono).advance_26_6) / 64.0);
      EXPECT_EQ(g.advance, want) << "U+" << std::hex << g.code;
    }
    EXPECT_EQ(describe_as_bmfont(loaded, BmPage::Rgba, "p.png").font.info.smooth, !mono);
  }
}

} // namespace
