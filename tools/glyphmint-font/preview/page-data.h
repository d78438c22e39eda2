// The data a preview page draws from, as JSON that its script reads: the
// font's metrics, kind and records, its kerning pairs and the sample text.
#pragma once

#include "tools/glyphmint-font/baked/loaded-font.h"
#include "tools/glyphmint-font/draw/text-image.h"
#include "tools/glyphmint-font/kerning/kerning.h"

#include <string>
#include <string_view>
#include <vector>

/// A JSON string, quotes included, of UTF-8 text, safe inside an HTML
/// <script> element: '<' is written \u003c so that nothing in it can close
/// the element, control characters are escaped, and each byte that is not
/// part of valid UTF-8 becomes U+FFFD.
[[nodiscard]] std::string json_string(std::string_view utf8);

/// One JSON object:
///   {"name": the .fnt's file name, "size", "lineHeight", "ascender",
///    "descender", "kind": "coverage" | "sdf" | "msdf" | "mtsdf" | "color",
///    "spread", "channels", "atlasWidth", "atlasHeight",
///    "glyphs": [[code, width, rows, bearing x, bearing y, x, y, advance], ...]
///      in the file's order,
///    "suppliers": {"fonts": [file name, ...], "of": [font of each record, ...]}
///      when the settings beside the bake name fallbacks (glyph-suppliers.h),
///      else null,
///    "kerning": [[first, second, amount], ...] or null without a font file,
///    "text": the sample}
/// A shaped bake's records also hold their glyph index and font number, every
/// record is listed, and two keys follow: "codeRecords", how many of the first
/// records are code points' (the others are found by glyph only), and
/// "shaped": the sample as the shaped layout placed it, or null without one:
///   {"text", "bounds": [left, top, right, bottom],
///    "placed": [[cell x, cell y, width, rows, x, y], ...],
///    "lacking": [[glyph index, code point], ...]}
[[nodiscard]] std::string page_data_json(const LoadedFont &loaded,
                                         const std::vector<KerningPair> *pairs,
                                         std::string_view sample, const TextLayout *shaped);
