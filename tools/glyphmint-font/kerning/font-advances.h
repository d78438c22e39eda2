// The font file a bake came from, as `--font` names it: opened, checked to
// be the bake's font, and its advances at the baked size. The .fnt keeps each
// advance rounded down, as its format defines, which sets text a pixel too
// tight per glyph in engines that add them up; the font file's own advances,
// rounded to the nearest pixel, are what export writes and render steps by.
#pragma once

#include "shared/font-face.h"
#include "tools/glyphmint-font/baked/loaded-font.h"

/// Face 0 of a font file the user names. Throws Err "<path>: not found or not
/// a regular file" or "<path>: not a font FreeType can open".
[[nodiscard]] FT_Face open_font_file(FontLibrary &fonts, const Path &path);

/// Checks that the font file is the one the bake came from and replaces every
/// record's advance in `loaded` (in memory; the file stays as it is) with the
/// font's at the baked size, rounded to the nearest pixel, halves away from
/// zero. The font's glyphs are loaded as the bake loaded them: unhinted
/// outlines, or hinted for monochrome (a mono bake) with its bitmap strikes.
/// The font is the bake's when each code point it maps has, rounded down, the
/// advance the record holds; code points it does not map keep their records'
/// advances. Throws Err "<font_file>: ..." naming the .fnt too for a font that
/// is not the bake's, or one that cannot be set to the baked size.
void take_font_advances(LoadedFont &loaded, const Path &font_file);
