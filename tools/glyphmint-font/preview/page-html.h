// The preview page: one HTML file that holds everything it shows (the atlas
// as a data: URI, the font's data as JSON, its script and styles), so that it
// opens from a file, an archive or a mail without asking for anything else.
#pragma once

#include "tools/glyphmint-font/baked/loaded-font.h"
#include "tools/glyphmint-font/draw/text-image.h"
#include "tools/glyphmint-font/kerning/kerning.h"

#include <string>
#include <string_view>
#include <vector>

/// The page for the loaded font: info's summary, the atlas with a box per
/// record, and the sample text, which must be valid UTF-8. pairs is null
/// without a font file (no kerning); shaped is the sample's shaped layout, or
/// null.
[[nodiscard]] std::string preview_page(const LoadedFont &loaded,
                                       const std::vector<KerningPair> *pairs,
                                       std::string_view sample, const TextLayout *shaped);

/// Text as HTML element content or a quoted attribute value: & < > " escaped.
[[nodiscard]] std::string html_escaped(std::string_view text);

/// RFC 4648 base64, with padding.
[[nodiscard]] std::string base64(ArrView<const u8> bytes);
