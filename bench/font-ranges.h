// The code points a font file maps, as a settings file's range list: the
// way the kerning benchmarks bake a whole font; and as a user gets them,
// from glyphmint-font charset's settings lines (ranges, then lone code
// points), for the tool and for the floor program.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
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

/// The settings lines `charset --font FONT --all` prints; empty when it fails.
inline std::string charset_lines(const std::string &font_tool, const std::string &font) {
  const std::string command = "'" + font_tool + "' charset --font '" + font + "' --all";
  FILE *out = popen(command.c_str(), "r");
  if (out == nullptr) return "";
  std::string lines;
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, out)) > 0;) lines.append(chunk, n);
  return pclose(out) == 0 ? lines : "";
}

/// Those lines' lists in order, as bake_floor's RANGES: "32-126,160-259,...,282,283".
inline std::string floor_list(const std::string &charset_lines) {
  std::string list;
  for (size_t at = 0; (at = charset_lines.find('[', at)) != std::string::npos;) {
    const size_t end = charset_lines.find(']', at);
    for (char c : charset_lines.substr(at + 1, end - at - 1))
      if (c != ' ') list += c;
    if (!list.empty() && list.back() != ',') list += ',';
    at = end;
  }
  if (!list.empty()) list.pop_back();
  return list;
}

} // namespace workload
