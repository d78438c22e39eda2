// The font file a bake came from, as `--font` names it: opened, checked to
// be the bake's font, and its advances at the baked size. The .fnt keeps each
// advance rounded down, as its format defines, which sets text a pixel too
// tight per glyph in engines that add them up; the font file's own advances,
// rounded to the nearest pixel, are what export writes and render steps by.
#pragma once

#include "tools/glyphmint-font/baked/loaded-font.h"

/// Checks that the font file is the one the bake came from and replaces every
/// record's advance in `loaded` (in memory; the file stays as it is) with the
/// font's at the baked size, rounded to the nearest pixel, halves away from
/// zero. The font is sized and its glyphs loaded by the rule of the bake's
/// kind (shared/glyph-loading.h), as the baker did: a colour font of bitmap
/// strikes from its scaled strike, monochrome hinted with its strikes. The
/// font is the bake's when each code point it maps has the advance the
/// record holds, as the bake rounded it; code points it does not map, and
/// glyphs that the bake's settings beside it say a fallback supplied
/// (glyph-suppliers.h), keep their records' advances. Throws Err "<font_file>: ..." naming the .fnt too
/// for a font that is not the bake's, or one that cannot be set to the baked
/// size.
void take_font_advances(LoadedFont &loaded, const Path &font_file);
