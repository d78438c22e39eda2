#include "tools/glyphmint/glyphs/ft-stop.h"

#include "core/log.h"

// Every checked FreeType call is named by a fixed text in its failure line.
void check_ft(FT_Error error, const char *call) {
  if (error != 0) log_critical("FT call failed: ", StrView(call), "; reason: ", int(error));
}

void require_started(const FontLibrary &fonts) {
  check_ft(fonts.init_error(), "FT_Init_FreeType(&library_)");
}

FT_Face get_face(FontLibrary &fonts, const Path &filepathname) {
  // The text FreeType is given has always been limited to this buffer.
  char c_path[4096];
  filepathname.view().to_c_str(c_path, sizeof(c_path));
  FT_Face face = nullptr;
  check_ft(fonts.open(filepathname, face), "FT_New_Face(library_, filepathname, 0, &face)");
  return face;
}

void set_pixel_size(FT_Face face, int size) {
  GlyphStyle style;
  check_ft(size_face(face, size, style));
}
