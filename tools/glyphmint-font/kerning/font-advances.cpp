#include "tools/glyphmint-font/kerning/font-advances.h"

#include "core/fmt.h"
#include "shared/glyph-loading.h"
#include "tools/glyphmint-font/baked/glyph-suppliers.h"
#include "tools/glyphmint-font/cli/font-file.h"

#include <cstdio>

namespace {

Str code_point_name(i32 code) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(code));
  return Str(StrView(text));
}

} // namespace

void take_font_advances(LoadedFont &loaded, const Path &font_file) {
  const gm_font &font = loaded.font;
  FontLibrary fonts;
  const FT_Face face = open_font_file(fonts, font_file);
  GlyphStyle style{render_mode(font.kind), font.spread};
  if (font.size < 1 || font.size > INT32_MAX / 64 || size_face(face, font.size, style).failed())
    throw Err(
        fmt(font_file, ": cannot be set to the pixel size ", font.size, " of ", loaded.fnt_path));
  // A glyph a fallback supplied keeps its advance, even where the font maps
  // the code point too (fallback_first).
  const GlyphSuppliers suppliers = glyph_suppliers(loaded);
  u64 mapped = 0;
  for (size_t i = 0; i < font.glyph_count; ++i) {
    if (suppliers.from_fallback(i)) continue;
    gm_glyph glyph = gm_font_glyph(&font, i);
    const FT_UInt index = glyph.code < 0 ? 0 : glyph_index(face, glyph.code);
    if (index == 0) continue;
    ++mapped;
    if (const FtFailure failure = load_glyph(face, index, style.mode); failure.failed())
      throw Err(fmt(font_file, ": the glyph of ", code_point_name(glyph.code),
                    " cannot be loaded (FreeType error ", int(failure.error), ")"));
    const i32 baked = recorded_advance(face->glyph, style);
    if (baked != glyph.advance)
      throw Err(fmt(font_file, ": not the font ", loaded.fnt_path, " was baked from (",
                    code_point_name(glyph.code), " advances ", baked, " pixels in it, ",
                    glyph.advance, " in the bake)"));
    glyph.advance = nearest_advance(face->glyph, style);
    gm_glyph_encode(&glyph, loaded.bytes.data + font.records_offset + i * GM_FNT_RECORD_SIZE);
  }
  if (mapped == 0 && font.glyph_count > 0)
    throw Err(fmt(font_file, ": maps none of the code points of ", loaded.fnt_path,
                  ": not the font it was baked from"));
}
