// render = msdf and mtsdf through the built baker, beside render = sdf at the
// same spread: the reader's kind and channels, the same records, the PNG's
// channels, and mtsdf's alpha the sdf atlas.
#include "tests/support/support.h"

#include "glyphmint/fnt.h"

#include <gtest/gtest.h>
#include <stb_image.h>

namespace {

TEST(MultiChannelBake, PlacedAsTheDistanceFieldWithItInAlpha) {
  support::ScratchDir dir, captures;
  const std::pair<const char *, gm_kind> modes[] = {
      {"sdf", GM_KIND_SDF}, {"msdf", GM_KIND_MSDF}, {"mtsdf", GM_KIND_MTSDF}};
  for (const auto &[mode, kind] : modes) {
    std::filesystem::copy_file(support::k_sans, dir.path() + "/" + mode + ".ttf");
    support::write_file(dir.path() + "/" + mode + ".glyphmint.ini",
                        std::string("path = ") + mode + ".ttf\nsizes = [24]\n" +
                            "ranges = [32-126, 199-199]\nchars = []\nrender = " + mode +
                            "\nspread = 3\n");
  }
  const support::RunResult r =
      support::run_program(GLYPHMINT_EXE, {"--dir", dir.path()}, dir.path(), captures.path());
  ASSERT_EQ(r.exit_code, 0) << r;
  std::vector<std::string> fnt(3);
  std::vector<gm_font> fonts(3);
  std::vector<stbi_uc *> atlas(3);
  int size[2] = {};
  for (size_t m = 0; m < 3; ++m) {
    const std::string base = dir.path() + "/" + modes[m].first + "-24";
    fnt[m] = support::read_file(base + ".fnt");
    ASSERT_EQ(gm_font_parse(&fonts[m], fnt[m].data(), fnt[m].size(), nullptr), GM_OK);
    EXPECT_TRUE(fonts[m].kind == modes[m].second && fonts[m].spread == 3);
    int w = 0, h = 0, channels = 0;
    atlas[m] = stbi_load((base + ".png").c_str(), &w, &h, &channels, 0);
    ASSERT_NE(atlas[m], nullptr);
    EXPECT_TRUE(channels == fonts[m].channels && channels == gm_kind_channels(modes[m].second));
    if (m == 0) size[0] = w, size[1] = h;
    ASSERT_TRUE(w == size[0] && h == size[1]);
  }
  // The same records but for the kind, so the same atlas layout.
  ASSERT_TRUE(fonts[1].glyph_count == fonts[0].glyph_count &&
              fonts[2].glyph_count == fonts[0].glyph_count);
  for (size_t g = 0; g < fonts[0].glyph_count; ++g) {
    const gm_glyph sdf = gm_font_glyph(&fonts[0], g);
    for (size_t m = 1; m < 3; ++m) {
      gm_glyph other = gm_font_glyph(&fonts[m], g);
      EXPECT_EQ(other.reserved, gm_kind_reserved(modes[m].second, 3));
      other.reserved = sdf.reserved;
      EXPECT_EQ(std::memcmp(&other, &sdf, sizeof sdf), 0) << sdf.code;
    }
  }
  for (size_t k = 0; k < size_t(size[0]) * size_t(size[1]); ++k) {
    ASSERT_LE(std::abs(atlas[2][4 * k + 3] - atlas[0][k]), 1) << k;
    for (size_t c = 0; c < 3; ++c) ASSERT_EQ(atlas[1][3 * k + c], atlas[2][4 * k + c]) << k;
  }
  for (stbi_uc *image : atlas) stbi_image_free(image);
}

} // namespace
