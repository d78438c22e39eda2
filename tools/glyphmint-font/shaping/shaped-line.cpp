#include "tools/glyphmint-font/shaping/shaped-line.h"

#include "core/fmt.h"
#include "shared/glyph-loading.h"
#include "tools/glyphmint-font/cli/font-file.h"
#include "tools/glyphmint-font/kerning/hb-ptr.h"

#include <hb-ft.h>
#include <hb-ot.h>
#include <hb.h>

#include <algorithm>
#include <climits>

// The font file opened by HarfBuzz at the bake's size, and one buffer that
// every line is shaped in.
class ShapingFont {
public:
  ShapingFont(const Path &font_file, const gm_font &font) {
    const FT_Face face = open_font_file(fonts_, font_file);
    GlyphStyle style{render_mode(font.kind), font.spread};
    if (font.size < 1 || font.size > INT32_MAX / 64 || size_face(face, font.size, style).failed())
      throw Err(fmt(font_file, ": cannot be set to the pixel size ", font.size, " to shape with"));
    if (style.strike_scale > 0) {
      // FreeType holds the strike's size, not the bake's: HarfBuzz scales
      // the font's own advances instead.
      font_.reset(hb_font_create(HbPtr<hb_face_t>(hb_ft_face_create_referenced(face)).get()));
      hb_ot_font_set_funcs(font_.get());
      hb_font_set_scale(font_.get(), font.size * 64, font.size * 64);
    } else {
      font_.reset(hb_ft_font_create_referenced(face));
      // Placement follows the outlines as coverage bakes draw them, whatever
      // the mode's own hinting.
      hb_ft_font_set_load_flags(font_.get(), FT_LOAD_DEFAULT | FT_LOAD_NO_HINTING);
    }
    buffer_.reset(hb_buffer_create());
    if (!hb_buffer_allocation_successful(buffer_.get())) throw Err("Out of memory");
  }

  [[nodiscard]] hb_font_t *font() const { return font_.get(); }
  [[nodiscard]] hb_buffer_t *buffer() const { return buffer_.get(); }

private:
  // Declared first, so HarfBuzz lets go of the face before FreeType closes it.
  FontLibrary fonts_;
  HbPtr<hb_font_t> font_;
  HbPtr<hb_buffer_t> buffer_;
};

namespace {

// Characters of one supplying font, as byte offsets into the line.
struct Run {
  u32 font_number = 0;
  size_t start = 0;
  size_t end = 0;
};

u32 code_point_at(std::string_view line, size_t offset) {
  u32 c = 0;
  (void)gm_utf8_decode(line.data(), line.size(), &offset, &c);
  return c;
}

std::vector<Run> supplier_runs(const gm_font &font, std::string_view line) {
  std::vector<Run> runs;
  for (size_t at = 0; at < line.size();) {
    const size_t start = at;
    u32 c = 0;
    if (!gm_utf8_decode(line.data(), line.size(), &at, &c)) throw Err("invalid UTF-8");
    const ptrdiff_t record = gm_font_find(&font, c);
    const u32 supplier = record < 0 ? 0 : gm_font_record(&font, size_t(record)).font_number;
    if (runs.empty() || runs.back().font_number != supplier) runs.push_back({supplier, start, at});
    runs.back().end = at;
  }
  return runs;
}

// Direction and script as HarfBuzz guesses them from the whole line; no
// language, since HarfBuzz's guess of one is the process's locale.
hb_segment_properties_t line_properties(hb_buffer_t *buffer, std::string_view line) {
  hb_buffer_clear_contents(buffer);
  hb_buffer_add_utf8(buffer, line.data(), int(line.size()), 0, int(line.size()));
  hb_buffer_guess_segment_properties(buffer);
  hb_segment_properties_t properties;
  hb_buffer_get_segment_properties(buffer, &properties);
  properties.language = HB_LANGUAGE_INVALID;
  return properties;
}

} // namespace

LineShaper::LineShaper(const Path &font_file, const gm_font &font)
    : font_(font), shaping_(std::make_unique<ShapingFont>(font_file, font)) {}

LineShaper::~LineShaper() = default;

ShapedLine LineShaper::shape_line(std::string_view line) {
  if (line.size() > size_t(INT_MAX)) throw Err("the line is too long to shape");
  ShapedLine shaped;
  hb_buffer_t *buffer = shaping_->buffer();
  const hb_segment_properties_t properties = line_properties(buffer, line);
  std::vector<Run> runs = supplier_runs(font_, line);
  const bool backward = HB_DIRECTION_IS_BACKWARD(properties.direction);
  if (backward) std::reverse(runs.begin(), runs.end());
  for (const Run &run : runs) {
    if (run.font_number != 0) {
      std::vector<ShapedGlyph> characters;
      for (size_t at = run.start; at < run.end;) {
        u32 c = 0;
        (void)gm_utf8_decode(line.data(), line.size(), &at, &c);
        const ptrdiff_t record = gm_font_find(&font_, c);
        characters.push_back({record, gm_font_record(&font_, size_t(record)).glyph_index, c, 0, 0});
      }
      if (backward) std::reverse(characters.begin(), characters.end());
      for (ShapedGlyph &g : characters) {
        g.origin_x = shaped.advance;
        shaped.advance += gm_font_record(&font_, size_t(g.record)).advance;
        shaped.glyphs.push_back(g);
      }
      continue;
    }
    hb_buffer_clear_contents(buffer);
    hb_buffer_add_utf8(buffer, line.data(), int(line.size()), unsigned(run.start),
                       int(run.end - run.start));
    hb_buffer_set_segment_properties(buffer, &properties);
    hb_shape(shaping_->font(), buffer, nullptr, 0);
    if (!hb_buffer_allocation_successful(buffer)) throw Err("Out of memory");
    unsigned int count = 0;
    const hb_glyph_info_t *info = hb_buffer_get_glyph_infos(buffer, &count);
    const hb_glyph_position_t *position = hb_buffer_get_glyph_positions(buffer, nullptr);
    for (unsigned int i = 0; i < count; ++i) {
      ShapedGlyph g;
      g.glyph_index = info[i].codepoint;
      g.record = gm_font_find_glyph(&font_, 0, g.glyph_index);
      g.code_point = code_point_at(line, info[i].cluster);
      g.origin_x = shaped.advance + round_26_6(position[i].x_offset);
      g.raise = round_26_6(position[i].y_offset);
      shaped.advance += round_26_6(position[i].x_advance);
      shaped.glyphs.push_back(g);
    }
  }
  return shaped;
}
