#include "tools/glyphmint-font/kerning/font-advances.h"

#include "core/fmt.h"
#include "tools/glyphmint-font/cli/given-paths.h"
#include "tools/glyphmint-font/kerning/kerning.h"

#include <cstdio>

namespace {

Str code_point_name(i32 code) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(code));
  return Str(StrView(text));
}

// The glyph's advance in 1/64 pixels, loaded as the bake loaded it.
FT_Pos advance_26_6(FT_Face face, FT_UInt index, bool mono, const Path &font_file, i32 code) {
  const FT_Int32 flags = mono ? FT_LOAD_TARGET_MONO : FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP;
  if (const FT_Error error = FT_Load_Glyph(face, index, flags))
    throw Err(fmt(font_file, ": the glyph of ", code_point_name(code),
                  " cannot be loaded (FreeType error ", int(error), ")"));
  return face->glyph->advance.x;
}

} // namespace

FT_Face open_font_file(FontLibrary &fonts, const Path &path) {
  require_short_path(path);
  if (path.type() != FsType::File) throw Err(fmt(path, ": not found or not a regular file"));
  FT_Face face = nullptr;
  if (fonts.open(path, face) != 0) throw Err(fmt(path, ": not a font FreeType can open"));
  return face;
}

void take_font_advances(LoadedFont &loaded, const Path &font_file) {
  const gm_font &font = loaded.font;
  FontLibrary fonts;
  const FT_Face face = open_font_file(fonts, font_file);
  if (font.size < 1 || font.size > INT32_MAX / 64 ||
      FT_Set_Pixel_Sizes(face, 0, FT_UInt(font.size)) != 0)
    throw Err(
        fmt(font_file, ": cannot be set to the pixel size ", font.size, " of ", loaded.fnt_path));
  const bool mono = font.kind == GM_KIND_MONO;
  u64 mapped = 0;
  for (size_t i = 0; i < font.glyph_count; ++i) {
    gm_glyph glyph = gm_font_glyph(&font, i);
    const FT_UInt index = glyph.code < 0 ? 0 : glyph_index(face, glyph.code);
    if (index == 0) continue;
    ++mapped;
    const FT_Pos advance = advance_26_6(face, index, mono, font_file, glyph.code);
    // The baker keeps the low 32 bits of the 26.6 advance, rounded down.
    const i32 baked = static_cast<i32>(static_cast<u32>(advance)) >> 6;
    if (baked != glyph.advance)
      throw Err(fmt(font_file, ": not the font ", loaded.fnt_path, " was baked from (",
                    code_point_name(glyph.code), " advances ", baked, " pixels in it, ",
                    glyph.advance, " in the bake)"));
    glyph.advance = round_26_6(advance);
    gm_glyph_encode(&glyph, loaded.bytes.data + font.records_offset + i * GM_FNT_RECORD_SIZE);
  }
  if (mapped == 0 && font.glyph_count > 0)
    throw Err(fmt(font_file, ": maps none of the code points of ", loaded.fnt_path,
                  ": not the font it was baked from"));
}
