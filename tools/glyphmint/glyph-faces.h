// The fonts one size of a bake draws its glyphs from: the settings' font,
// then its fallbacks in order, each set to the size. The one place that
// decides which face supplies a code point, so every glyph of a bake comes
// from the font that the settings say it does.
#pragma once

#include "tools/glyphmint/glyph.h"

#include <vector>

struct GlyphFaces {
  FT_Face main = nullptr;
  std::vector<FT_Face> fallbacks;

  /// Opens the settings' font and then each fallback (through the cache, so
  /// a file is opened once per run) and sets each to `size`. Every failure
  /// is a fatal stop, before any glyph of the size is loaded; a fallback
  /// that cannot be opened is named in the FreeType failure line.
  [[nodiscard]] static GlyphFaces open(FontLibrary &fonts, const Glyphmint &settings, int size);

  /// The main face when it maps the code point, else the first fallback that
  /// does; the main face again when none does, so that loading the glyph
  /// stops with the main font's missing-character message.
  [[nodiscard]] FT_Face supplier(int code) const;
};
