// A font file opened as the baker opens it, face 0 with FreeType's default
// character map, on a FreeType library of its own: the commands that read
// font files ask it the baker's question, whether a code point has a glyph.
#pragma once

#include "core/fs.h"

#include <ft2build.h>
#include FT_FREETYPE_H

class FontFace {
public:
  FontFace() = default;
  FontFace(const FontFace &) = delete;
  FontFace &operator=(const FontFace &) = delete;
  /// Releases the library and, with it, the face.
  ~FontFace();

  /// 0 once the face is open, else FreeType's error from starting the
  /// library or opening the face; the caller words the message.
  [[nodiscard]] FT_Error open(const Path &path);

  /// Null until open succeeds.
  [[nodiscard]] FT_Face face() const { return face_; }

  /// The baker's test: the character map gives the code point a glyph.
  [[nodiscard]] bool has(u32 code_point) const;

private:
  FT_Library library_ = nullptr;
  FT_Face face_ = nullptr;
};
