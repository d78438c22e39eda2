// The settings of one *.glyphmint.ini file: which font to bake, at which pixel
// sizes, which code points, and how. The keys "path", "sizes", "ranges" and
// "chars", and the optional "render", "spread", "fallback" and "shaped", are read from
// the properties before the first section header only, and the list values
// follow the grammar of shared/code-point-lists.h.
#pragma once

#include "core/fs.h"
#include "core/list.h"
#include "glyphmint/fnt.h"
#include "shared/code-point-lists.h"
#include "shared/glyph-loading.h"

/// The distance in pixels at which a distance field saturates, when the
/// settings give none, and the values they may give.
inline constexpr i32 k_default_spread = 4;
inline constexpr i32 k_min_spread = 2;
inline constexpr i32 k_max_spread = 32;

/// The settings record of one file.
struct Glyphmint {
  /// The value of "path" joined below the settings file's directory.
  Path font;
  List<int> sizes;
  List<CharRange> ranges;
  List<int> chars;
  RenderMode render = RenderMode::Coverage;
  /// k_default_spread unless the settings say otherwise; 0 unless render is a
  /// distance field (Sdf, Msdf or Mtsdf).
  i32 spread = 0;
  /// The fonts that supply, in order, the code points `font` does not map;
  /// each joined below the settings file's directory as `font` is.
  List<Path> fallbacks;
  /// Also bake every glyph that shaping the code points can produce, each
  /// recorded with its glyph index and font.
  bool shaped = false;
};

/// Reads and checks every key of the settings file before anything is baked.
/// Throws Err for an unreadable file, "No value" for a missing key and
/// "Cannot parse string: " and the value for a malformed one (for "render",
/// "spread", "fallback" and "shaped", followed by what the key takes in parentheses).
[[nodiscard]] Glyphmint read_settings(const Path &settings_file);
