// A baked font read back for the commands: the .fnt's bytes, checked whole by
// the reader, and its atlas image decoded. A shaped bake's records beyond its
// code points and every record's glyph index are the reader's (gm_font_record,
// gm_font_find_glyph); the helpers below name them. Every fault is an Err that names
// the file: "<path>: <what is wrong>".
#pragma once

#include "core/fs.h"
#include "glyphmint/fnt.h"
#include "shared/image.h"

#include <memory>
#include <optional>

struct LoadedFont {
  Path fnt_path;
  Path image_path; ///< the name the .fnt gives, relative to its directory
  Bytes bytes;     ///< the .fnt; font points into it
  gm_font font{};
  Image atlas;

  /// Reads and checks the .fnt, then reads its atlas, which must be an 8-bit
  /// PNG of the kind's channels (greyscale, RGB or RGBA) that holds every
  /// glyph cell.
  [[nodiscard]] static LoadedFont load(const Path &fnt_path);

  /// The .fnt alone, checked as far as it can be without its atlas.
  [[nodiscard]] static LoadedFont load_without_atlas(const Path &fnt_path);

  [[nodiscard]] StrView image_name() const {
    return StrView(font.image_name, font.image_name_length);
  }

  /// A shaped bake's records of glyphs that no code point reaches; 0 for
  /// other bakes.
  [[nodiscard]] size_t other_glyph_count() const { return font.record_count - font.glyph_count; }

  /// The record of that glyph (font 0 the main one, 1.. the fallbacks) in a
  /// shaped bake; none when it lacks the glyph or is not shaped.
  [[nodiscard]] std::optional<gm_glyph> glyph_by_index(u32 font_number, u32 glyph_index) const;
};

/// Reads an 8-bit PNG of that many channels (1 greyscale, 3 RGB, 4 RGBA);
/// anything else (another depth or colour type, a damaged or missing file)
/// throws Err "<path>: <reason>", such as "not an 8-bit RGBA PNG".
[[nodiscard]] Image read_atlas_png(const Path &path, i32 channels);
