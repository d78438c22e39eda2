// The advances --font gives export and render, against FreeType's own loaded
// as each kind of bake loads its glyphs, with the smooth flag a monochrome
// bake exports; and fonts that a bake did not come from, refused.
#include "tests/support/support.h"
#include "tools/glyphmint-font/export/baked-to-bmfont.h"
#include "tools/glyphmint-font/kerning/font-advances.h"

namespace {

const std::string k_serif = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";
const std::string k_liberation = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";

TEST(FontAdvances, AreTheFontsOwnToTheNearestPixelFromTheBakesFontOnly) {
  const struct {
    std::string baked, settings, given;
    std::string error; // after the given font's name; @ stands for the .fnt
  } rows[] = {
      {k_liberation, "ranges = [32-126]\nchars = []\n", k_liberation, ""},
      {support::k_sans, "ranges = [32-126, 945-969]\nchars = []\nrender = sdf\n", support::k_sans,
       ""},
      {support::k_sans, "ranges = [32-126]\nchars = []\nrender = mono\n", support::k_sans, ""},
      {k_serif, "ranges = [32-126]\nchars = []\n", support::k_sans,
       ": not the font @ was baked from (U+0026 advances 10 pixels in it, 12 in the bake)"},
      {support::k_sans, "ranges = []\nchars = [9728]\n", k_liberation,
       ": maps none of the code points of @: not the font it was baked from"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.baked + "\n" + row.settings);
    support::ScratchDir dir;
    std::filesystem::copy_file(row.baked, dir.path() + "/Font.ttf");
    support::write_file(dir.path() + "/Font.glyphmint.ini",
                        "path = Font.ttf\nsizes = [14]\n" + row.settings);
    ASSERT_EQ(support::run_program(GLYPHMINT_EXE, {"--dir", "."}, dir.path(), dir.path()).exit_code,
              0);
    const std::string fnt = dir.path() + "/Font-14.fnt";
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
    const support::RefFace face(row.given, 14);
    for (size_t i = 0; error.empty() && i < loaded.font.glyph_count; ++i) {
      const gm_glyph g = gm_font_glyph(&loaded.font, i);
      EXPECT_EQ(g.advance, std::lround(double(face.glyph(g.code, mono).advance_26_6) / 64.0))
          << "U+" << std::hex << g.code;
    }
    EXPECT_EQ(describe_as_bmfont(loaded, BmPage::Rgba, "p.png").font.info.smooth, !mono);
  }
}

} // namespace
