// The glyphs that shaping a bake's code points can produce beyond those the
// code points map to: HarfBuzz's GSUB substitution closure, over every
// feature HarfBuzz's shapers apply by default to horizontal text, in every
// script and language system the font lists. A superset of what any one
// shaping run reaches, so a shaped bake never lacks a glyph that text made
// of its code points needs.
#pragma once

#include "core/types.h"

#include <compare>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

/// A glyph of one of a bake's fonts: 0 the settings' font, 1.. its fallbacks.
struct GlyphId {
  u32 font = 0;
  u32 index = 0;
  auto operator<=>(const GlyphId &) const = default;
};

/// The glyphs that substitution can turn the reached glyphs of each face
/// (faces[font]) into and that are not reached themselves, ordered by font,
/// then index.
[[nodiscard]] std::vector<GlyphId> substitution_closure(const std::vector<FT_Face> &faces,
                                                        const std::vector<GlyphId> &reached);
