// The baker's wording of FreeType failures: every one is a fatal stop, a
// critical log line naming the failed call, then abort.
#pragma once

#include "core/fs.h"
#include "shared/glyph-loading.h"

/// A fatal stop, "FT call failed: <call>; reason: N", unless error is 0.
void check_ft(FT_Error error, const char *call);
inline void check_ft(FtFailure failure) {
  check_ft(failure.error, failure.call);
}

/// A fatal stop, "FT call failed: FT_Init_FreeType(&library_); reason: N",
/// when the library did not start.
void require_started(const FontLibrary &fonts);

/// The face of the font file, opened on first use (face index 0) and kept
/// by the library; a fatal stop when FreeType cannot open it. Throws Err when
/// the path has 4096 characters or more.
[[nodiscard]] FT_Face get_face(FontLibrary &fonts, const Path &filepathname);

/// Sets the face's pixel height for the glyphs loaded next; a fatal stop on failure.
void set_pixel_size(FT_Face face, int size);
