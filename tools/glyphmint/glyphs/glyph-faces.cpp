#include "tools/glyphmint/glyphs/glyph-faces.h"

#include "core/log.h"

namespace {

FT_Face open_fallback(FontLibrary &fonts, const Path &font) {
  // The same path limit as the main font's, with the same Err.
  char c_path[4096];
  font.view().to_c_str(c_path, sizeof(c_path));
  FT_Face face = nullptr;
  if (const FT_Error error = fonts.open(font, face); error != 0)
    log_critical("FT call failed: FT_New_Face(library_, filepathname, 0, &face); reason: ",
                 int(error), "; fallback: ", font);
  return face;
}

// Why a fallback that FreeType cannot set to the size is needed anyway, and
// the usual cause: a colour font of bitmap strikes only, which only a colour
// bake scales.
[[noreturn]] void stop_unsized(const SizedFace &fallback, int code) {
  const FT_Face face = fallback.face;
  StrBuilder why;
  if (!FT_IS_SCALABLE(face) && face->num_fixed_sizes > 0) {
    fmt(why, "; it holds bitmap strikes only (of");
    for (int i = 0; i < face->num_fixed_sizes; ++i)
      fmt(why, StrView(i == 0 ? " " : ", "), i32(face->available_sizes[i].y_ppem / 64));
    fmt(why, " pixels), which only render = color scales to other sizes");
  }
  log_critical("FT call failed: ", StrView(fallback.unsized.call),
               "; reason: ", int(fallback.unsized.error), "; fallback: ", fallback.font,
               ", which supplies code point ", code, why.view());
}

} // namespace

GlyphFaces GlyphFaces::open(FontLibrary &fonts, const Glyphmint &settings, int size) {
  GlyphFaces faces;
  faces.main.face = get_face(fonts, settings.font);
  faces.main.style = set_bake_size(faces.main.face, size, settings);
  for (const Path &font : settings.fallbacks) {
    SizedFace fallback;
    fallback.face = open_fallback(fonts, font);
    fallback.style = {settings.render, settings.spread};
    fallback.font = Path(font.view());
    fallback.unsized = size_face(fallback.face, size, fallback.style);
    faces.fallbacks.push_back(fallback);
  }
  return faces;
}

const SizedFace &GlyphFaces::supplier(int code) const {
  if (has_glyph(main.face, code)) return main;
  for (const SizedFace &fallback : fallbacks) {
    if (!has_glyph(fallback.face, code)) continue;
    if (fallback.unsized.failed()) stop_unsized(fallback, code);
    return fallback;
  }
  return main;
}

u32 GlyphFaces::font_number(const SizedFace &face) const {
  if (&face == &main) return 0;
  return static_cast<u32>(&face - fallbacks.data()) + 1;
}

const SizedFace &GlyphFaces::font(u32 number) const {
  return number == 0 ? main : fallbacks[number - 1];
}
