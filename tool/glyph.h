// The tool's whole use of FreeType: one library for the process, faces opened
// once per font path text and kept until exit, and the rasterisation of one
// code point into an 8-bit coverage bitmap with its placement metrics.
// Every failure here is a fatal stop: a critical log line, then abort.
#pragma once

#include "core/dict.h"
#include "core/fs.h"

#include <ft2build.h>
#include FT_FREETYPE_H

struct CellBudget;

/// The FreeType library and the cache of opened faces, keyed by the exact
/// text of the font path (two spellings of one file open two faces).
struct FTFonts {
  FT_Library library_ = nullptr;
  Dict<Path, FT_Face> faces;

  /// Initialises FreeType; a failure is a fatal stop.
  FTFonts();
  /// Releases the library, which closes every face with it.
  ~FTFonts();
  FTFonts(const FTFonts &) = delete;
  FTFonts &operator=(const FTFonts &) = delete;

  /// The cached face of the font file, opened on first use (face index 0).
  [[nodiscard]] FT_Face get_face(const Path &filepathname);
};

/// The process-wide holder, built by static initialisation before main.
extern FTFonts ft;

/// Sets the face's pixel height for the glyphs loaded next; a fatal stop on failure.
void set_pixel_size(FT_Face face, int size);

/// A face's current line metrics in whole pixels (truncated toward zero).
struct SizeMetrics {
  i32 line_height = 0;
  i32 ascender = 0;
  i32 descender = 0;
};
[[nodiscard]] SizeMetrics size_metrics(FT_Face face);

/// One rasterised code point. Owns its bitmap; copies duplicate it.
struct Glyph {
  u8 *pixels = nullptr; ///< width x rows bytes, top row first; null when empty
  u64 pixels_size = 0;
  u32 width = 0;
  u32 rows = 0;
  i32 bearing_x = 0; ///< pen position to the bitmap's left column
  i32 bearing_y = 0; ///< baseline up to the bitmap's top row
  i32 advance = 0;   ///< whole pixels, rounded toward minus infinity
  i32 x = 0;         ///< the padded cell's left edge in the atlas, once packed
  i32 y = 0;         ///< the padded cell's top edge in the atlas, once packed
  i32 reserved = 0;
  i32 code = 0;

  Glyph() = default;
  Glyph(const Glyph &o);
  Glyph(Glyph &&o) noexcept;
  Glyph &operator=(const Glyph &o);
  Glyph &operator=(Glyph &&o) noexcept;
  ~Glyph() { delete[] pixels; }

  /// Rasterises `code` from the face at its current size. A code point the
  /// font lacks, a failed FreeType call or a non-grey bitmap is a fatal stop.
  /// A budget, when given, sees the bitmap's size before it is copied, so a
  /// glyph that can never be packed stops the run before it is duplicated.
  [[nodiscard]] static Glyph load(FT_Face face, int code, CellBudget *budget = nullptr);
};
