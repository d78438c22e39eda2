// The advances --font gives export and render, against FreeType's own loaded
// as each kind of bake loads its glyphs, with the smooth flag a monochrome
// bake exports; and fonts that a bake did not come from, refused.
#include "tests/support/support.h"
#include "tools/glyphmint-font/export/baked-to-bmfont.h"
#include "tools/glyphmint-font/kerning/font-advances.h"

#include <gtest/gtest.h>

namespace {

const std::string k_serif = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";
const std::string k_liberation = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";

// The font baked by the built baker at one size, read back.
LoadedFont baked(const support::ScratchDir &dir, const std::string &font, int size,
                 const std::string &settings) {
  std::filesystem::copy_file(font, dir.path() + "/Font.ttf");
  support::write_file(dir.path() + "/Font.glyphmint.ini",
                      "path = Font.ttf\nsizes = [" + std::to_string(size) + "]\n" + settings);
  const support::RunResult r =
      support::run_program(GLYPHMINT_EXE, {"--dir", "."}, dir.path(), dir.path());
  EXPECT_EQ(r.exit_code, 0) << r;
  return LoadedFont::load(
      Path(StrView((dir.path() + "/Font-" + std::to_string(size) + ".fnt").c_str())));
}

TEST(FontAdvances, AreTheFontsOwnToTheNearestPixel) {
  const struct {
    std::string font;
    int size;
    std::string settings;
    bool mono;
  } rows[] = {
      {k_liberation, 14, "ranges = [32-126]\nchars = []\n", false},
      {support::k_sans, 16, "ranges = [32-126, 945-969]\nchars = []\nrender = sdf\n", false},
      {support::k_sans, 13, "ranges = [32-126]\nchars = []\nrender = mono\n", true},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.settings);
    support::ScratchDir dir;
    LoadedFont loaded = baked(dir, row.font, row.size, row.settings);
    take_font_advances(loaded, Path(StrView(row.font.c_str())));
    const support::RefFace face(row.font, row.size);
    for (size_t i = 0; i < loaded.font.glyph_count; ++i) {
      const gm_glyph g = gm_font_glyph(&loaded.font, i);
      EXPECT_EQ(g.advance, std::lround(double(face.glyph(g.code, row.mono).advance_26_6) / 64.0))
          << "U+" << std::hex << g.code;
    }
    EXPECT_EQ(describe_as_bmfont(loaded, BmPage::Rgba, "p.png").font.info.smooth, !row.mono);
  }
}

TEST(FontAdvances, AFontTheBakeDidNotComeFromIsRefused) {
  const struct {
    std::string bake_font;
    std::string lists;
    std::string given;
    std::string message; // after the font file and the .fnt, @ standing for the .fnt
  } rows[] = {
      {k_serif, "ranges = [32-126]\nchars = []\n", support::k_sans,
       ": not the font @ was baked from (U+0026 advances 12 pixels in it, 14 in the bake)"},
      {support::k_sans, "ranges = []\nchars = [9728]\n", k_liberation,
       ": maps none of the code points of @: not the font it was baked from"},
  };
  for (const auto &row : rows) {
    support::ScratchDir dir;
    LoadedFont loaded = baked(dir, row.bake_font, 16, row.lists);
    std::string want = row.given + row.message;
    want.replace(want.find('@'), 1, dir.path() + "/Font-16.fnt");
    try {
      take_font_advances(loaded, Path(StrView(row.given.c_str())));
      ADD_FAILURE() << "no error for " << row.given;
    } catch (const Err &e) {
      EXPECT_EQ(std::string(e.message.data, e.message.len), want);
    }
  }
}

} // namespace
