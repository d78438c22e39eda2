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
  faces.main = get_face(fonts, settings.font);
  set_pixel_size(faces.main, size);
  for (const Path &font : settings.fallbacks) {
    const FT_Face face = open_fallback(fonts, font);
    set_pixel_size(face, size);
    faces.fallbacks.push_back(face);
  }
  return faces;
}

FT_Face GlyphFaces::supplier(int code) const {
  if (has_glyph(main, code)) return main;
  for (const FT_Face face : fallbacks)
    if (has_glyph(face, code)) return face;
  return main;
}
