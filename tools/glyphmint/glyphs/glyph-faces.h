// The fonts one size of a bake draws its glyphs from: the settings' font,
// then its fallbacks in order, each set to the size. The one place that
// decides which face supplies a code point, so every glyph of a bake comes
// from the font that the settings say it does.
#pragma once

#include "tools/glyphmint/glyphs/glyph.h"

#include <vector>

/// A face set to a bake's size, and the style its glyphs load in (a colour
/// font drawn from a strike scales its glyphs by its own factor).
struct SizedFace {
  FT_Face face = nullptr;
  GlyphStyle style;
  /// A fallback that cannot take the size: its file and what failed, which
  /// stop the bake only when a code point comes from it.
  Path font;
  FtFailure unsized;

  [[nodiscard]] SizeMetrics metrics() const { return size_metrics(face, style); }
};

struct GlyphFaces {
  SizedFace main;
  std::vector<SizedFace> fallbacks;

  /// Opens the settings' font and then each fallback (through the library's
  /// cache, so a file is opened once per library: each thread of a bake has
  /// its own) and sets each to `size` (size_face). A failure to open any of
  /// them or to size the main font is a fatal stop, before any glyph of the
  /// size is loaded; a fallback that cannot be opened is named in the
  /// FreeType failure line.
  [[nodiscard]] static GlyphFaces open(FontLibrary &fonts, const Glyphmint &settings, int size);

  /// The main face when it maps the code point, else the first fallback that
  /// does; the main face again when none does, so that loading the glyph
  /// stops with the main font's missing-character message. A fallback that
  /// could not be set to the size is a fatal stop naming its file and why.
  [[nodiscard]] const SizedFace &supplier(int code) const;

  /// Which font one of these faces is: 0 the main one, 1.. the fallbacks in
  /// order; and the face of a number below 1 + the fallbacks' count.
  [[nodiscard]] u32 font_number(const SizedFace &face) const;
  [[nodiscard]] const SizedFace &font(u32 number) const;
};
