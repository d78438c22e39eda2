// A whole text laid out line by line with a shaped bake: what render and
// preview draw for a shaped bake given its font file.
#pragma once

#include "tools/glyphmint-font/draw/text-image.h"
#include "tools/glyphmint-font/shaping/shaped-line.h"

/// The text split at line feeds and each line shaped (LineShaper::shape_line):
/// line i's box spans x from 0 to its shaped advance and y from
/// i * line height to (i + 1) * line height, and each glyph's bitmap sits at
/// (origin + bearing x, ascender + i * line height - raise - bearing y), in
/// HarfBuzz's order. Invalid UTF-8 or code points the bake lacks stop the
/// layout before any line is shaped, and are what it reports then; glyphs
/// the bake lacks are reported, each once, and drawn as nothing.
[[nodiscard]] TextLayout lay_out_shaped_text(const LoadedFont &font, LineShaper &shaper,
                                             std::string_view text);
