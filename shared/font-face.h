// Font files as both programs open them: face 0, with FreeType's default
// character map, on a FreeType library that the caller owns and passes in.
// The one test of whether a font has a code point lives here, so the baker,
// which stops on a missing glyph, and glyphmint-font, which must agree with
// it (charset's lists, kerning's check of the font file), ask it alike.
// Failures come back as FreeType's error codes: each program words its own.
#pragma once

#include "core/dict.h"
#include "core/fs.h"

#include <ft2build.h>
#include FT_FREETYPE_H

/// The face's glyph for the code point, 0 when the font has none. A negative
/// code point is widened with its sign, as the baker always has, and finds
/// nothing.
[[nodiscard]] FT_UInt glyph_index(FT_Face face, i64 code);

/// Row r of a FreeType bitmap, top row 0, whichever way its rows run.
[[nodiscard]] const u8 *bitmap_row(const FT_Bitmap &bitmap, u32 r);

/// The baker's test: the character map gives the code point a glyph.
[[nodiscard]] inline bool has_glyph(FT_Face face, i64 code) {
  return glyph_index(face, code) != 0;
}

/// A FreeType library and the faces opened on it, keyed by the exact text of
/// the font path (two spellings of one file open two faces). Faces stay open
/// until the library is released, which closes them with it.
class FontLibrary {
public:
  /// Starts FreeType; init_error() says whether that worked.
  FontLibrary();
  ~FontLibrary();
  FontLibrary(const FontLibrary &) = delete;
  FontLibrary &operator=(const FontLibrary &) = delete;

  /// 0, or FreeType's error from starting the library; nothing else works then.
  [[nodiscard]] FT_Error init_error() const { return init_error_; }
  [[nodiscard]] FT_Library handle() const { return library_; }

  /// Face 0 of the font file, opened on first use: 0, or FreeType's error
  /// from opening it, and `face` untouched.
  [[nodiscard]] FT_Error open(const Path &font, FT_Face &face);

private:
  FT_Library library_ = nullptr;
  FT_Error init_error_ = 0;
  Dict<Path, FT_Face> faces_;
};
