// The settings of one *.glyphmint.ini file: which font to bake, at which pixel
// sizes, which code points, and how, and the files a bake of them writes. The
// keys "path", "sizes", "ranges" and "chars", and the optional "render",
// "spread", "fallback", "fallback_first" and "shaped", are read from the
// properties before the first section header only, and the list values follow
// the grammar of shared/code-point-lists.h. The baker bakes by them and the
// font tool reads them to tell which font supplied each glyph of a bake.
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
  /// Code points looked up in the fallbacks before the main font (the icons
  /// of a private-use area that the main font fills with its own glyphs);
  /// given only with `fallbacks`.
  List<CharRange> fallback_first;
  /// Also bake every glyph that shaping the code points can produce, each
  /// recorded with its glyph index and font.
  bool shaped = false;
};

/// Reads and checks every key of the settings file before anything is baked.
/// Throws Err for an unreadable file, "No value" for a missing key and
/// "Cannot parse string: " and the value for a malformed one (for "render",
/// "spread", "fallback", "fallback_first" and "shaped", followed by what the
/// key takes in parentheses).
[[nodiscard]] Glyphmint read_settings(const Path &settings_file);

/// The two output paths of one size: dir/base-size.png and dir/base-size.fnt,
/// beside the font and named after its file name up to the first dot.
struct BakeOutputs {
  Path image;
  Path fnt;
};
[[nodiscard]] BakeOutputs bake_outputs(const Path &font, int size);
