// Shaped bakes through the built baker, checked against HarfBuzz's own
// shaping: every glyph its closure gives for the code points is baked and
// found by its index, in every render mode and from a fallback, while the
// code-point records stay the requested ones.
#include "tests/support/support.h"

#include "glyphmint/fnt.h"

#include <gtest/gtest.h>
#include <hb-ot.h>
#include <hb.h>
#include <stb_image.h>

#include <memory>
#include <set>

namespace {

const std::string k_arabic = "/usr/share/fonts/truetype/noto/NotoSansArabic-Regular.ttf";
const std::string k_devanagari = "/usr/share/fonts/truetype/noto/NotoSansDevanagari-Regular.ttf";

/// A HarfBuzz font of face 0 of the file.
struct HbFont {
  explicit HbFont(const std::string &path) {
    hb_blob_t *blob = hb_blob_create_from_file(path.c_str());
    hb_face_t *face = hb_face_create(blob, 0);
    font = hb_font_create(face);
    hb_face_destroy(face);
    hb_blob_destroy(blob);
  }
  ~HbFont() { hb_font_destroy(font); }
  HbFont(const HbFont &) = delete;
  HbFont &operator=(const HbFont &) = delete;

  /// The code points of [first, last] that the font maps to a glyph.
  [[nodiscard]] std::vector<u32> mapped(u32 first, u32 last) const {
    std::vector<u32> codes;
    hb_codepoint_t glyph = 0;
    for (u32 c = first; c <= last; ++c)
      if (hb_font_get_nominal_glyph(font, c, &glyph)) codes.push_back(c);
    return codes;
  }

  /// The glyphs HarfBuzz's shaping of the text can produce: its closure, with
  /// the direction, script and language guessed from the text.
  [[nodiscard]] std::set<u32> closure(const std::vector<u32> &text) const {
    hb_buffer_t *buffer = hb_buffer_create();
    hb_buffer_add_codepoints(buffer, text.data(), int(text.size()), 0, -1);
    hb_buffer_guess_segment_properties(buffer);
    hb_set_t *glyphs = hb_set_create();
    hb_ot_shape_glyphs_closure(font, buffer, nullptr, 0, glyphs);
    std::set<u32> out;
    for (hb_codepoint_t g = HB_SET_VALUE_INVALID; hb_set_next(glyphs, &g);) out.insert(g);
    hb_set_destroy(glyphs);
    hb_buffer_destroy(buffer);
    return out;
  }

  hb_font_t *font = nullptr;
};

/// One size baked, its cells checked against its atlas; `font` points into `bytes`.
struct Baked {
  std::string bytes;
  gm_font font{};
  int channels = 0;
};

std::unique_ptr<Baked> bake(int size, const std::string &settings,
                            const std::vector<std::string> &fonts) {
  support::ScratchDir dir, captures;
  for (size_t i = 0; i < fonts.size(); ++i)
    std::filesystem::copy_file(fonts[i], dir.path() + "/f" + std::to_string(i) + ".ttf");
  support::write_file(dir.path() + "/f0.glyphmint.ini",
                      "path = f0.ttf\nsizes = [" + std::to_string(size) + "]\n" + settings);
  const support::RunResult r =
      support::run_program(GLYPHMINT_EXE, {"--dir", dir.path()}, dir.path(), captures.path());
  EXPECT_EQ(r.exit_code, 0) << r;
  auto baked = std::make_unique<Baked>();
  const std::string base = dir.path() + "/f0-" + std::to_string(size);
  baked->bytes = support::read_file(base + ".fnt");
  size_t where = 0;
  gm_error e = gm_font_parse(&baked->font, baked->bytes.data(), baked->bytes.size(), &where);
  int w = 0, h = 0;
  stbi_image_free(stbi_load((base + ".png").c_str(), &w, &h, &baked->channels, 0));
  if (e == GM_OK) e = gm_font_check_atlas(&baked->font, u32(w), u32(h), &where);
  EXPECT_EQ(e, GM_OK) << gm_error_text(e) << " at " << where;
  return baked;
}

std::string chars_line(const std::vector<u32> &codes) {
  std::string line = "chars = [";
  for (size_t i = 0; i < codes.size(); ++i) line += (i ? ", " : "") + std::to_string(codes[i]);
  return line + "]\n";
}

TEST(ShapedBake, HoldsHarfBuzzsClosureOfItsCodePoints) {
  struct Row {
    std::string font;
    u32 first, last;
  };
  const Row rows[] = {{k_arabic, 0x600, 0x6ff},
                      {support::k_sans, 0x600, 0x6ff},
                      {k_devanagari, 0x900, 0x97f},
                      {support::k_sans, 'a', 'z'}};
  for (const Row &row : rows) {
    SCOPED_TRACE(row.font + " " + std::to_string(row.first));
    const HbFont hb(row.font);
    const std::vector<u32> codes = hb.mapped(row.first, row.last);
    const auto baked_file =
        bake(32, "ranges = []\n" + chars_line(codes) + "shaped = true\n", {row.font});
    const Baked &baked = *baked_file;
    ASSERT_TRUE(baked.font.shaped && baked.font.glyph_count == codes.size());
    for (size_t i = 0; i < codes.size(); ++i) {
      hb_codepoint_t nominal = 0;
      (void)hb_font_get_nominal_glyph(hb.font, codes[i], &nominal);
      const gm_glyph g = gm_font_record(&baked.font, i);
      EXPECT_TRUE(u32(g.code) == codes[i] && g.glyph_index == nominal && g.font_number == 0) << i;
    }
    const std::set<u32> closure = hb.closure(codes);
    size_t beyond = 0;
    for (const u32 glyph : closure) {
      const ptrdiff_t record = gm_font_find_glyph(&baked.font, 0, glyph);
      EXPECT_GE(record, 0) << "glyph " << glyph;
      beyond += record >= ptrdiff_t(baked.font.glyph_count);
    }
    // Not vacuous: the scripts' forms, conjuncts and ligatures are glyphs of their own.
    EXPECT_GT(beyond, 0u);
  }
}

TEST(ShapedBake, EveryRenderModeReadsBackWithAFallbacksGlyphs) {
  // Lam-alef and the ksha conjunct: one glyph for two or three code points.
  const std::vector<u32> lam_alef = {0x644, 0x627}, ksha = {0x915, 0x94d, 0x937};
  const HbFont arabic(k_arabic), devanagari(k_devanagari);
  const std::pair<const char *, int> modes[] = {{"coverage", 1}, {"mono", 1},  {"sdf", 1},
                                                {"msdf", 3},     {"mtsdf", 4}, {"color", 4}};
  for (const auto &[mode, channels] : modes) {
    SCOPED_TRACE(mode);
    const auto baked_file = bake(16,
                                 std::string("ranges = []\n") +
                                     "chars = [32, 1575, 1604, 2325, 2359, 2381]\nshaped = true\n" +
                                     "fallback = [f1.ttf]\nrender = " + mode + "\n",
                                 {k_arabic, k_devanagari});
    const Baked &baked = *baked_file;
    EXPECT_EQ(baked.channels, channels);
    ASSERT_TRUE(baked.font.shaped && baked.font.glyph_count == 6 &&
                baked.font.record_count > baked.font.glyph_count);
    for (const auto &[hb, text, font_number] :
         {std::tuple{&arabic, lam_alef, 0u}, std::tuple{&devanagari, ksha, 1u}}) {
      hb_buffer_t *buffer = hb_buffer_create();
      hb_buffer_add_codepoints(buffer, text.data(), int(text.size()), 0, -1);
      hb_buffer_guess_segment_properties(buffer);
      hb_shape(hb->font, buffer, nullptr, 0);
      unsigned int count = 0;
      const hb_glyph_info_t *info = hb_buffer_get_glyph_infos(buffer, &count);
      EXPECT_LT(count, text.size()) << "shaping made no ligature";
      for (unsigned int k = 0; k < count; ++k)
        EXPECT_GE(gm_font_find_glyph(&baked.font, font_number, info[k].codepoint), 0)
            << "font " << font_number << " glyph " << info[k].codepoint;
      hb_buffer_destroy(buffer);
    }
  }
}

} // namespace
