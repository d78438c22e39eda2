// Multi-channel distance fields of glyph outlines, for the msdf and mtsdf
// render modes: three channels of distances to differently coloured edges,
// whose median keeps the outline's corners sharp when the field is magnified.
#pragma once

#include "shared/image.h"
#include "tools/glyphmint/fields/distance-field.h"

/// A glyph's multi-channel field, placed as its single-channel field
/// (distance_field_placement). Each red, green and blue byte is 128 + 128 × d
/// / spread, rounded and clamped, where d is the channel's signed
/// pseudo-distance in pixels, positive inside; alpha, when asked for, is the
/// single-channel field's byte.
struct MultiChannelField {
  FieldPlacement place;
  Image image; ///< place.width x place.rows, 3 or 4 channels; no pixels for an empty glyph
};

/// Makes the field of the slot's outline, right after FT_Load_Glyph, with
/// `spread` from 1 to 32 pixels and, with `alpha`, the true distance in a
/// fourth channel. Fails as distance_field() does, leaving `out` empty.
[[nodiscard]] FtFailure multi_channel_field(FT_GlyphSlot slot, int spread, bool alpha,
                                            MultiChannelField &out);

/// The same for an outline in 26.6 pixel coordinates, y up, filled by the
/// non-zero winding rule or, with FT_OUTLINE_EVEN_ODD_FILL, the even-odd rule.
[[nodiscard]] FtFailure multi_channel_field(const FT_Outline &outline, int spread, bool alpha,
                                            MultiChannelField &out);

/// How multi_channel_field() would fail on the slot, found without making
/// the field (as distance_field_failure()).
[[nodiscard]] FtFailure multi_channel_field_failure(FT_GlyphSlot slot, int spread);
