// How a glyph's distance field is read back, whatever its kind: the value at
// a point of its bitmap, from its one channel or the median of three, and the
// coverage that value draws. Every drawing of a field goes through here.
#pragma once

#include "glyphmint/fnt.h"
#include "shared/image.h"

/// The field's value at (u, v), in the glyph's bitmap pixel coordinates: the
/// bilinear sample of its one channel (GM_KIND_SDF), or the median of the
/// bilinear samples of its first three (GM_KIND_MSDF, GM_KIND_MTSDF), the
/// bitmap's edge pixels standing in for whatever lies beyond them.
[[nodiscard]] double field_value(const Image &atlas, const gm_placed_glyph &g, gm_kind kind,
                                 double u, double v);

/// The coverage, 0 to 255, of an output pixel whose field value is s, for a
/// field of that spread drawn `scale` times its baked size:
/// 255 * clamp(0.5 + (s - 128) / 128 * spread * scale, 0, 1), rounded: the
/// outline sharp, with about one output pixel of anti-aliasing across it.
[[nodiscard]] u8 field_coverage(double s, i32 spread, double scale);
