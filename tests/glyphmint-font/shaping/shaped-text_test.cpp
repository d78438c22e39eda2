// Shaped bakes drawn by render --font and exported as JSON, against what a
// program gets from HarfBuzz and FreeType alone: HarfBuzz's glyphs, rendered
// by index with FreeType and placed in whole pixels.
#include "tests/support/npm-parsers.h"

#include <hb-ft.h>
#include <hb.h>
#include <stb_image.h>

namespace {

const std::string k_noto = "/usr/share/fonts/truetype/noto/";

long pixels(hb_position_t value) {
  return std::lround(value / 64.0);
}

struct Shaped {
  std::vector<hb_glyph_info_t> info;
  std::vector<hb_glyph_position_t> position;
};

// One line as a program shapes it: direction and script from the text, no language.
Shaped shape(hb_font_t *font, const std::string &text) {
  hb_buffer_t *buffer = hb_buffer_create();
  hb_buffer_add_utf8(buffer, text.data(), int(text.size()), 0, -1);
  hb_buffer_guess_segment_properties(buffer);
  hb_buffer_set_language(buffer, HB_LANGUAGE_INVALID);
  hb_shape(font, buffer, nullptr, 0);
  unsigned n = 0;
  const hb_glyph_info_t *info = hb_buffer_get_glyph_infos(buffer, &n);
  const hb_glyph_position_t *position = hb_buffer_get_glyph_positions(buffer, nullptr);
  Shaped shaped{{info, info + n}, {position, position + n}};
  hb_buffer_destroy(buffer);
  return shaped;
}

Shaped shape_at_32(const support::RefFace &face, const std::string &text) {
  hb_font_t *font = hb_ft_font_create_referenced(face.face());
  hb_ft_font_set_load_flags(font, FT_LOAD_NO_HINTING);
  Shaped shaped = shape(font, text);
  hb_font_destroy(font);
  return shaped;
}

struct Picture {
  long width = 0, height = 0;
  std::vector<u8> pixels;
  bool operator==(const Picture &) const = default;
};

// The pen from 0 by each rounded advance; a bitmap at the pen plus the
// rounded offsets and its bearings; overlaps keep the larger value.
Picture reference(const std::string &font, const std::string &text) {
  const support::RefFace face(font, 32);
  const support::RefMetrics m = face.metrics();
  const Shaped s = shape_at_32(face, text);
  std::vector<std::pair<std::pair<long, long>, support::RefGlyph>> placed;
  long pen = 0, left = 0, top = 0, right = 0, bottom = m.line_height;
  for (size_t i = 0; i < s.info.size(); ++i) {
    support::RefGlyph g = face.glyph_at(s.info[i].codepoint);
    const long x = pen + pixels(s.position[i].x_offset) + g.left;
    const long y = m.ascender - pixels(s.position[i].y_offset) - g.top;
    pen += pixels(s.position[i].x_advance);
    if (g.width == 0 || g.rows == 0) continue;
    left = std::min(left, x), top = std::min(top, y);
    right = std::max(right, x + long(g.width)), bottom = std::max(bottom, y + long(g.rows));
    placed.push_back({{x, y}, std::move(g)});
  }
  left = std::min(left, pen), right = std::max(right, pen);
  Picture out{right - left, bottom - top, std::vector<u8>(size_t((right - left) * (bottom - top)))};
  for (const auto &[at, g] : placed)
    for (u32 r = 0; r < g.rows; ++r)
      for (u32 c = 0; c < g.width; ++c) {
        u8 &to = out.pixels[size_t((at.second + r - top) * out.width + at.first + c - left)];
        to = std::max(to, g.bitmap[r * g.width + c]);
      }
  return out;
}

// A shaped bake at 32 px of the text's characters, beside a copy of the font.
void bake(const support::ScratchDir &dir, const std::string &font, const std::string &text,
          const std::string &render) {
  std::set<u32> codes;
  u32 c = 0;
  for (size_t at = 0; gm_utf8_decode(text.data(), text.size(), &at, &c);) codes.insert(c);
  std::string chars;
  for (const u32 code : codes) chars += (chars.empty() ? "" : ", ") + std::to_string(code);
  std::filesystem::copy_file(font, dir.path() + "/font.ttf");
  support::write_file(dir.path() + "/font.glyphmint.ini",
                      "path = font.ttf\nsizes = [32]\nranges = []\nchars = [" + chars +
                          "]\nrender = " + render + "\nshaped = true\n");
  const support::RunResult r =
      support::run_program(GLYPHMINT_EXE, {"--dir", dir.path()}, dir.path(), dir.path());
  EXPECT_EQ(r.exit_code, 0) << r;
}

Picture render(const support::ScratchDir &dir, const std::string &text, int channels) {
  const support::RunResult r = support::run_program(
      GLYPHMINT_FONT_EXE, {"render", "--font", "font.ttf", "font-32.fnt", text, "out.png"},
      dir.path(), dir.path());
  EXPECT_EQ(r.exit_code, 0) << r;
  const std::string png = support::read_file(dir.path() + "/out.png");
  int w = 0, h = 0, n = 0;
  u8 *p = stbi_load_from_memory(reinterpret_cast<const u8 *>(png.data()), int(png.size()), &w, &h,
                                &n, channels);
  Picture out{w, h, std::vector<u8>(p, p + (p ? w * h * channels : 0))};
  stbi_image_free(p);
  return out;
}

TEST(ShapedText, DrawsHarfBuzzGlyphsAsFreeTypeRendersThem) {
  const struct {
    std::string font, text;
  } cases[] = {{k_noto + "NotoSansArabic-Regular.ttf", "مرحبا بالعالم"},
               {k_noto + "NotoSansArabic-Regular.ttf", "لا إله"},
               {k_noto + "NotoSansDevanagari-Regular.ttf", "नमस्ते दुनिया"},
               {k_noto + "NotoSansDevanagari-Regular.ttf", "क्षत्रिय"},
               {support::k_sans, "office fluff"}}; // ffi, fl and ff ligatures
  for (const auto &c : cases) {
    const support::ScratchDir dir;
    bake(dir, c.font, c.text, "coverage");
    EXPECT_TRUE(render(dir, c.text, 1) == reference(c.font, c.text)) << c.text;
  }
}

TEST(ShapedText, DrawsOneColourGlyphPerEmojiSequence) {
  const std::string text = "👨‍👩‍👧 👍🏽 🇯🇵";
  const support::ScratchDir dir;
  bake(dir, support::k_emoji, text, "color");
  hb_blob_t *blob = hb_blob_create_from_file(support::k_emoji.c_str());
  hb_face_t *face = hb_face_create(blob, 0);
  hb_font_t *font = hb_font_create(face);
  hb_font_set_scale(font, 32 * 64, 32 * 64);
  const Shaped s = shape(font, text);
  hb_font_destroy(font), hb_face_destroy(face), hb_blob_destroy(blob);
  long width = 0;
  for (const hb_glyph_position_t &p : s.position) width += pixels(p.x_advance);
  EXPECT_EQ(s.info.size(), 5u) << "three sequences and two spaces";
  EXPECT_EQ(render(dir, text, 4).width, width);
}

TEST(ShapedText, JsonExportFindsEveryShapedGlyphByIndex) {
  const std::string font = k_noto + "NotoSansArabic-Regular.ttf", text = "لا إله مرحبا بالعالم";
  const support::ScratchDir dir;
  bake(dir, font, text, "coverage");
  const support::RunResult r = support::run_program(
      GLYPHMINT_FONT_EXE, {"export", "font-32.fnt", "json", "out.json"}, dir.path(), dir.path());
  ASSERT_EQ(r.exit_code, 0) << r;
  const npm::Parsed json = npm::read_with_npm("json", dir.path() + "/out.json");
  std::map<std::string, std::string> size_of_glyph; // "glyph" => "width x height"
  for (const auto &[key, value] : json)
    if (key.ends_with(".glyph") && json.at(key.substr(0, key.size() - 5) + "font") == "0") {
      const std::string record = key.substr(0, key.size() - 5);
      size_of_glyph[value] = json.at(record + "width") + "x" + json.at(record + "height");
    }
  const support::RefFace face(font, 32);
  for (const hb_glyph_info_t &info : shape_at_32(face, text).info) {
    const support::RefGlyph g = face.glyph_at(info.codepoint);
    EXPECT_EQ(size_of_glyph[std::to_string(info.codepoint)],
              std::to_string(g.width) + "x" + std::to_string(g.rows))
        << "glyph " << info.codepoint;
  }
}

} // namespace
