// The code points a font file maps, as a settings file's range list: the
// way the kerning benchmarks bake a whole font.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <string>

namespace workload {

/// "a-b, c-d, ...": every code point FreeType maps in face 0 of the font, as
/// ranges; empty when FreeType cannot open it.
inline std::string mapped_ranges(const std::string &font) {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  if (FT_Init_FreeType(&library) != 0) return "";
  if (FT_New_Face(library, font.c_str(), 0, &face) != 0) {
    FT_Done_FreeType(library);
    return "";
  }
  std::string ranges;
  FT_UInt glyph = 0;
  FT_ULong c = FT_Get_First_Char(face, &glyph), first = c, last = c;
  while (glyph != 0) {
    const FT_ULong next = FT_Get_Next_Char(face, c, &glyph);
    if (glyph == 0 || next != last + 1) {
      if (!ranges.empty()) ranges += ", ";
      ranges += std::to_string(first) + "-" + std::to_string(last);
      first = next;
    }
    last = c = next;
  }
  FT_Done_Face(face);
  FT_Done_FreeType(library);
  return ranges;
}

} // namespace workload
