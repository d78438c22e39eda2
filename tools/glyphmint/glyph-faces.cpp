#include "tools/glyphmint/glyph-faces.h"

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

} // namespace

GlyphFaces GlyphFaces::open(FontLibrary &fonts, const Glyphmint &settings, int size) {
  GlyphFaces faces;
  faces.main.face = get_face(fonts, settings.font);
  faces.main.style = set_bake_size(faces.main.face, size, settings);
  for (const Path &font : settings.fallbacks) {
    SizedFace fallback;
    fallback.face = open_fallback(fonts, font);
    fallback.style = set_bake_size(fallback.face, size, settings);
    faces.fallbacks.push_back(fallback);
  }
  return faces;
}

const SizedFace &GlyphFaces::supplier(int code) const {
  if (has_glyph(main.face, code)) return main;
  for (const SizedFace &fallback : fallbacks)
    if (has_glyph(fallback.face, code)) return fallback;
  return main;
}
