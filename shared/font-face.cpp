#include "shared/font-face.h"

#include "core/fmt.h"

FT_UInt glyph_index(FT_Face face, i64 code) {
  return FT_Get_Char_Index(face, static_cast<FT_ULong>(code));
}

FontLibrary::FontLibrary() : init_error_(FT_Init_FreeType(&library_)) {
  if (init_error_ != 0) library_ = nullptr;
}

FontLibrary::~FontLibrary() {
  if (library_ != nullptr) FT_Done_FreeType(library_);
}

FT_Error FontLibrary::open(const Path &font, FT_Face &face) {
  if (library_ == nullptr) return init_error_;
  const auto hit = faces_.get(font);
  if (hit.found()) {
    face = hit.value();
    return 0;
  }
  const Str c_path = fmt(font, '\0');
  FT_Face opened = nullptr;
  const FT_Error error = FT_New_Face(library_, c_path.data, 0, &opened);
  if (error != 0) return error;
  faces_.insert(Path(font), opened);
  face = opened;
  return 0;
}

// A negative pitch means the rows lie bottom up, and adding the pitch still
// goes one row down.
const u8 *bitmap_row(const FT_Bitmap &bitmap, u32 r) {
  const long pitch = bitmap.pitch;
  const u8 *top = pitch >= 0 ? bitmap.buffer : bitmap.buffer - pitch * (long(bitmap.rows) - 1);
  return top + pitch * long(r);
}
