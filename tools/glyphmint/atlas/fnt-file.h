// The baked font file (.fnt) of one size, in the layout that
// include/glyphmint/fnt.h defines for every reader and writer: the atlas
// image's name relative to the file, the line metrics, and one record per
// glyph in ascending code order, every integer little-endian; a shaped bake
// adds its other glyphs and every glyph's index after them. The kind comes
// from the settings, not from the records, since a file without records
// still records it.
#pragma once

#include "core/fs.h"
#include "core/list.h"
#include "glyphmint/fnt.h"
#include "shared/glyph-loading.h"
#include "tools/glyphmint/glyphs/raster-glyph.h"
#include "tools/glyphmint/settings.h"

#include <vector>

/// The baked font of one size.
struct Fnt {
  Path image;
  i32 line_height = 0;
  i32 size = 0;
  i32 ascender = 0;
  i32 descender = 0;
  gm_kind kind = GM_KIND_COVERAGE;
  i32 spread = 0;
  SDict<int, gm_glyph> glyphs;
  /// A shaped bake records every glyph's index and font, and holds `others`:
  /// the glyphs no code point reaches, in load order.
  bool shaped = false;
  std::vector<gm_glyph> others;

  /// The records of the glyphs as packed, sorted stably by code point (a code
  /// point loaded twice keeps both records, in load order); in a shaped bake
  /// those without a code point (GM_FNT_NO_CODE) go to `others`.
  [[nodiscard]] static Fnt build(const Path &image, SizeMetrics metrics, int size,
                                 const Glyphmint &settings, const List<RasterGlyph> &loaded);

  /// The bytes of the file written at `path`, which names the image
  /// relative to its own directory.
  [[nodiscard]] std::vector<u8> encode(const Path &path) const;
};
