#include "tools/glyphmint-font/cli/font-file.h"

#include "tools/glyphmint-font/cli/given-paths.h"

FT_Face open_font_file(FontLibrary &fonts, const Path &path) {
  require_short_path(path);
  if (path.type() != FsType::File) throw Err(fmt(path, ": not found or not a regular file"));
  FT_Face face = nullptr;
  if (fonts.open(path, face) != 0) throw Err(fmt(path, ": not a font FreeType can open"));
  return face;
}
