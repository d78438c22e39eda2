// Which font of a bake supplies a code point: the one rule the baker bakes by
// and the font tool reads a bake back by (info's counts per font, export's
// advances), so that both name the same font for every glyph.
#pragma once

#include "shared/font-face.h"
#include "shared/settings.h"

/// The position in `faces` (faces[0] the settings' font, faces[k] its k-th
/// fallback) of the font that supplies `code`. A code point in the settings'
/// fallback_first comes from the first fallback that maps it, else from the
/// main font; any other from the main font when it maps it, else from the
/// first fallback that does. 0 when no font maps it, so that loading the glyph
/// stops with the main font's missing-character message.
[[nodiscard]] u64 supplying_font(const Glyphmint &settings, ArrView<const FT_Face> faces, i64 code);
