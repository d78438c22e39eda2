// A font file the user names to the font tool (`--font`), opened on a
// FreeType library the caller owns.
#pragma once

#include "shared/font-face.h"

/// Face 0 of the font file. Throws Err "<path>: not found or not a regular
/// file" or "<path>: not a font FreeType can open".
[[nodiscard]] FT_Face open_font_file(FontLibrary &fonts, const Path &path);
