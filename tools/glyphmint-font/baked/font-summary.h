// What `info` says about a baked font: its header, how much of the atlas the
// glyph cells fill, which code points it holds, its recorded kind, and for a
// shaped bake how many glyphs it holds beyond its code points.
#pragma once

#include "core/str.h"
#include "glyphmint/fnt.h"
#include "tools/glyphmint-font/baked/loaded-font.h"

#include <string>

/// Pixels that lie in at least one glyph cell (a shaped bake's other glyphs
/// too), its one-pixel frame included;
/// cells that overlap (a bake never makes them, a hand-made file may) count
/// once. The cells must lie inside the atlas (gm_font_check_atlas).
[[nodiscard]] u64 covered_pixels(const gm_font &font);

/// covered_pixels as a share of an atlas of that many pixels (at least one),
/// in tenths of a percent, halves rounded up: 29 of 80 pixels => 363.
[[nodiscard]] u64 fill_tenths_of_percent(const gm_font &font, u64 atlas_pixels);

/// The records' code points as inclusive ranges in ascending order, each
/// code point once:  65, 65, 66, 68 => "65-66, 68";  no records => "none".
[[nodiscard]] std::string code_point_ranges(const gm_font &font);

/// What `info` prints: one "key: value" line per key, always the same keys in
/// the same order (info --help lists them), the image name's control bytes
/// escaped so that a name cannot break the lines.
[[nodiscard]] Str font_summary_text(const LoadedFont &loaded);
