// Shaped bakes through the built baker against HarfBuzz's own shaping: every
// glyph its closure gives for the code points is baked and found by its
// index, in every render mode and from a fallback, while the code-point
// records stay the requested ones.
#include "tests/support/support.h"

#include "glyphmint/fnt.h"

#include <gtest/gtest.h>
#include <hb-ot.h>
#include <stb_image.h>

#include <memory>

namespace {

const std::string k_arabic = "/usr/share/fonts/truetype/noto/NotoSansArabic-Regular.ttf";
const std::string k_devanagari = "/usr/share/fonts/truetype/noto/NotoSansDevanagari-Regular.ttf";

/// A HarfBuzz font of the file and a buffer of code points, its segment guessed.
struct Shaping {
  explicit Shaping(const std::string &path) {
    hb_blob_t *blob = hb_blob_create_from_file(path.c_str());
    hb_face_t *face = hb_face_create(blob, 0);
    font = hb_font_create(face);
    hb_face_destroy(face);
    hb_blob_destroy(blob);
  }
  ~Shaping() {
    hb_buffer_destroy(buffer);
    hb_font_destroy(font);
  }
  void add(const std::vector<u32> &text) const {
    hb_buffer_add_codepoints(buffer, text.data(), int(text.size()), 0, -1);
    hb_buffer_guess_segment_properties(buffer);
  }
  hb_font_t *font = nullptr;
  hb_buffer_t *buffer = hb_buffer_create();
};

/// One size baked, its cells checked against its atlas; `font` points into `bytes`.
struct Baked {
  std::string bytes;
  gm_font font{};
  int channels = 0;
};

std::unique_ptr<Baked> bake(int size, const std::string &keys, std::vector<std::string> fonts) {
  support::ScratchDir dir, captures;
  for (size_t i = 0; i < fonts.size(); ++i)
    std::filesystem::copy_file(fonts[i], dir.path() + "/f" + std::to_string(i) + ".ttf");
  const std::string sizes = "sizes = [" + std::to_string(size) + "]\n";
  support::write_file(dir.path() + "/f0.glyphmint.ini",
                      "path = f0.ttf\nranges = []\n" + sizes + keys);
  const support::RunResult r =
      support::run_program(GLYPHMINT_EXE, {"--dir", dir.path()}, dir.path(), captures.path());
  EXPECT_EQ(r.exit_code, 0) << r;
  auto baked = std::make_unique<Baked>();
  const std::string base = dir.path() + "/f0-" + std::to_string(size);
  baked->bytes = support::read_file(base + ".fnt");
  size_t at = 0;
  gm_error e = gm_font_parse(&baked->font, baked->bytes.data(), baked->bytes.size(), &at);
  int w = 0, h = 0;
  stbi_image_free(stbi_load((base + ".png").c_str(), &w, &h, &baked->channels, 0));
  if (e == GM_OK) e = gm_font_check_atlas(&baked->font, u32(w), u32(h), &at);
  EXPECT_EQ(e, GM_OK) << gm_error_text(e) << " at " << at;
  return baked;
}

TEST(ShapedBake, HoldsHarfBuzzsClosureOfItsCodePoints) {
  const std::tuple<std::string, u32, u32> rows[] = {{k_arabic, 0x600, 0x6ff},
                                                    {support::k_sans, 0x600, 0x6ff},
                                                    {k_devanagari, 0x900, 0x97f},
                                                    {support::k_sans, 'a', 'z'}};
  for (const auto &[path, first, last] : rows) {
    SCOPED_TRACE(path + " from " + std::to_string(first));
    const Shaping hb(path);
    std::vector<u32> codes, nominal;
    std::string chars = "chars = [";
    for (hb_codepoint_t c = first, glyph = 0; c <= last; ++c)
      if (hb_font_get_nominal_glyph(hb.font, c, &glyph))
        codes.push_back(c), nominal.push_back(glyph), chars += std::to_string(c) + ", ";
    const auto baked = bake(32, chars + "]\nshaped = true\n", {path});
    ASSERT_TRUE(baked->font.shaped && baked->font.glyph_count == codes.size());
    for (size_t i = 0; i < codes.size(); ++i) {
      const gm_glyph g = gm_font_record(&baked->font, i);
      EXPECT_TRUE(u32(g.code) == codes[i] && g.glyph_index == nominal[i] && !g.font_number) << i;
    }
    hb.add(codes);
    hb_set_t *closure = hb_set_create();
    hb_ot_shape_glyphs_closure(hb.font, hb.buffer, nullptr, 0, closure);
    size_t beyond = 0;
    for (hb_codepoint_t glyph = HB_SET_VALUE_INVALID; hb_set_next(closure, &glyph);) {
      const ptrdiff_t record = gm_font_find_glyph(&baked->font, 0, glyph);
      EXPECT_GE(record, 0) << "glyph " << glyph;
      beyond += record >= ptrdiff_t(baked->font.glyph_count);
    }
    hb_set_destroy(closure);
    EXPECT_GT(beyond, 0u) << "no form, conjunct or ligature of its own";
  }
}

TEST(ShapedBake, EveryRenderModeReadsBackWithAFallbacksGlyphs) {
  // Lam-alef and the ksha conjunct, one glyph each: from the main font and the fallback.
  const std::pair<std::vector<u32>, u32> texts[] = {{{0x644, 0x627}, 0},
                                                    {{0x915, 0x94d, 0x937}, 1}};
  for (const auto &[mode, channels] : {std::pair{"coverage", 1},
                                       {"mono", 1},
                                       {"sdf", 1},
                                       {"msdf", 3},
                                       {"mtsdf", 4},
                                       {"color", 4}}) {
    SCOPED_TRACE(mode);
    const auto baked = bake(16,
                            std::string("chars = [32, 1575, 1604, 2325, 2359, 2381]\n") +
                                "shaped = true\nfallback = [f1.ttf]\nrender = " + mode + "\n",
                            {k_arabic, k_devanagari});
    EXPECT_EQ(baked->channels, channels);
    ASSERT_TRUE(baked->font.shaped && baked->font.glyph_count == 6);
    for (const auto &[text, font_number] : texts) {
      const Shaping hb(font_number ? k_devanagari : k_arabic);
      hb.add(text);
      hb_shape(hb.font, hb.buffer, nullptr, 0);
      unsigned int count = 0;
      const hb_glyph_info_t *info = hb_buffer_get_glyph_infos(hb.buffer, &count);
      EXPECT_LT(count, text.size()) << "shaping made no ligature";
      for (unsigned int k = 0; k < count; ++k)
        EXPECT_GE(gm_font_find_glyph(&baked->font, font_number, info[k].codepoint), 0)
            << "font " << font_number << " glyph " << info[k].codepoint;
    }
  }
}

} // namespace
