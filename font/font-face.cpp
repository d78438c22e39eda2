#include "font/font-face.h"

#include "core/fmt.h"

FontFace::~FontFace() {
  if (library_ != nullptr) FT_Done_FreeType(library_);
}

FT_Error FontFace::open(const Path &path) {
  if (library_ == nullptr) {
    const FT_Error error = FT_Init_FreeType(&library_);
    if (error != 0) return error;
  }
  const Str c_path = fmt(path, '\0');
  return FT_New_Face(library_, c_path.data, 0, &face_);
}

bool FontFace::has(u32 code_point) const {
  return FT_Get_Char_Index(face_, FT_ULong{code_point}) != 0;
}
